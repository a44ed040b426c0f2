#pragma once
// The prepared statements of a writing connection (usage_database.cpp, usage_queries.cpp).

#include "usage/sqlite_statement.h"
#include "usage/usage_database.h"

// The statements every save runs, prepared once per connection.
struct UsageDatabase::Statements {
    explicit Statements(sqlite3* db)
        : insertProfile(db, "INSERT OR IGNORE INTO profiles(name) VALUES(?1)"),
          selectProfile(db, "SELECT id FROM profiles WHERE name = ?1"),
          selectHours(db, "SELECT hours FROM profile_hours WHERE slot = ?2 * 1048576 + ?1"),
          upsertHours(db, "INSERT OR REPLACE INTO profile_hours(slot, hours) VALUES(?2 * 1048576 + ?1, ?3)"),
          insertApplication(db, "INSERT OR IGNORE INTO applications(name) VALUES(?1)"),
          selectApplication(db, "SELECT id FROM applications WHERE name = ?1"),
          insertInterface(db, "INSERT OR IGNORE INTO interfaces(name, hardware_address) VALUES(?1, ?2)"),
          selectInterface(db, "SELECT id FROM interfaces WHERE name = ?1 AND hardware_address = ?2"),
          addApplicationDay(db, "INSERT INTO application_days VALUES(?1, ?2, ?3, ?4, ?5) "
                                "ON CONFLICT DO UPDATE SET downloaded = downloaded + excluded.downloaded, "
                                "uploaded = uploaded + excluded.uploaded RETURNING downloaded, uploaded"),
          addInterfaceDay(db, "INSERT INTO interface_days VALUES(?1, ?2, ?3, ?4, ?5) "
                              "ON CONFLICT DO UPDATE SET downloaded = downloaded + excluded.downloaded, "
                              "uploaded = uploaded + excluded.uploaded"),
          setAgreedDay(db, "INSERT OR REPLACE INTO state(key, value) VALUES('agreed_day', ?1)"),
          selectApplicationHours(db, "SELECT hours FROM application_hours "
                                     "WHERE day = ?1 AND profile_id = ?2 AND application_id = ?3"),
          upsertApplicationHours(db, "INSERT INTO application_hours VALUES(?1, ?2, ?3, ?4) "
                                     "ON CONFLICT DO UPDATE SET hours = excluded.hours")
    {
    }
    bool valid() const
    {
        for (const SqliteStatement* s : {&insertProfile, &selectProfile, &selectHours, &upsertHours,
                                         &insertApplication, &selectApplication, &insertInterface,
                                         &selectInterface, &addApplicationDay, &addInterfaceDay, &setAgreedDay,
                                         &selectApplicationHours, &upsertApplicationHours})
            if (!s->valid())
                return false;
        return true;
    }
    SqliteStatement insertProfile, selectProfile, selectHours, upsertHours;
    SqliteStatement insertApplication, selectApplication, insertInterface, selectInterface;
    SqliteStatement addApplicationDay, addInterfaceDay, setAgreedDay;
    SqliteStatement selectApplicationHours, upsertApplicationHours;
};

