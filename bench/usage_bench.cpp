// The usage database at 500 profiles with 400 days of hours each (200,000 profile days, 4.8
// million hours). Targets: the engine's save once a minute (the hours of every profile, one
// transaction) under 20 ms of CPU; the file under 50 MB; a month's and a day's hours read for
// the history window, on a connection of its own, under half a second.

#include "monitor/usage_hours.h"

#include <benchmark/benchmark.h>

#include <filesystem>
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

class UsageFixture {
public:
    UsageFixture()
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
                    batch.hours.push_back({profileName(profile), DayClock::shiftedDate(kToday, day - kDays + 1),
                                           hours, sumOf(hours), 23});
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
    static UsageFixture made;
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

void BM_DatabaseSize(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(fixture());
    {
        UsageDatabase usage; // the last close folds the log into the file
        usage.open(fixture().file);
    }
    state.counters["MB"] = double(std::filesystem::file_size(fixture().file)) / 1e6;
    state.counters["profile_days"] = kProfiles * kDays;
}
BENCHMARK(BM_DatabaseSize)->Iterations(1);

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
