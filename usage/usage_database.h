#pragma once
// usage.sqlite in the data directory: each profile's hours, and the day totals of each
// application and interface within a profile. The profile files never depend on it: a
// database that cannot be read is kept aside under a name that says so, and a new one begun.
//
//     UsageDatabase usage;
//     usage.open(dataDirectory / kUsageDatabaseName);   // notice() says what went wrong, if anything
//     UsageBatch batch;  ...                            // what was counted since the last save
//     if (!usage.save(batch)) log(usage.lastError());   // one transaction; nothing written on failure
//
// One connection, used by one thread at a time (the engine's save holds its own lock). Other
// processes (the report) read through their own connection while this one writes (WAL).

#include "usage/hour_counts.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
class SqliteStatement;

inline constexpr const char* kUsageDatabaseName = "usage.sqlite";
// How many days of hours are kept unless told otherwise (--keep-hours, Options).
inline constexpr int kDefaultKeepHoursDays = 400;

// One profile's day in a save: the bytes counted since the last save by hour, and the day's
// totals as the profile file holds them. The stored hours, added to, are fitted to those
// totals (fitHours), so that a day's hours always add up to its total in the profile file.
struct ProfileDayHours {
    std::string profile;
    LocalDate date;
    DayHourCounts added;      // one entry per hour of that day (23 to 25)
    HourCounts dayTotal;      // the profile file's figures for the day
    std::size_t lastHour = 0; // where a difference goes when the day has no traffic yet
};

// Bytes of one application (or interface) within one profile on one day, since the last save.
struct NamedDayCount {
    std::string profile;
    std::string name;            // the application's name; the interface's name
    std::string hardwareAddress; // interfaces only: tells a later interface of the name apart
    LocalDate date;
    std::uint64_t down = 0;
    std::uint64_t up = 0;
    // Applications: the same bytes by hour since local midnight (23 to 25 entries, adding up to
    // down and up). The stored hours, added to, are fitted to the stored day total, so an
    // application's hours always add up to its day. Empty for interfaces (no hours kept).
    DayHourCounts hours{};
};

// Everything one save writes, in one transaction.
struct UsageBatch {
    std::vector<ProfileDayHours> hours;
    std::vector<NamedDayCount> applications; // added to the stored day totals
    std::vector<NamedDayCount> interfaces;
    // Set when the profile files were all written from the same snapshot: the files and the
    // database agree on every day before this one, and a start reconciles from here on.
    std::optional<LocalDate> agreedDay;
};

// Totals of an application or interface over a period, busiest first.
struct NamedTotals {
    std::string name;
    std::string hardwareAddress;
    std::uint64_t down = 0;
    std::uint64_t up = 0;
};

// An application's hours of one day.
struct NamedHours {
    std::string name;
    DayHourCounts hours{};
};

class UsageDatabase {
public:
    UsageDatabase();
    ~UsageDatabase();
    UsageDatabase(const UsageDatabase&) = delete;
    UsageDatabase& operator=(const UsageDatabase&) = delete;

    // Opens (or makes) the file for writing, with its schema brought up to date. A damaged or
    // unreadable file is renamed "usage.sqlite.damaged-YYYYMMDD-HHMMSS" (its journal with it) and
    // a new one made; notice() then says so. A file from a later version of the program is left
    // as it is, and nothing is kept this run. False when no database could be had.
    bool open(const std::filesystem::path& file);
    // For readers (the report): never creates, migrates or moves anything.
    bool openForReading(const std::filesystem::path& file);
    bool isOpen() const { return db != nullptr; }
    const std::filesystem::path& path() const { return file; }
    // One line for the log about what open() or save() had to do with a damaged file; empty
    // when nothing happened. Cleared by takeNotice().
    std::string takeNotice();
    // Why the last call failed, in SQLite's words.
    const std::string& lastError() const { return error; }

    // Writes the batch in one transaction. On failure nothing of it is stored (the caller keeps
    // what it counted for the next save). A file found damaged meanwhile is set aside and begun
    // afresh, the save failing this once.
    bool save(const UsageBatch& batch);
    // The hours stored for every profile day from `from` on, fitted to `totals` (by profile
    // name and day key; a day absent there has no traffic); for the start, when the profile
    // files may hold what the database missed or the reverse. `today`'s empty day puts its
    // difference into `currentHour`, a past day's into its last hour. Returns the changes made,
    // one text each ("Home 2026-12-08: +1200 B down").
    struct DayFigure {
        HourCounts total;
        std::size_t hourCount = 24;
        std::size_t lastHour = 23;
    };
    using FiguresOfProfile = std::unordered_map<int, DayFigure>; // by day key
    std::vector<std::string> reconcile(const std::unordered_map<std::string, FiguresOfProfile>& figures);
    // The first day a start should reconcile: the day before the last agreed save, or none
    // when no save has agreed yet (a new database: reconcile from today).
    std::optional<LocalDate> agreedDay();
    // Removes the hours (profiles' and applications') of the days before `firstKept`; the day
    // totals stay. The number of profile days removed.
    std::int64_t dropHoursBefore(const LocalDate& firstKept);

    // What is stored.
    DayHourCounts dayHours(const std::string& profile, const LocalDate& date);
    // Every day between the two dates (both included) that has hours, by day key.
    std::vector<std::pair<int, DayHourCounts>> hoursBetween(const std::string& profile, const LocalDate& first,
                                                            const LocalDate& last);
    std::vector<NamedTotals> applicationTotals(const std::string& profile, const LocalDate& first,
                                               const LocalDate& last);
    std::vector<NamedTotals> interfaceTotals(const std::string& profile, const LocalDate& first,
                                             const LocalDate& last);
    // Each application's hours of the day within the profile, busiest first (ties by name); only
    // the applications that have hours for it (none before the hours were kept, nor before the
    // retention).
    std::vector<NamedHours> applicationHours(const std::string& profile, const LocalDate& date);

private:
    struct Statements;
    bool openFile(bool writable);
    bool startAfresh(const std::string& why);
    bool writeBatch(const UsageBatch& batch);
    // An application's row of a save, with its ids and its stored day total after the save.
    struct ApplicationDay {
        int day = 0;
        std::int64_t profile = 0;
        std::int64_t application = 0;
        HourCounts total;
        const NamedDayCount* row = nullptr;
    };
    bool writeApplicationHours(std::vector<ApplicationDay>& days);
    bool fail(int code);
    std::optional<std::int64_t> profileId(const std::string& name, bool create);
    std::optional<std::int64_t> nameId(SqliteStatement& insert, SqliteStatement& select, const std::string& name,
                                       const std::string& hardwareAddress);
    std::vector<NamedTotals> namedTotals(SqliteStatement& query, const std::string& profile, const LocalDate& first,
                                         const LocalDate& last);
    void close();

    std::filesystem::path file;
    std::unique_ptr<sqlite3, void (*)(sqlite3*)> db;
    std::unique_ptr<Statements> statements;
    std::unordered_map<std::string, std::int64_t> profileIds;
    std::unordered_map<std::string, std::int64_t> nameIds; // applications' and interfaces', by kind and name
    std::string error;
    std::string notice;
};
