// The metrics file's text: label escaping and the whole text of one case.

#include "service/metrics_text.h"

#include <gtest/gtest.h>

TEST(MetricsText, LabelValuesAreEscapedAsTheTextFormatNeeds)
{
    const struct {
        const char* name;
        const char* label;
    } cases[] = {
        {"Default", "Default"},
        {"a\\b", "a\\\\b"},
        {"say \"hi\"", "say \\\"hi\\\""},
        {"two\nlines", "two\\nlines"},
        {"tab\tand 'quote' {x=\"y\"}", "tab\tand 'quote' {x=\\\"y\\\"}"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},
        {"bad \xff byte", "bad \xef\xbf\xbd byte"}, // not UTF-8: U+FFFD
    };
    for (const auto& c : cases)
        EXPECT_EQ(escapeLabelValue(c.name), c.label) << c.name;
}

TEST(MetricsText, WholeTextOfTwoProfiles)
{
    const std::vector<ProfileFigures> profiles{
        {"Default", 1500000, 2500, 1000, 20},
        {"R&D \"lab\"", 0, 9007199254740993.0, 0.5, 0},
    };
    ProgramFigures program;
    program.interfacesCaptured = 2;
    program.kernelDrops = 7;
    program.lastSuccessfulSave = 1796640000;
    program.saveFailures = 1;
    program.captureUp = true;
    program.countingSource = "kernel";
    EXPECT_EQ(metricsText(profiles, program),
              "# HELP velmora_received_bytes_total Bytes the profile counted as received since Velmora started.\n"
              "# TYPE velmora_received_bytes_total counter\n"
              "velmora_received_bytes_total{profile=\"Default\"} 1500000\n"
              "velmora_received_bytes_total{profile=\"R&D \\\"lab\\\"\"} 0\n"
              "# HELP velmora_sent_bytes_total Bytes the profile counted as sent since Velmora started.\n"
              "# TYPE velmora_sent_bytes_total counter\n"
              "velmora_sent_bytes_total{profile=\"Default\"} 2500\n"
              "velmora_sent_bytes_total{profile=\"R&D \\\"lab\\\"\"} 9007199254740992\n"
              "# HELP velmora_today_received_bytes Bytes the profile counted as received today (local time).\n"
              "# TYPE velmora_today_received_bytes gauge\n"
              "velmora_today_received_bytes{profile=\"Default\"} 1000\n"
              "velmora_today_received_bytes{profile=\"R&D \\\"lab\\\"\"} 0.5\n"
              "# HELP velmora_today_sent_bytes Bytes the profile counted as sent today (local time).\n"
              "# TYPE velmora_today_sent_bytes gauge\n"
              "velmora_today_sent_bytes{profile=\"Default\"} 20\n"
              "velmora_today_sent_bytes{profile=\"R&D \\\"lab\\\"\"} 0\n"
              "# HELP velmora_capture_up 1 while packets are being counted, 0 while the capture is off or failing.\n"
              "# TYPE velmora_capture_up gauge\n"
              "velmora_capture_up 1\n"
              "# HELP velmora_counting_source 1 for the source that counts: the kernel's programs, the packet ring, or none.\n"
              "# TYPE velmora_counting_source gauge\n"
              "velmora_counting_source{source=\"kernel\"} 1\n"
              "velmora_counting_source{source=\"ring\"} 0\n"
              "velmora_counting_source{source=\"none\"} 0\n"
              "# HELP velmora_interfaces_captured Interfaces whose packets are counted.\n"
              "# TYPE velmora_interfaces_captured gauge\n"
              "velmora_interfaces_captured 2\n"
              "# HELP velmora_kernel_dropped_packets_total Packets the kernel dropped before Velmora could count them.\n"
              "# TYPE velmora_kernel_dropped_packets_total counter\n"
              "velmora_kernel_dropped_packets_total 7\n"
              "# HELP velmora_last_save_timestamp_seconds When the profiles were last saved in full.\n"
              "# TYPE velmora_last_save_timestamp_seconds gauge\n"
              "velmora_last_save_timestamp_seconds 1796640000\n"
              "# HELP velmora_save_failures_total Saves that failed since Velmora started.\n"
              "# TYPE velmora_save_failures_total counter\n"
              "velmora_save_failures_total 1\n"
              "# EOF\n");
}

TEST(MetricsText, NoSaveYetLeavesTheSaveTimeOut)
{
    const std::string text = metricsText({}, ProgramFigures{});
    EXPECT_EQ(text.find("velmora_last_save_timestamp_seconds"), std::string::npos);
    EXPECT_NE(text.find("velmora_save_failures_total 0\n# EOF\n"), std::string::npos);
}
