// The usage database at 500 profiles with 400 days of hours each (200,000 profile days, 4.8
// million hours). Targets: the engine's save once a minute (the hours of every profile, one
// transaction) under 20 ms of CPU; the file under 50 MB; a month's and a day's hours read for
// the history window, on a connection of its own, under half a second.
// Then the same with applications: each profile has kApplications applications every day, each
// busy a quarter of the day's hours; a save carries every profile's hours and each of its
// applications' (day total and hours). Told, not held to the file target (their hours are
// several times the profiles').

#include "monitor/usage_hours.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <functional>
#include <stdlib.h>

namespace {

constexpr int kProfiles = 500;
constexpr int kDays = 400;
constexpr LocalDate kToday{2026, 11, 8};

std::string profileName(int i)
{
    return i == 0 ? "Default" : "Profile " + std::to_string(i);
}

// A busy day: every hour counted, megabytes to a gigabyte (varints of 3 to 5 bytes).
DayHourCounts busyDay(int profile, int day)
{
    DayHourCounts hours(24);
    for (int hour = 0; hour < 24; ++hour)
        hours[std::size_t(hour)] = {std::uint64_t(1000003) * std::uint64_t(1 + (hour * 37 + day + profile) % 900),
                                    std::uint64_t(50021) * std::uint64_t(1 + (hour * 11 + profile) % 700)};
    return hours;
}

constexpr int kApplications = 3;

std::string applicationName(int i)
{
    return i == 0 ? "System" : "Application " + std::to_string(i);
}

// An application's day: busy in every fourth hour, kilobytes to a hundred megabytes.
DayHourCounts applicationDay(int profile, int application, int day)
{
    DayHourCounts hours(24);
    for (int hour = (application + day) % 4; hour < 24; hour += 4)
        hours[std::size_t(hour)] = {std::uint64_t(10007) * std::uint64_t(1 + (hour * 13 + day + profile) % 10000),
                                    std::uint64_t(1009) * std::uint64_t(1 + (hour * 7 + application) % 3000)};
    return hours;
}

void addApplications(UsageBatch& batch, int profile, const LocalDate& date,
                     const std::function<DayHourCounts(int application)>& hoursOf)
{
    for (int application = 0; application < kApplications; ++application) {
        DayHourCounts hours = hoursOf(application);
        const HourCounts sum = sumOf(hours);
        batch.applications.push_back(
            {profileName(profile), applicationName(application), {}, date, sum.down, sum.up, std::move(hours)});
    }
}

class UsageFixture {
public:
    explicit UsageFixture(bool withApplications)
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-usage-bench-XXXXXX").string();
        directory = ::mkdtemp(pattern.data());
        file = directory / kUsageDatabaseName;
        UsageDatabase usage;
        usage.open(file);
        for (int first = 0; first < kDays; first += 10) {
            UsageBatch batch;
            for (int day = first; day < first + 10; ++day)
                for (int profile = 0; profile < kProfiles; ++profile) {
                    DayHourCounts hours = busyDay(profile, day);
                    const LocalDate date = DayClock::shiftedDate(kToday, day - kDays + 1);
                    batch.hours.push_back({profileName(profile), date, hours, sumOf(hours), 23});
                    if (withApplications)
                        addApplications(batch, profile, date, [&](int application) {
                            return applicationDay(profile, application, day);
                        });
                }
            usage.save(batch);
        }
    }
    ~UsageFixture() { std::filesystem::remove_all(directory); }
    std::filesystem::path directory;
    std::filesystem::path file;
};

UsageFixture& fixture()
{
    static UsageFixture made(false);
    return made;
}

UsageFixture& fixtureWithApplications()
{
    static UsageFixture made(true);
    return made;
}

// The save path of the engine for the hours: the batch from the copy, the transaction, the
// hours taken off the live slots. Every profile counted a little this minute.
void BM_SaveEveryProfilesHours(benchmark::State& state)
{
    const DayClock clock([] {
        std::tm parts{};
        parts.tm_year = kToday.year - 1900;
        parts.tm_mon = kToday.month;
        parts.tm_mday = kToday.day;
        parts.tm_hour = 14;
        parts.tm_isdst = -1;
        return std::mktime(&parts);
    });
    UsageRecorder recorder(fixture().file, clock, kDays * 2);
    recorder.start({});
    SharedProfiles shared;
    for (int i = 0; i < kProfiles; ++i) {
        CProfile profile;
        profile.setName(profileName(i));
        shared.addProfile(std::move(profile));
    }
    shared.prepareYear(kToday.year);
    shared.prepareHours({kToday, 14, 24});
    for (auto _ : state) {
        state.PauseTiming();
        for (CProfile& profile : shared.profiles) {
            profile.yearRecord(kToday.year).days[YearHistory::slotOf(kToday.month, kToday.day)].down += 1234567;
            profile.pendingHours.front().hours[14].down += 1234567;
        }
        const ProfileList copy = shared.profiles;
        state.ResumeTiming();
        SaveOutcome outcome;
        recorder.save(shared, copy, kToday, outcome);
        if (!outcome.saved)
            state.SkipWithError("the save failed");
    }
}
BENCHMARK(BM_SaveEveryProfilesHours)->Unit(benchmark::kMillisecond)->Iterations(30);

// The save with applications, as the engine's save hands it over: every profile's hours of this
// minute, and its applications' bytes (day totals and hours) in one transaction.
void BM_SaveEveryProfilesHoursWithApplications(benchmark::State& state)
{
    UsageDatabase usage;
    usage.open(fixtureWithApplications().file);
    UsageBatch batch;
    for (int profile = 0; profile < kProfiles; ++profile) {
        DayHourCounts minute(24);
        minute[14] = {1234567, 4567};
        batch.hours.push_back({profileName(profile), kToday, minute, {}, 14});
        addApplications(batch, profile, kToday, [&](int application) {
            DayHourCounts hours(24);
            hours[14] = {std::uint64_t(400000 + application), 1500};
            return hours;
        });
    }
    std::uint64_t minutes = 0;
    for (auto _ : state) {
        ++minutes;
        for (int profile = 0; profile < kProfiles; ++profile) { // the file's figure: what is stored and added
            const HourCounts stored = sumOf(busyDay(profile, kDays - 1));
            batch.hours[std::size_t(profile)].dayTotal = {stored.down + 1234567 * minutes, stored.up + 4567 * minutes};
        }
        if (!usage.save(batch))
            state.SkipWithError("the save failed");
    }
    state.counters["application_rows"] = double(batch.applications.size());
}
BENCHMARK(BM_SaveEveryProfilesHoursWithApplications)->Unit(benchmark::kMillisecond)->Iterations(30);

void reportSize(benchmark::State& state, UsageFixture& made, int applicationDays)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(made);
    {
        UsageDatabase usage; // the last close folds the log into the file
        usage.open(made.file);
    }
    state.counters["MB"] = double(std::filesystem::file_size(made.file)) / 1e6;
    state.counters["profile_days"] = kProfiles * kDays;
    if (applicationDays > 0)
        state.counters["application_days"] = applicationDays;
}

void BM_DatabaseSize(benchmark::State& state)
{
    reportSize(state, fixture(), 0);
}
BENCHMARK(BM_DatabaseSize)->Iterations(1);

void BM_DatabaseSizeWithApplications(benchmark::State& state)
{
    reportSize(state, fixtureWithApplications(), kProfiles * kDays * kApplications);
}
BENCHMARK(BM_DatabaseSizeWithApplications)->Iterations(1);

// The report of a day's applications by the hour, and the window's.
void BM_ReadDayOfApplicationHours(benchmark::State& state)
{
    for (auto _ : state) {
        UsageDatabase usage;
        usage.openForReading(fixtureWithApplications().file);
        if (usage.applicationHours("Profile 250", LocalDate{2026, 10, 15}).size() != std::size_t(kApplications))
            state.SkipWithError("every application should have its hours");
    }
}
BENCHMARK(BM_ReadDayOfApplicationHours)->Unit(benchmark::kMillisecond);

// What the history window does for a month of a profile, then for a day: open, read, close.
void BM_ReadMonthOfHours(benchmark::State& state)
{
    for (auto _ : state) {
        UsageDatabase usage;
        usage.openForReading(fixture().file);
        const auto days = usage.hoursBetween("Profile 250", LocalDate{2026, 10, 1}, LocalDate{2026, 10, 30});
        if (days.size() != 30)
            state.SkipWithError("a month should have 30 days of hours");
    }
}
BENCHMARK(BM_ReadMonthOfHours)->Unit(benchmark::kMillisecond);

void BM_ReadDayOfHours(benchmark::State& state)
{
    for (auto _ : state) {
        UsageDatabase usage;
        usage.openForReading(fixture().file);
        benchmark::DoNotOptimize(usage.dayHours("Profile 499", LocalDate{2026, 10, 15}));
    }
}
BENCHMARK(BM_ReadDayOfHours)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
