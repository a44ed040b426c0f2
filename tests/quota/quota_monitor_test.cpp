// Quota use from the day totals, the crossings told once per span across restarts, and texts.

#include "quota/quota_status.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

LocalDate date(int year, int month, int day)
{
    return LocalDate{year, month - 1, day};
}

CProfile profileNamed(const std::string& name)
{
    CProfile profile;
    profile.setName(name);
    return profile;
}

Quota monthQuota(int startDay, std::uint64_t limit)
{
    Quota quota;
    quota.profile = "Default";
    quota.startDay = startDay;
    quota.limitBytes = limit;
    return quota;
}

void writeQuotas(const fs::path& directory, const std::vector<Quota>& quotas)
{
    std::string problem;
    ASSERT_TRUE(writeQuotaFile(directory, quotas, problem)) << problem;
}

} // namespace

TEST(QuotaStatus, UseIsTheDayTotalsOfTheSpanInTheQuotasDirection)
{
    CProfile profile = profileNamed("Default");
    profile.addToDayHistory(1000, true, date(2026, 12, 14)); // the span before
    profile.addToDayHistory(20e9, true, date(2026, 12, 15));
    profile.addToDayHistory(5e9, false, date(2026, 12, 31));
    profile.addToDayHistory(20e9, true, date(2027, 1, 4));
    profile.addToDayHistory(7e9, true, date(2027, 1, 5)); // after today
    Quota quota = monthQuota(15, 50000000000);
    const LocalDate today = date(2027, 1, 4);
    const struct {
        QuotaDirection direction;
        double used;
    } cases[] = {{QuotaDirection::Total, 45e9}, {QuotaDirection::Down, 40e9}, {QuotaDirection::Up, 5e9}};
    for (const auto& c : cases) {
        quota.direction = c.direction;
        const QuotaStatus status = quotaStatuses({quota}, {profile}, today).front();
        EXPECT_EQ(status.used, c.used) << directionName(c.direction);
    }
    quota.direction = QuotaDirection::Total;
    const QuotaStatus status = quotaStatuses({quota}, {profile}, today).front();
    EXPECT_EQ(status.span.elapsedDays, 21);
    EXPECT_EQ(status.projected, std::floor(45e9 / 21 * 31));
    ASSERT_TRUE(status.due);
    EXPECT_EQ(*status.due, QuotaLevel::Warn);
    EXPECT_EQ(quotaLogLine(status), "quota: Default used 45.0 of 50.0 GB (90%) this month (from 2026-12-15)");
}

TEST(QuotaStatus, AStartDayChangedMidSpanStartsTheSpanItGives)
{
    CProfile profile = profileNamed("Default");
    profile.addToDayHistory(900, true, date(2026, 12, 16));
    profile.addToDayHistory(50, true, date(2026, 12, 21));
    QuotaCrossings told;
    const LocalDate today = date(2026, 12, 21);
    const QuotaStatus before = quotaStatuses({monthQuota(15, 1000)}, {profile}, today).front();
    ASSERT_EQ(before.due, QuotaLevel::Warn);
    told.record(before, QuotaLevel::Warn);
    EXPECT_FALSE(quotaStatuses({monthQuota(15, 1000)}, {profile}, today, told).front().due);

    // Moved to the 20th: the span began yesterday, the 16th is no part of it.
    const QuotaStatus after = quotaStatuses({monthQuota(20, 1000)}, {profile}, today, told).front();
    EXPECT_EQ(isoDate(after.span.start), "2026-12-20");
    EXPECT_EQ(isoDate(after.span.end), "2027-01-19");
    EXPECT_EQ(after.used, 50);
    EXPECT_FALSE(after.due);
    // Moved to the 22nd: the span began on 22 November and holds both days again; its crossing
    // was never told.
    const QuotaStatus earlier = quotaStatuses({monthQuota(22, 1000)}, {profile}, today, told).front();
    EXPECT_EQ(isoDate(earlier.span.start), "2026-11-22");
    EXPECT_EQ(earlier.used, 950);
    EXPECT_EQ(earlier.due, QuotaLevel::Warn);
}

TEST(QuotaMonitor, TellsEachCrossingOncePerSpanAcrossRestarts)
{
    TempDir temp;
    Quota other = monthQuota(1, 10);
    other.profile = "Hotspot";
    writeQuotas(temp.path, {monthQuota(1, 1000), other});
    CProfile profile = profileNamed("Default");
    const LocalDate day1 = date(2026, 12, 1);
    {
        QuotaMonitor monitor(temp.path);
        EXPECT_TRUE(monitor.reload().empty());
        profile.addToDayHistory(899, true, day1);
        QuotaMonitor::Update update = monitor.update({profile}, day1);
        ASSERT_EQ(update.lines.size(), 1u) << "the quota without its profile";
        EXPECT_EQ(update.lines[0], (temp.path / "quotas.json").string() +
                                       ": a quota for \"Hotspot\", which is no profile; kept");
        profile.addToDayHistory(1, true, day1);
        update = monitor.update({profile}, day1);
        ASSERT_EQ(update.lines.size(), 1u);
        EXPECT_EQ(update.lines[0], "quota: Default used 0.9 of 1.0 KB (90%) this month (from 2026-12-01)");
        EXPECT_TRUE(monitor.update({profile}, day1).lines.empty());
        profile.addToDayHistory(100, false, day1);
        update = monitor.update({profile}, day1);
        ASSERT_EQ(update.lines.size(), 1u);
        EXPECT_EQ(update.lines[0], "quota: Default used 1.0 of 1.0 KB (100%) this month (from 2026-12-01)");
    }
    writeQuotas(temp.path, {monthQuota(1, 1000)});
    {
        QuotaMonitor restarted(temp.path);
        EXPECT_TRUE(restarted.reload().empty());
        EXPECT_TRUE(restarted.update({profile}, date(2026, 12, 31)).lines.empty());
        // A bad file meanwhile does not make them new: the crossings stay recorded.
        std::ofstream(temp.path / "quotas.json") << "{";
        EXPECT_EQ(restarted.reload().size(), 1u);
        EXPECT_TRUE(restarted.update({profile}, date(2026, 12, 31)).lines.empty());
        std::string problem;
        EXPECT_FALSE(writeQuotaFile(temp.path, {}, problem)) << "the file there cannot be read";
        EXPECT_NE(problem.find("not written over"), std::string::npos) << problem;
    }
    ASSERT_TRUE(fs::remove(temp.path / "quotas.json"));
    writeQuotas(temp.path, {monthQuota(1, 1000)});
    QuotaMonitor again(temp.path);
    again.reload();
    EXPECT_TRUE(again.update({profile}, date(2026, 12, 31)).lines.empty());
    // January is a new span: the limit reached at once is one line, not two.
    profile.addToDayHistory(5000, true, date(2027, 1, 2));
    const QuotaMonitor::Update january = again.update({profile}, date(2027, 1, 2));
    ASSERT_EQ(january.lines.size(), 1u);
    EXPECT_EQ(january.lines[0], "quota: Default used 5.0 of 1.0 KB (500%) this month (from 2027-01-01)");
}

// Applications' quotas within one profile: each with its use and its own crossings, apart from
// each other and from the profile's, also in a record an earlier version kept.
TEST(QuotaMonitor, ApplicationsQuotasAreToldApartFromEachOtherAndTheProfiles)
{
    TempDir temp;
    const LocalDate today = date(2026, 12, 9);
    Quota firefox = monthQuota(1, 1000), chat = monthQuota(1, 1000);
    firefox.application = "Firefox";
    chat.application = "Chat";
    chat.direction = QuotaDirection::Up;
    writeQuotas(temp.path, {monthQuota(1, 1000), firefox, chat});
    std::ofstream(temp.path / kQuotaCrossingsFileName) // the profile's limit, told by an earlier version
        << R"({"crossings": [{"profile": "Default", "period": "month", "start": "2026-12-01", "level": "limit"}]})";
    CProfile profile = profileNamed("Default");
    profile.addToDayHistory(5000, true, today);
    std::map<std::string, double> used{{"Firefox", 920}, {"Chat", 10}};
    const ApplicationUse useOf = [&](const Quota& quota, const QuotaSpan& span, const LocalDate& on) {
        EXPECT_EQ(span.start, date(2026, 12, 1));
        EXPECT_EQ(on, today);
        return used[quota.application];
    };
    {
        QuotaMonitor monitor(temp.path);
        EXPECT_TRUE(monitor.reload().empty());
        QuotaMonitor::Update update = monitor.update({profile}, today, useOf);
        ASSERT_EQ(update.lines.size(), 1u);
        EXPECT_EQ(update.lines[0], "quota: Firefox in Default used 0.9 of 1.0 KB (92%) this month (from 2026-12-01)");
        EXPECT_EQ(update.statuses[2].used, 10);
        used["Chat"] = 1000;
        update = monitor.update({profile}, today, useOf);
        ASSERT_EQ(update.lines.size(), 1u);
        EXPECT_EQ(update.lines[0], "quota: Chat in Default used 1.0 of 1.0 KB (100%) this month (from 2026-12-01)");
    }
    QuotaMonitor restarted(temp.path);
    restarted.reload();
    EXPECT_TRUE(restarted.update({profile}, today, useOf).lines.empty());
    used["Firefox"] = 1000;
    EXPECT_EQ(restarted.update({profile}, today, useOf).lines.size(), 1u);
}

// Unreadable, or a FIFO that would block a reader until someone writes into it: told, and
// replaced by the next record.
TEST(QuotaMonitor, AnUnreadableRecordOfCrossingsIsToldAndReplaced)
{
    const struct {
        const char* what;
        void (*make)(const fs::path&);
    } cases[] = {
        {"deeply nested", [](const fs::path& file) { std::ofstream(file) << std::string(100000, '['); }},
        {"a FIFO", [](const fs::path& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }},
    };
    for (const auto& c : cases) {
        TempDir temp;
        writeQuotas(temp.path, {monthQuota(1, 1000)});
        c.make(temp.path / kQuotaCrossingsFileName);
        QuotaMonitor monitor(temp.path);
        const std::vector<std::string> lines = monitor.reload();
        ASSERT_EQ(lines.size(), 1u) << c.what;
        EXPECT_NE(lines[0].find(kQuotaCrossingsFileName), std::string::npos) << lines[0];
        CProfile profile = profileNamed("Default");
        profile.addToDayHistory(2000, true, date(2026, 3, 3));
        EXPECT_EQ(monitor.update({profile}, date(2026, 3, 3)).lines.size(), 1u) << c.what;
        QuotaMonitor restarted(temp.path);
        EXPECT_TRUE(restarted.reload().empty()) << c.what;
        EXPECT_TRUE(restarted.update({profile}, date(2026, 3, 3)).lines.empty()) << c.what;
    }
}

// A quota told at one limit and warning percent, then written again: another limit or percent
// is another quota, whose crossings are told afresh; the crossings of quotas gone are dropped.
TEST(QuotaMonitor, AChangedLimitOrWarningStartsTheQuotasCrossingsAfresh)
{
    const struct {
        const char* what;
        std::uint64_t limit;
        int warn;
        std::size_t toldAgain;
    } cases[] = {
        {"the same quota", 1000, 90, 0},
        {"a raised limit, its warning reached", 1100, 90, 1},
        {"a raised limit, not reached", 2000, 90, 0},
        {"a lower warning percent", 1000, 50, 1},
        {"a lower limit, reached", 900, 90, 1},
    };
    CProfile profile = profileNamed("Default");
    const LocalDate today = date(2026, 12, 9);
    profile.addToDayHistory(1000, true, today);
    for (const auto& c : cases) {
        TempDir temp;
        writeQuotas(temp.path, {monthQuota(1, 1000)});
        QuotaMonitor monitor(temp.path);
        monitor.reload();
        ASSERT_EQ(monitor.update({profile}, today).lines.size(), 1u) << c.what;
        Quota changed = monthQuota(1, c.limit);
        changed.warnPercent = c.warn;
        writeQuotas(temp.path, {changed});
        EXPECT_TRUE(monitor.reload().empty()) << c.what;
        EXPECT_EQ(monitor.update({profile}, today).lines.size(), c.toldAgain) << c.what;
        QuotaMonitor restarted(temp.path); // and told once, also across a restart
        restarted.reload();
        EXPECT_TRUE(restarted.update({profile}, today).lines.empty()) << c.what;
    }

    // A record kept by an earlier version, without limits, holds for the quota as it is.
    TempDir temp;
    writeQuotas(temp.path, {monthQuota(1, 1000)});
    std::ofstream(temp.path / kQuotaCrossingsFileName)
        << R"({"crossings": [{"profile": "Default", "period": "month", "start": "2026-12-01", "level": "limit"},
                             {"profile": "Gone", "period": "day", "start": "2026-12-09", "level": "warn"}]})";
    QuotaMonitor monitor(temp.path);
    EXPECT_TRUE(monitor.reload().empty());
    EXPECT_TRUE(monitor.update({profile}, today).lines.empty());
    std::ifstream stream(temp.path / kQuotaCrossingsFileName);
    const std::string kept((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept.find("Gone"), std::string::npos) << kept;
    EXPECT_NE(kept.find(R"("limit_bytes":1000,)"), std::string::npos) << kept;
    EXPECT_NE(kept.find(R"("warn_percent":90})"), std::string::npos) << kept;
}

// The record under its reader's limit however many long names it holds, and a save that failed
// tried again at the next check, until it works.
TEST(QuotaMonitor, TheRecordIsCappedAndAFailedSaveIsRetried)
{
    QuotaCrossings crossings;
    for (int i = 0; i < 1000; ++i) {
        QuotaStatus status;
        status.quota = monthQuota(1, 1000);
        status.quota.profile = std::to_string(i) + std::string(1000, 'x');
        status.span = quotaSpan(QuotaPeriod::Month, 1, date(2026, 12, 9));
        crossings.record(status, QuotaLevel::Limit);
    }
    EXPECT_GT(crossings.capTo(kMaxCrossingsDocumentBytes), 0u);
    EXPECT_LE(crossings.document().size(), kMaxCrossingsDocumentBytes);
    std::string problem;
    EXPECT_TRUE(QuotaCrossings::parse(crossings.document(), problem)) << problem;

    TempDir temp;
    writeQuotas(temp.path, {monthQuota(1, 1000)});
    fs::create_directory(temp.path / kQuotaCrossingsFileName); // no file can be renamed over it
    QuotaMonitor monitor(temp.path);
    monitor.reload();
    CProfile profile = profileNamed("Default");
    profile.addToDayHistory(2000, true, date(2026, 3, 3));
    std::vector<std::string> lines = monitor.update({profile}, date(2026, 3, 3)).lines;
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("could not record the quota crossings"), std::string::npos) << lines[0];
    EXPECT_TRUE(monitor.update({profile}, date(2026, 3, 3)).lines.empty()) << "told once";
    fs::remove(temp.path / kQuotaCrossingsFileName);
    lines = monitor.update({profile}, date(2026, 3, 3)).lines;
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("recorded in"), std::string::npos) << lines[0];
    QuotaMonitor restarted(temp.path);
    EXPECT_TRUE(restarted.reload().empty());
    EXPECT_TRUE(restarted.update({profile}, date(2026, 3, 3)).lines.empty());
}
