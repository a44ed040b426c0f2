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
    // Twenty-three applications of Default, busiest first: one named "other" and the last two
    // go into application="other".
    std::vector<ApplicationFigures> busiest;
    for (int i = 0; i < 23; ++i)
        busiest.push_back({"", i == 1 ? "other" : "app" + std::to_string(i), 100.0 - i, 1});
    busiest[0].application = "Web \"browser\"";
    std::vector<ApplicationFigures> applications = busiestApplications("Default", busiest);
    ASSERT_EQ(applications.size(), 21u);
    EXPECT_EQ(applications[20].application, "other");
    EXPECT_EQ(applications[20].received, 99 + 79 + 78);
    EXPECT_EQ(applications[20].sent, 3);
    applications.erase(applications.begin() + 1, applications.begin() + 20);
    const std::string text = metricsText(profiles, program, {}, applications);
    const std::size_t family = text.find("# HELP velmora_application_bytes_total");
    EXPECT_EQ(text.substr(family, text.find("# HELP velmora_capture_up") - family),
              "# HELP velmora_application_bytes_total Bytes of an application within the profile today (local "
              "time), from zero each day: the twenty busiest of the day by name, the rest as application=\"other\".\n"
              "# TYPE velmora_application_bytes_total counter\n"
              "velmora_application_bytes_total{profile=\"Default\",application=\"Web \\\"browser\\\"\",direction=\"received\"} 100\n"
              "velmora_application_bytes_total{profile=\"Default\",application=\"Web \\\"browser\\\"\",direction=\"sent\"} 1\n"
              "velmora_application_bytes_total{profile=\"Default\",application=\"other\",direction=\"received\"} 256\n"
              "velmora_application_bytes_total{profile=\"Default\",application=\"other\",direction=\"sent\"} 3\n");
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
