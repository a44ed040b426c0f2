#pragma once
// A thin hold on SQLite: the connection and prepared statements as owned objects, and the
// error text of a failed call. Only the usage folder includes it.

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

struct SqliteConnectionCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

class SqliteStatement {
public:
    SqliteStatement() = default;
    SqliteStatement(sqlite3* db, const char* sql);
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;
    SqliteStatement(SqliteStatement&& other) noexcept : handle(other.handle) { other.handle = nullptr; }
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;
    ~SqliteStatement() { sqlite3_finalize(handle); }

    bool valid() const { return handle != nullptr; }
    // Binds by position, from 1; ready again for binding after step() returned false.
    SqliteStatement& bind(int index, std::int64_t value);
    SqliteStatement& bind(int index, std::string_view text);
    SqliteStatement& bindBlob(int index, std::string_view bytes);
    // True while a row is there to read; false when done (or on failure: lastCode()).
    bool step();
    int lastCode() const { return code; }
    std::int64_t integer(int column) const { return sqlite3_column_int64(handle, column); }
    std::string text(int column) const;
    std::string_view blob(int column) const;
    void reset();

private:
    sqlite3_stmt* handle = nullptr;
    int code = SQLITE_OK;
};

// Runs statements without results; SQLITE_OK or the failing code.
int executeSql(sqlite3* db, const char* sql);
// "database disk image is malformed" and the like, for a log line.
std::string sqliteError(sqlite3* db);
// A code that says the file is no database, or a damaged one.
bool isDamageCode(int code);
