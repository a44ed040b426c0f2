#include "usage/usage_schema.h"

#include "usage/sqlite_statement.h"

#include <string>

namespace {

// Hours: one row per profile and day, its hours packed (usage/hour_counts.h): a row per hour
// would cost about 25 bytes each, 120 MB for 500 profiles over 400 days; packed, a day of
// 24 busy hours takes about 200 bytes. The row's key is its slot, day * 2^20 + profile id
// (profile_id and day are read from it, stored nowhere else): a new day's rows follow the last
// ones, so pages fill up as SQLite appends to a rowid table (keyed by profile, each day's rows
// would split pages all over the table and leave them a fifth empty), and a profile's month is
// one range of slots.
// Applications and interfaces: a row per profile, day and one of them; an interface is its
// name and hardware address, so a later interface of the same name is another row.
constexpr const char* kVersion1 = R"sql(
CREATE TABLE profiles(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE);
CREATE TABLE profile_hours(
    slot INTEGER PRIMARY KEY, hours BLOB NOT NULL,
    profile_id INTEGER GENERATED ALWAYS AS (slot & 1048575) VIRTUAL,
    day INTEGER GENERATED ALWAYS AS (slot >> 20) VIRTUAL);
CREATE TABLE applications(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE);
CREATE TABLE interfaces(
    id INTEGER PRIMARY KEY, name TEXT NOT NULL, hardware_address TEXT NOT NULL,
    UNIQUE(name, hardware_address));
CREATE TABLE application_days(
    profile_id INTEGER NOT NULL, day INTEGER NOT NULL, application_id INTEGER NOT NULL,
    downloaded INTEGER NOT NULL, uploaded INTEGER NOT NULL,
    PRIMARY KEY(profile_id, day, application_id)) WITHOUT ROWID;
CREATE TABLE interface_days(
    profile_id INTEGER NOT NULL, day INTEGER NOT NULL, interface_id INTEGER NOT NULL,
    downloaded INTEGER NOT NULL, uploaded INTEGER NOT NULL,
    PRIMARY KEY(profile_id, day, interface_id)) WITHOUT ROWID;
CREATE TABLE state(key TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;
)sql";

// Hours of each application: one row per profile, application and day, its hours packed with a
// mask of the busy ones (packSparseHours: an application is idle most hours, and an idle hour
// costs nothing; packed as a profile's, each would cost two bytes). Keyed by day first, so a day's rows are one
// range whatever the profile, a new day's rows land after the last ones (the save writes them
// in key order, so they append and fill their pages), and the retention drops the table's
// front. A profile's day is one range of the key; its month is one seek per day.
constexpr const char* kVersion2 = R"sql(
CREATE TABLE application_hours(
    day INTEGER NOT NULL, profile_id INTEGER NOT NULL, application_id INTEGER NOT NULL,
    hours BLOB NOT NULL,
    PRIMARY KEY(day, profile_id, application_id)) WITHOUT ROWID;
)sql";

constexpr const char* kMigrations[] = {kVersion1, kVersion2};

int userVersion(sqlite3* db, int& version)
{
    SqliteStatement read(db, "PRAGMA user_version");
    if (!read.valid())
        return read.lastCode();
    if (!read.step())
        return read.lastCode() == SQLITE_DONE ? SQLITE_CORRUPT : read.lastCode();
    version = int(read.integer(0));
    read.reset();
    return SQLITE_OK;
}

} // namespace

std::span<const char* const> usageMigrations()
{
    return kMigrations;
}

int currentUsageSchemaVersion()
{
    return int(std::size(kMigrations));
}

int migrateUsageSchema(sqlite3* db)
{
    int version = 0;
    if (const int code = userVersion(db, version); code != SQLITE_OK)
        return code;
    if (version > currentUsageSchemaVersion())
        return SQLITE_TOOBIG;
    for (; version < currentUsageSchemaVersion(); ++version) {
        const std::string step = std::string("BEGIN IMMEDIATE;") + kMigrations[version] +
                                 "PRAGMA user_version = " + std::to_string(version + 1) + ";COMMIT;";
        if (const int code = executeSql(db, step.c_str()); code != SQLITE_OK) {
            executeSql(db, "ROLLBACK");
            return code;
        }
    }
    return SQLITE_OK;
}
