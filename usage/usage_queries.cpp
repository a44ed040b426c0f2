// What the usage database gives back, the start's reconciliation and the retention.
#include "usage/usage_database.h"

#include "usage/sqlite_statement.h"
#include "usage/usage_statements.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string dayText(int key)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", key / 10000, key / 100 % 100, key % 100);
    return text;
}

std::string changeText(std::int64_t bytes, const char* direction)
{
    return (bytes > 0 ? " +" : " ") + std::to_string(bytes) + " B " + direction;
}

} // namespace

std::optional<LocalDate> UsageDatabase::agreedDay()
{
    if (!db)
        return std::nullopt;
    SqliteStatement read(db.get(), "SELECT value FROM state WHERE key = 'agreed_day'");
    if (!read.valid() || !read.step())
        return std::nullopt;
    const LocalDate day = dateOfDayKey(int(read.integer(0)));
    read.reset();
    return day;
}

std::vector<std::string> UsageDatabase::reconcile(const std::unordered_map<std::string, FiguresOfProfile>& figures)
{
    std::vector<std::string> changes;
    if (!db || executeSql(db.get(), "BEGIN IMMEDIATE") != SQLITE_OK)
        return changes;
    Statements& s = *statements;
    bool good = true;
    DayHourCounts stored;
    for (auto entry = figures.begin(); good && entry != figures.end(); ++entry) {
        const auto& [profile, days] = *entry;
        const std::optional<std::int64_t> id = profileId(profile, true);
        good = id.has_value();
        for (auto day = days.begin(); good && day != days.end(); ++day) {
            const auto& [key, figure] = *day;
            s.selectHours.reset();
            const bool found = s.selectHours.bind(1, *id).bind(2, key).step();
            if (!found || !unpackHours(s.selectHours.blob(0), stored))
                stored.clear();
            s.selectHours.reset();
            if (stored.empty() && figure.total == HourCounts())
                continue;
            if (stored.size() < figure.hourCount)
                stored.resize(figure.hourCount);
            const FitChange change = fitHours(stored, figure.total, figure.lastHour);
            if (!change.any())
                continue;
            s.upsertHours.reset();
            s.upsertHours.bind(1, *id).bind(2, key).bindBlob(3, packHours(stored)).step();
            good = s.upsertHours.lastCode() == SQLITE_DONE;
            changes.push_back(profile + " " + dayText(key) + ":" + changeText(change.down, "down") + "," +
                              changeText(change.up, "up"));
        }
    }
    if (good && executeSql(db.get(), "COMMIT") == SQLITE_OK)
        return changes;
    fail(sqlite3_errcode(db.get()));
    executeSql(db.get(), "ROLLBACK");
    profileIds.clear();
    nameIds.clear();
    return {};
}

std::int64_t UsageDatabase::dropHoursBefore(const LocalDate& firstKept)
{
    if (!db)
        return 0;
    SqliteStatement dropApplications(db.get(), "DELETE FROM application_hours WHERE day < ?1");
    if (dropApplications.valid())
        dropApplications.bind(1, dayKeyOf(firstKept)).step();
    SqliteStatement drop(db.get(), "DELETE FROM profile_hours WHERE slot < ?1 * 1048576");
    if (!drop.valid())
        return 0;
    drop.bind(1, dayKeyOf(firstKept)).step();
    return drop.lastCode() == SQLITE_DONE ? sqlite3_changes64(db.get()) : 0;
}

DayHourCounts UsageDatabase::dayHours(const std::string& profile, const LocalDate& date)
{
    auto days = hoursBetween(profile, date, date);
    return days.empty() ? DayHourCounts() : std::move(days.front().second);
}

std::vector<std::pair<int, DayHourCounts>> UsageDatabase::hoursBetween(const std::string& profile,
                                                                       const LocalDate& first, const LocalDate& last)
{
    std::vector<std::pair<int, DayHourCounts>> days;
    if (!db)
        return days;
    SqliteStatement query(db.get(), "SELECT day, hours FROM profile_hours WHERE slot BETWEEN ?2 * 1048576 AND ?3 * 1048576 + 1048575 "
                                    "AND profile_id = (SELECT id FROM profiles WHERE name = ?1) ORDER BY slot");
    if (!query.valid())
        return days;
    query.bind(1, profile).bind(2, dayKeyOf(first)).bind(3, dayKeyOf(last));
    DayHourCounts hours;
    while (query.step())
        if (unpackHours(query.blob(1), hours))
            days.emplace_back(int(query.integer(0)), hours);
    return days;
}

std::vector<NamedTotals> UsageDatabase::namedTotals(SqliteStatement& query, const std::string& profile,
                                                    const LocalDate& first, const LocalDate& last)
{
    std::vector<NamedTotals> totals;
    if (!query.valid())
        return totals;
    query.bind(1, profile).bind(2, dayKeyOf(first)).bind(3, dayKeyOf(last));
    while (query.step())
        totals.push_back({query.text(0), query.text(1), std::uint64_t(query.integer(2)), std::uint64_t(query.integer(3))});
    std::stable_sort(totals.begin(), totals.end(), [](const NamedTotals& a, const NamedTotals& b) {
        return a.down + a.up > b.down + b.up;
    });
    return totals;
}

std::vector<NamedTotals> UsageDatabase::applicationTotals(const std::string& profile, const LocalDate& first,
                                                          const LocalDate& last)
{
    if (!db)
        return {};
    // Summed by id within the profile's range of days before the names are joined: a year of
    // 500 applications is 182,500 rows, each of which would otherwise look its name up first.
    SqliteStatement query(db.get(),
                          "SELECT a.name, '', t.down, t.up FROM (SELECT application_id, SUM(downloaded) AS down, "
                          "SUM(uploaded) AS up FROM application_days WHERE profile_id = (SELECT id FROM profiles "
                          "WHERE name = ?1) AND day BETWEEN ?2 AND ?3 GROUP BY application_id) t "
                          "JOIN applications a ON a.id = t.application_id ORDER BY a.name");
    return namedTotals(query, profile, first, last);
}

std::vector<NamedTotals> UsageDatabase::interfaceTotals(const std::string& profile, const LocalDate& first,
                                                        const LocalDate& last)
{
    if (!db)
        return {};
    SqliteStatement query(db.get(),
                          "SELECT i.name, i.hardware_address, SUM(d.downloaded), SUM(d.uploaded) FROM interface_days d "
                          "JOIN profiles p ON p.id = d.profile_id JOIN interfaces i ON i.id = d.interface_id "
                          "WHERE p.name = ?1 AND d.day BETWEEN ?2 AND ?3 GROUP BY i.id ORDER BY i.name, i.id");
    return namedTotals(query, profile, first, last);
}

std::vector<NamedHours> UsageDatabase::applicationHours(const std::string& profile, const LocalDate& date)
{
    std::vector<NamedHours> applications;
    if (!db)
        return applications;
    SqliteStatement query(db.get(), "SELECT a.name, h.hours FROM application_hours h "
                                    "JOIN applications a ON a.id = h.application_id "
                                    "WHERE h.day = ?2 AND h.profile_id = (SELECT id FROM profiles WHERE name = ?1) "
                                    "ORDER BY a.name");
    if (!query.valid())
        return applications;
    query.bind(1, profile).bind(2, dayKeyOf(date));
    DayHourCounts hours;
    while (query.step())
        if (unpackSparseHours(query.blob(1), hours))
            applications.push_back({query.text(0), hours});
    std::stable_sort(applications.begin(), applications.end(), [](const NamedHours& a, const NamedHours& b) {
        const HourCounts sumA = sumOf(a.hours), sumB = sumOf(b.hours);
        return sumA.down + sumA.up > sumB.down + sumB.up;
    });
    return applications;
}
