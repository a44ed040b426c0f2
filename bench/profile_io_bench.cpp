// Loading and saving the profile directory: 100 profiles with three years of full day history
// each (about 2,200 day records per file). Targets: load < 300 ms, save < 150 ms.
// `profile_io_bench --write-profiles DIR COUNT` only writes such a directory of COUNT profiles
// (the data set of bench/profile_load.sh) and exits.

#include "profile/profile_store.h"
#include "profile/profile_xml_reader.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdlib.h>

namespace {

constexpr int kProfiles = 100;
constexpr int kYears = 3;

ProfileList fullProfiles(int count = kProfiles)
{
    ProfileList profiles;
    for (int i = 0; i < count; ++i) {
        CProfile profile = makeDefaultProfile("192.0.2." + std::to_string(i));
        profile.setName(i == 0 ? "Default" : "Profile " + std::to_string(i));
        profile.addIpFilter("192.168.*.*", false);
        profile.addPortFilter(false, 25);
        for (int year = 0; year < kYears; ++year) {
            YearHistory& record = profile.yearRecord(2023 + year);
            for (int month = 0; month < 12; ++month)
                for (int day = 1; day <= 30 + (month % 2 == 0); ++day) {
                    if (month == 1 && day > 28)
                        continue;
                    DayTotals& slot = record.days[YearHistory::slotOf(month, day)];
                    slot.down = 1.0e6 * (day + 1) + 12345.0 * month + i;
                    slot.up = 5000.0 * day + 17.0 * year;
                }
        }
        profiles.push_back(std::move(profile));
    }
    return profiles;
}

class ProfileDirectory {
public:
    ProfileDirectory()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-bench-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~ProfileDirectory() { std::filesystem::remove_all(path); }
    std::filesystem::path path;
};

void BM_SaveAllProfiles(benchmark::State& state)
{
    const ProfileList profiles = fullProfiles();
    ProfileDirectory dir;
    for (auto _ : state)
        benchmark::DoNotOptimize(saveAllProfiles(profiles, {}, dir.path));
    state.counters["files"] = kProfiles;
}

void BM_LoadAllProfiles(benchmark::State& state)
{
    ProfileDirectory dir;
    saveAllProfiles(fullProfiles(), {}, dir.path);
    ProfileList profiles;
    for (auto _ : state) {
        loadAllProfiles(profiles, dir.path, "");
        benchmark::DoNotOptimize(profiles.data());
    }
    state.counters["profiles"] = static_cast<double>(profiles.size());
}

// One file of the set through one reader, on one thread: the parse cost behind the load.
void BM_ReadOneProfileFile(benchmark::State& state)
{
    ProfileDirectory dir;
    const ProfileList profiles = fullProfiles();
    saveAllProfiles({profiles[1]}, {}, dir.path);
    const std::string file = (dir.path / "Profile 1.xml").string();
    ProfileXmlReader reader;
    for (auto _ : state) {
        CProfile profile;
        benchmark::DoNotOptimize(reader.read(file, profile));
    }
    state.SetBytesProcessed(state.iterations() * std::filesystem::file_size(file));
}

} // namespace

BENCHMARK(BM_ReadOneProfileFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveAllProfiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadAllProfiles)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--write-profiles") == 0) {
        const int count = std::atoi(argv[3]);
        if (count < 1 || !saveAllProfiles(fullProfiles(count), {}, argv[2])) {
            std::fprintf(stderr, "profile_io_bench: could not write %s profiles into %s\n", argv[3], argv[2]);
            return 1;
        }
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
