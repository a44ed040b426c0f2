// usage.sqlite: what a save stores and how it fits the hours to the profile's day, a save that
// cannot write, and files that are no usable database.
#include "usage/usage_database.h"
#include "usage/usage_schema.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

namespace {

constexpr LocalDate kFallBackDay{2026, 9, 25}; // a day of 25 hours where the clocks go back

UsageBatch oneDay(const DayHourCounts& added, HourCounts dayTotal)
{
    UsageBatch batch;
    batch.hours.push_back({"Home", kFallBackDay, added, dayTotal, added.size() - 1});
    DayHourCounts firefox(25);
    firefox[2] = {700, 70};
    batch.applications.push_back({"Home", "Firefox", "", kFallBackDay, 700, 70, firefox});
    batch.interfaces.push_back({"Home", "eth0", "52:54:00:00:00:01", kFallBackDay, 500, 50});
    batch.interfaces.push_back({"Home", "eth0", "52:54:00:00:00:02", kFallBackDay, 200, 20});
    return batch;
}

std::vector<std::string> directoryNames(const std::filesystem::path& directory)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

// Two saves add up; the hours are fitted to the day's figure in the profile file (here 7 bytes
// less than counted, as six significant digits round it), an application's to its day; a save
// made while another program holds the write lock fails and stores nothing of its batch; the
// retention drops the hours and keeps the days.
TEST(UsageDatabase, SavesAddUpFitTheDayAndAFailedSaveStoresNothing)
{
    TempDir dir;
    UsageDatabase usage;
    ASSERT_TRUE(usage.open(dir / kUsageDatabaseName)) << usage.lastError();
    DayHourCounts added(25);
    added[1] = {1000, 100};
    added[2] = {2000, 200}; // the second 01:00 hour of the day
    ASSERT_TRUE(usage.save(oneDay(added, {3000, 300}))) << usage.lastError();

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((dir / kUsageDatabaseName).c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(usage.save(oneDay(added, {6000, 600})));
    EXPECT_FALSE(usage.lastError().empty());
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    ASSERT_TRUE(usage.save(oneDay(added, {5993, 600}))) << usage.lastError();
    DayHourCounts expected(25);
    expected[1] = {2000, 200};
    expected[2] = {3993, 400};
    EXPECT_EQ(usage.dayHours("Home", kFallBackDay), expected);
    const std::vector<NamedTotals> applications = usage.applicationTotals("Home", kFallBackDay, kFallBackDay);
    ASSERT_EQ(applications.size(), 1u);
    EXPECT_EQ(applications[0].down, 1400u);
    const std::vector<NamedTotals> interfaces = usage.interfaceTotals("Home", kFallBackDay, kFallBackDay);
    ASSERT_EQ(interfaces.size(), 2u); // one name, two hardware addresses: two interfaces
    EXPECT_EQ(interfaces[0].hardwareAddress, "52:54:00:00:00:01");
    EXPECT_EQ(interfaces[0].down, 1000u);
    const std::vector<NamedHours> hours = usage.applicationHours("Home", kFallBackDay);
    ASSERT_EQ(hours.size(), 1u);
    EXPECT_EQ(hours[0].hours[2], (HourCounts{1400, 140}));
    EXPECT_EQ(sumOf(hours[0].hours), (HourCounts{1400, 140}));

    usage.dropHoursBefore(DayClock::shiftedDate(kFallBackDay, 1));
    EXPECT_TRUE(usage.dayHours("Home", kFallBackDay).empty());
    EXPECT_TRUE(usage.applicationHours("Home", kFallBackDay).empty());
    EXPECT_EQ(usage.applicationTotals("Home", kFallBackDay, kFallBackDay).at(0).down, 1400u);
}

// What the program finds where usage.sqlite should be: a damaged file is kept aside, byte for
// byte, and a new database serves; a later version's file is left alone and not used; a
// version-1 file (no application hours) is brought up to date in place, its day totals kept,
// and that day's hours made to add up to it.
TEST(UsageDatabase, FilesItCannotUseAndAnOlderVersion)
{
    const std::string version1 = std::string(usageMigrations()[0]) +
                                 "PRAGMA user_version = 1; INSERT INTO profiles VALUES(1, 'Home');"
                                 "INSERT INTO applications VALUES(1, 'Firefox');"
                                 "INSERT INTO application_days VALUES(1, 20261025, 1, 500, 5);";
    const struct {
        const char* label;
        std::string content; // empty: a database made by `sql`
        bool opens;
        bool keptAside;
        std::string sql = "";
    } cases[] = {
        {"not a database", std::string(8192, 'x'), true, true},
        {"a torn header", std::string("SQLite format 3\0", 16) + std::string(80, '\xff'), true, true},
        {"a later version", "", false, false, "CREATE TABLE future(x); PRAGMA user_version = 99"},
        {"version 1", "", true, false, version1},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::filesystem::path file = dir / kUsageDatabaseName;
        if (c.content.empty()) {
            sqlite3* made = nullptr;
            sqlite3_open(file.c_str(), &made);
            ASSERT_EQ(sqlite3_exec(made, c.sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << c.label;
            sqlite3_close(made);
        } else {
            writeFile(file, c.content);
        }
        const std::string before = readFile(file);
        UsageDatabase usage;
        EXPECT_EQ(usage.open(file), c.opens) << c.label << ": " << usage.lastError();
        const std::string notice = usage.takeNotice();
        const std::vector<std::string> names = directoryNames(dir.path);
        if (c.keptAside) {
            EXPECT_NE(notice.find("kept aside as usage.sqlite.damaged-"), std::string::npos) << c.label << notice;
            const auto aside = std::find_if(names.begin(), names.end(), [](const std::string& name) {
                return name.starts_with("usage.sqlite.damaged-");
            });
            ASSERT_NE(aside, names.end()) << c.label;
            EXPECT_TRUE(readFile(dir / *aside) == before) << c.label;
            EXPECT_TRUE(usage.save(oneDay(DayHourCounts(24), {0, 0}))) << c.label;
        } else if (c.opens) {
            EXPECT_EQ(notice, "") << c.label;
            ASSERT_TRUE(usage.save(oneDay(DayHourCounts(25), {0, 0}))) << usage.lastError();
            EXPECT_EQ(usage.applicationTotals("Home", kFallBackDay, kFallBackDay).at(0).down, 1200u);
            const std::vector<NamedHours> hours = usage.applicationHours("Home", kFallBackDay);
            ASSERT_EQ(hours.size(), 1u);
            EXPECT_EQ(hours[0].hours[2], (HourCounts{1200, 75})); // the earlier bytes in the last hour with traffic
        } else {
            EXPECT_NE(usage.lastError().find("later version"), std::string::npos) << c.label;
            EXPECT_EQ(names, std::vector<std::string>{kUsageDatabaseName}) << c.label; // no WAL made either
            EXPECT_TRUE(readFile(file) == before) << c.label;
        }
    }
}
