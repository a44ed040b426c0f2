// A day's hours in usage.sqlite against the day's total in the profile file, and each
// application's hours against its day total: over a failed save of the database and of the
// profile files, a crash after each, a day of 25 hours, midnight and a restart. The
// applications' totals the engine gives, stored and unsaved, over saves.
#include "monitor/monitor_engine.h"

#include "profile/day_history.h"
#include "profile/profile_store.h"
#include "support/temp_dir.h"
#include "support/time_zone.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <atomic>
#include <cstdlib>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr LocalDate kFallBack{2026, 10, 1};
constexpr LocalDate kNextDay{2026, 10, 2};

std::time_t at(const LocalDate& date, int hour, int minute, int isDst)
{
    std::tm parts{};
    parts.tm_year = date.year - 1900;
    parts.tm_mon = date.month;
    parts.tm_mday = date.day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_isdst = isDst;
    return std::mktime(&parts);
}

void count(CMonitorEngine& engine, std::uint64_t down, std::uint64_t up)
{
    FlowKey key;
    key.family = 0; // counted by Default, whatever its address
    for (const auto& [way, bytes] : {std::pair{PacketWay::Received, down}, std::pair{PacketWay::Sent, up}}) {
        key.direction = way;
        FlowCount flow;
        flow.bytes = bytes;
        engine.meter().countFlow(key, flow);
    }
}

MonitorOptions optionsFor(const std::filesystem::path& data, const DayClock& clock)
{
    MonitorOptions options;
    options.profileDirectory = data / "profiles";
    options.usageDatabase = data / kUsageDatabaseName;
    options.startWorkers = false;
    options.saveInterval = 0ms;
    options.exitSavePatience = 0ms;
    options.dayClock = &clock;
    return options;
}

// A start and a stop on the data directory (the start fits what disagrees, and says so), then
// the hours of each day against the day in the profile file as a later run reads it.
std::string restartAndCompare(const std::filesystem::path& data, const DayClock& clock, const char* label)
{
    testing::internal::CaptureStderr();
    {
        CMonitorEngine engine;
        engine.start(optionsFor(data, clock));
        EXPECT_TRUE(engine.stop().saved) << label;
    }
    const std::string said = testing::internal::GetCapturedStderr();
    ProfileList loaded;
    loadAllProfiles(loaded, data / "profiles", "");
    UsageDatabase usage;
    EXPECT_TRUE(usage.openForReading(data / kUsageDatabaseName)) << label;
    for (const LocalDate& day : {kFallBack, kNextDay}) {
        const DayTotals file = dayTotalsOf(loaded.front(), day);
        const DayHourCounts hours = usage.dayHours(kDefaultProfileName, day);
        EXPECT_EQ(sumOf(hours), (HourCounts{std::uint64_t(file.down), std::uint64_t(file.up)}))
            << label << " on the " << day.day << "th";
        // Every application's hours (here System's, the flows having no socket) and its day.
        const std::vector<NamedTotals> days = usage.applicationTotals(kDefaultProfileName, day, day);
        const std::vector<NamedHours> applications = usage.applicationHours(kDefaultProfileName, day);
        EXPECT_EQ(applications.size(), days.size()) << label;
        for (std::size_t i = 0; i < applications.size() && i < days.size(); ++i)
            EXPECT_EQ(sumOf(applications[i].hours), (HourCounts{days[i].down, days[i].up})) << label;
    }
    EXPECT_EQ(usage.dayHours(kDefaultProfileName, kFallBack).size(), 25u) << label;
    return said;
}

// The files as a crash would leave them; `profiles` names the profile directory's place now.
void copyData(const std::filesystem::path& from, const std::filesystem::path& to, const char* profiles = "profiles")
{
    std::filesystem::create_directories(to);
    std::filesystem::copy(from / profiles, to / "profiles", std::filesystem::copy_options::recursive);
    for (const char* file : {"usage.sqlite", "usage.sqlite-wal"})
        std::filesystem::copy_file(from / file, to / file);
}

} // namespace

TEST(EngineHours, HoursAddUpToTheProfileFileOverFailuresCrashesMidnightAndRestarts)
{
    const TimeZoneForTest zone(kEasternTime);
    TempDir dir;
    std::atomic<std::time_t> now = at(kFallBack, 0, 30, 1);
    const DayClock clock([&now] { return now.load(); });
    const std::filesystem::path data = dir / "data";
    std::filesystem::create_directories(data);
    CMonitorEngine engine;
    engine.start(optionsFor(data, clock));

    // Amounts over a million bytes: the profile file keeps six significant digits of them.
    count(engine, 1234567, 7654321);
    ASSERT_TRUE(engine.save().saved);
    now = at(kFallBack, 1, 30, 1); // the first 01:00 hour
    count(engine, 2000003, 300);
    now = at(kFallBack, 1, 30, 0); // the second
    count(engine, 5000011, 0);

    // The database is held by another program: the profiles are saved, the hours wait.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((data / kUsageDatabaseName).c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const SaveOutcome lockedOut = engine.save();
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    ASSERT_FALSE(lockedOut.saved);
    EXPECT_EQ(lockedOut.failures.front().file, data / kUsageDatabaseName);
    copyData(data, dir / "crash after the database failed");

    // Midnight, and the profile directory cannot be written: the hours are stored, the files wait.
    now = at(kFallBack, 23, 59, 0);
    count(engine, 999, 111);
    now = at(kNextDay, 0, 0, 0) + 30;
    count(engine, 4444444, 5555);
    std::filesystem::rename(data / "profiles", data / "profiles.away");
    writeFile(data / "profiles", "not a directory");
    EXPECT_FALSE(engine.save().saved);
    copyData(data, dir / "crash after the profiles failed", "profiles.away");
    std::filesystem::remove(data / "profiles");
    std::filesystem::rename(data / "profiles.away", data / "profiles");
    ASSERT_TRUE(engine.stop().saved);

    const std::string afterStop = restartAndCompare(data, clock, "after a stop");
    EXPECT_EQ(afterStop.find("brought to the profile files"), std::string::npos) << afterStop;
    const std::string afterDatabaseFailure =
        restartAndCompare(dir / "crash after the database failed", clock, "crash after the database failed");
    EXPECT_NE(afterDatabaseFailure.find("brought to the profile files"), std::string::npos);
    restartAndCompare(dir / "crash after the profiles failed", clock, "crash after the profiles failed");

    UsageDatabase usage;
    ASSERT_TRUE(usage.openForReading(data / kUsageDatabaseName));
    const DayHourCounts fallBack = usage.dayHours(kDefaultProfileName, kFallBack);
    EXPECT_GE(fallBack[1].down, 2000000u); // both 01:00 hours, apart
    EXPECT_GE(fallBack[2].down, 5000000u);
    const std::vector<NamedHours> applications = usage.applicationHours(kDefaultProfileName, kFallBack);
    ASSERT_EQ(applications.size(), 1u);
    const DayHourCounts expected = [] {
        DayHourCounts hours(25);
        hours[0] = {1234567, 7654321};
        hours[1] = {2000003, 300};
        hours[2] = {5000011, 0};
        hours[24] = {999, 111};
        return hours;
    }();
    EXPECT_EQ(applications[0].hours, expected); // counted exactly, over the failed save
    EXPECT_EQ(usage.applicationHours(kDefaultProfileName, kNextDay).at(0).hours[0], (HourCounts{4444444, 5555}));
}

// A counting thread and a saving thread against a reader: whenever it looks, the applications'
// and interfaces' totals hold every byte counted before the look and none twice, whether the
// bytes are stored, kept, in a save's flight or not collected yet.
TEST(EngineHours, ApplicationTotalsHoldEachCountedByteOnceWhileSavesCommit)
{
    TempDir dir;
    std::atomic<std::time_t> now = at(kFallBack, 12, 0, 0);
    const DayClock clock([&now] { return now.load(); });
    std::filesystem::create_directories(dir / "data");
    CMonitorEngine engine;
    engine.start(optionsFor(dir / "data", clock));
    const auto sumOf = [](const std::vector<NamedTotals>& rows) {
        std::uint64_t sum = 0;
        for (const NamedTotals& row : rows)
            sum += row.down + row.up;
        return sum;
    };
    constexpr int kLooks = 300;
    std::atomic<std::uint64_t> begun = 0, counted = 0; // a flow's bytes before and after countFlow
    std::atomic<bool> counting = true;
    std::thread counter([&] {
        FlowKey key;
        key.family = 0;
        for (std::uint64_t i = 0; counting; ++i) {
            key.cgroup = i % 3 ? 0 : 0xfffffff0; // the system's, and an ended program's
            key.direction = i % 2 ? PacketWay::Sent : PacketWay::Received;
            FlowCount flow;
            flow.bytes = 1000 + i % 100;
            begun += flow.bytes;
            engine.meter().countFlow(key, flow);
            counted += flow.bytes;
        }
    });
    std::thread saver([&] {
        while (counting)
            engine.save();
    });
    for (int look = 0; look < kLooks && !HasFailure(); ++look) {
        const std::uint64_t before = counted;
        const std::uint64_t applications = sumOf(engine.applicationTotals(kDefaultProfileName, kFallBack, kFallBack));
        const std::uint64_t interfaces = sumOf(engine.interfaceTotals(kDefaultProfileName, kFallBack, kFallBack));
        const std::uint64_t after = begun;
        EXPECT_GE(applications, before) << "look " << look;
        EXPECT_LE(applications, after) << "look " << look;
        EXPECT_GE(interfaces, before) << "look " << look;
        EXPECT_LE(interfaces, after) << "look " << look;
    }
    counting = false;
    counter.join();
    saver.join();

    // A quota of the least busy application: its use is that application's bytes, told as its crossing.
    const NamedTotals least = engine.applicationTotals(kDefaultProfileName, kFallBack, kFallBack).back();
    Quota quota{kDefaultProfileName, QuotaPeriod::Day, 1, QuotaDirection::Total, least.down + least.up, 90, least.name};
    std::string problem;
    ASSERT_TRUE(writeQuotaFile(dir / "data", {quota}, problem)) << problem;
    QuotaMonitor::Update checked;
    engine.watchQuotas({dir / "data", 0ms, &clock}, [&](const QuotaMonitor::Update& update) { checked = update; });
    ASSERT_EQ(checked.statuses.size(), 1u);
    EXPECT_EQ(checked.statuses[0].used, double(least.down + least.up));
    EXPECT_EQ(checked.statuses[0].due, QuotaLevel::Limit);
    ASSERT_EQ(checked.lines.size(), 1u);
    EXPECT_EQ(checked.lines[0].rfind("quota: " + least.name + " in Default used", 0), 0u) << checked.lines[0];
    EXPECT_TRUE(engine.stop().saved);

    const std::vector<NamedTotals> rows = engine.applicationTotals(kDefaultProfileName, kFallBack, kNextDay);
    EXPECT_EQ(sumOf(rows), counted.load());
    EXPECT_TRUE(engine.applicationTotals(kDefaultProfileName, kNextDay, kNextDay).empty());
    UsageDatabase usage;
    ASSERT_TRUE(usage.openForReading(dir / "data" / kUsageDatabaseName));
    EXPECT_EQ(sumOf(usage.applicationTotals(kDefaultProfileName, kFallBack, kFallBack)), counted.load());
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front().name, "System"); // cgroup 0, busiest
}
