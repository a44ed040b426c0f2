// quotas.json: what is read, what is refused with one line, and what is written.

#include "quota/quota_file.h"

#include "base/program_log.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string entry(const std::string& fields)
{
    return R"({"quotas": [{"profile": "Default", "period": "month", )" + fields + "}]}";
}

} // namespace

TEST(QuotaFile, ReadsTheDocumentWithItsDefaults)
{
    std::string problem;
    const auto quotas = parseQuotaDocument(R"({"quotas": [
        {"profile": "Default", "period": "month", "start_day": 15, "direction": "total",
         "limit_bytes": 50000000000, "warn_percent": 90},
        {"profile": "Hotspot", "period": "day", "limit_bytes": 1, "direction": "up"},
        {"profile": "Hotspot", "period": "month", "limit_bytes": 9007199254740992},
        {"profile": "Hotspot", "application": "Firefox", "period": "day", "limit_bytes": 7},
        {"profile": "Hotspot", "application": "Chat", "period": "day", "limit_bytes": 8}]})",
                                           problem);
    ASSERT_TRUE(quotas) << problem;
    ASSERT_EQ(quotas->size(), 5u);
    EXPECT_EQ((*quotas)[0], (Quota{"Default", QuotaPeriod::Month, 15, QuotaDirection::Total, 50000000000, 90}));
    EXPECT_EQ((*quotas)[1], (Quota{"Hotspot", QuotaPeriod::Day, 1, QuotaDirection::Up, 1, 90}));
    EXPECT_EQ((*quotas)[2], (Quota{"Hotspot", QuotaPeriod::Month, 1, QuotaDirection::Total, kMaxLimitBytes, 90}));
    EXPECT_EQ((*quotas)[3], (Quota{"Hotspot", QuotaPeriod::Day, 1, QuotaDirection::Total, 7, 90, "Firefox"}));
    // Written and read back unchanged.
    const auto again = parseQuotaDocument(quotaDocument(*quotas), problem);
    ASSERT_TRUE(again) << problem;
    EXPECT_EQ(*again, *quotas);
}

TEST(QuotaFile, HostileFilesGiveOneLineAndNoQuotas)
{
    const struct {
        const char* what;
        std::string text;
        const char* reason;
    } cases[] = {
        {"not JSON", "quotas: none", "not JSON: "},
        {"empty", "", "not JSON: "},
        {"cut short", entry(R"("limit_bytes": 5)").substr(0, 40), "not JSON: "},
        {"invalid UTF-8", R"({"quotas": [{"profile": ")" "\xff\xfe" R"(", "period": "day", "limit_bytes": 5}]})", "not JSON: "},
        {"huge", entry(R"("limit_bytes": 5, "direction": ")" + std::string(2 << 20, 'x') + "\""), "larger than 1024 KiB"},
        {"deeply nested", std::string(200000, '[') + std::string(200000, ']'), "nested more than 8 levels"},
        {"nested in a value", entry(R"("limit_bytes": [[[[[[[[[1]]]]]]]]])"), "nested more than 8 levels"},
        {"a list at the top", "[]", "must be an object"},
        {"unknown key at the top", R"({"quotas": [], "quota": []})", "unknown key \"quota\""},
        {"unknown key in a quota", entry(R"("limit_bytes": 5, "warn_pecent": 80)"), "quotas[0]: unknown key \"warn_pecent\""},
        {"quotas not a list", R"({"quotas": {}})", "\"quotas\" must be a list"},
        {"no profile", R"({"quotas": [{"period": "day", "limit_bytes": 5}]})", "quotas[0].profile: must be"},
        {"profile a number", R"({"quotas": [{"profile": 7, "period": "day", "limit_bytes": 5}]})", "quotas[0].profile"},
        {"unknown period", R"({"quotas": [{"profile": "D", "period": "week", "limit_bytes": 5}]})", "quotas[0].period"},
        {"limit as text", entry(R"("limit_bytes": "5")"), "quotas[0].limit_bytes: must be a whole number"},
        {"limit a fraction", entry(R"("limit_bytes": 5e10)"), "quotas[0].limit_bytes: must be a whole number"},
        {"limit zero", entry(R"("limit_bytes": 0)"), "quotas[0].limit_bytes: 0 is not from 1"},
        {"limit negative", entry(R"("limit_bytes": -5)"), "quotas[0].limit_bytes: -5 is not from 1"},
        {"limit too large", entry(R"("limit_bytes": 18446744073709551615)"), "quotas[0].limit_bytes"},
        {"limit beyond 64 bits", entry(R"("limit_bytes": 1e400)"), "not JSON: "},
        {"no limit", entry(R"("warn_percent": 50)"), "quotas[0].limit_bytes: missing"},
        {"start day 29", entry(R"("limit_bytes": 5, "start_day": 29)"), "quotas[0].start_day: 29 is not from 1 to 28"},
        {"start day 0", entry(R"("limit_bytes": 5, "start_day": 0)"), "quotas[0].start_day"},
        {"start day of a day quota", R"({"quotas": [{"profile": "D", "period": "day", "limit_bytes": 5, "start_day": 3}]})",
         "quotas[0].start_day: only a month quota"},
        {"warn 100", entry(R"("limit_bytes": 5, "warn_percent": 100)"), "quotas[0].warn_percent: 100 is not from 1 to 99"},
        {"warn a boolean", entry(R"("limit_bytes": 5, "warn_percent": true)"), "quotas[0].warn_percent"},
        {"direction sideways", entry(R"("limit_bytes": 5, "direction": "both")"), "quotas[0].direction"},
        {"two month quotas", R"({"quotas": [{"profile": "D", "period": "month", "limit_bytes": 5},
                                            {"profile": "D", "period": "month", "limit_bytes": 6}]})",
         "quotas[1]: a second month quota for \"D\""},
        {"two day quotas of one application", R"({"quotas": [{"profile": "D", "application": "A", "period": "day", "limit_bytes": 5},
                                            {"profile": "D", "application": "A", "period": "day", "limit_bytes": 6}]})",
         "quotas[1]: a second day quota for \"A\" in \"D\""},
        {"application empty", entry(R"("limit_bytes": 5, "application": "")"), "quotas[0].application: must be"},
        {"application a list", entry(R"("limit_bytes": 5, "application": ["A"])"), "quotas[0].application: must be"},
        {"a quota not an object", R"({"quotas": [5]})", "quotas[0]: must be an object"},
        {"a key twice, the last would win", "{\"quotas\": [\n" + entry(R"("limit_bytes":5,"limit_bytes":70000000)").substr(12),
         "line 2: \"limit_bytes\" given twice"},
        {"a key twice, written another way", R"({"quotas": [], "quot\u0061s": []})", "line 1: \"quotas\" given twice"},
        {"a control byte in a key", entry(R"("limit_bytes": 5, "\u001b[2J": 1)"), "unknown key \"\\x1b[2J\""},
    };
    TempDir temp;
    const fs::path file = temp.path / "quotas.json";
    for (const auto& c : cases) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << c.text;
        const QuotaFileRead read = readQuotaFile(temp.path);
        EXPECT_TRUE(read.present) << c.what;
        EXPECT_TRUE(read.quotas.empty()) << c.what;
        EXPECT_EQ(read.problem.rfind(file.string() + ": ", 0), 0u) << c.what << ": " << read.problem;
        EXPECT_NE(read.problem.find(c.reason), std::string::npos) << c.what << ": " << read.problem;
        EXPECT_EQ(read.problem, escapedForLog(read.problem)) << c.what << ": no raw byte of the file";
        EXPECT_LT(read.problem.size(), 600u) << c.what;
        // Never written over.
        std::string problem;
        EXPECT_FALSE(writeQuotaFile(temp.path, {Quota{"D", QuotaPeriod::Day, 1, QuotaDirection::Total, 5, 90}}, problem))
            << c.what;
        EXPECT_EQ(readFile(file), c.text) << c.what;
    }
}

TEST(QuotaFile, AbsentIsNoQuotasAndNoProblemAndCanBeWritten)
{
    TempDir temp;
    QuotaFileRead read = readQuotaFile(temp.path);
    EXPECT_FALSE(read.present);
    EXPECT_TRUE(read.problem.empty());
    const std::vector<Quota> quotas{Quota{"Default", QuotaPeriod::Month, 15, QuotaDirection::Total, 50000000000, 90}};
    std::string problem;
    ASSERT_TRUE(writeQuotaFile(temp.path, quotas, problem)) << problem;
    read = readQuotaFile(temp.path);
    EXPECT_TRUE(read.problem.empty()) << read.problem;
    EXPECT_EQ(read.quotas, quotas);
    EXPECT_FALSE(fs::exists(temp.path / "quotas.json.tmp"));
    // Anything but a regular file in its place is told, never read, never waited on.
    const struct {
        const char* what;
        void (*make)(const fs::path&);
        const char* problem;
    } others[] = {
        {"a directory", [](const fs::path& file) { fs::create_directory(file); }, "not a regular file"},
        {"a FIFO", [](const fs::path& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }, "not a regular file"},
        {"a link", [](const fs::path& file) { fs::create_symlink("elsewhere.json", file); }, "a symbolic link, not followed"},
    };
    for (const auto& other : others) {
        fs::remove(temp.path / "quotas.json");
        other.make(temp.path / "quotas.json");
        read = readQuotaFile(temp.path);
        EXPECT_TRUE(read.present) << other.what;
        EXPECT_NE(read.problem.find(other.problem), std::string::npos) << other.what << ": " << read.problem;
    }
}

TEST(QuotaFile, AnEditorsListIsRefusedForWhatTheReaderWouldRefuse)
{
    const Quota good{"Home", QuotaPeriod::Month, 15, QuotaDirection::Down, 1000, 80};
    const struct {
        const char* what;
        void (*change)(std::vector<Quota>&);
        const char* problem;
    } cases[] = {
        {"warn 100", [](std::vector<Quota>& q) { q[0].warnPercent = 100; }, "quotas[0].warn_percent: 100 is not from 1 to 99"},
        {"start day 29", [](std::vector<Quota>& q) { q[0].startDay = 29; }, "quotas[0].start_day: 29 is not from 1 to 28"},
        {"start day of a day quota", [](std::vector<Quota>& q) { q[0].period = QuotaPeriod::Day; },
         "quotas[0].start_day: only a month quota has a start day"},
        {"no limit", [](std::vector<Quota>& q) { q[0].limitBytes = 0; }, "quotas[0].limit_bytes: 0 is not from 1 to 9007199254740992"},
        {"no name", [](std::vector<Quota>& q) { q[0].profile.clear(); }, "quotas[0].profile: must be a profile's name"},
        {"twice", [](std::vector<Quota>& q) { q.push_back(q[0]); }, "quotas[1]: a second month quota for \"Home\""},
    };
    TempDir temp;
    for (const auto& c : cases) {
        std::vector<Quota> quotas{good};
        EXPECT_EQ(quotaListProblem(quotas), "") << c.what;
        c.change(quotas);
        EXPECT_EQ(quotaListProblem(quotas), c.problem) << c.what;
        std::string problem;
        EXPECT_FALSE(writeQuotaFile(temp.path, quotas, problem)) << c.what;
        EXPECT_EQ(problem, c.problem) << c.what;
        EXPECT_FALSE(fs::exists(temp.path / "quotas.json")) << c.what;
    }
}
