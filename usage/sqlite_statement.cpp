#include "usage/sqlite_statement.h"

SqliteStatement::SqliteStatement(sqlite3* db, const char* sql)
{
    code = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &handle, nullptr);
    if (code != SQLITE_OK) {
        sqlite3_finalize(handle);
        handle = nullptr;
    }
}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(handle);
        handle = other.handle;
        code = other.code;
        other.handle = nullptr;
    }
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, std::int64_t value)
{
    sqlite3_bind_int64(handle, index, value);
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, std::string_view text)
{
    sqlite3_bind_text(handle, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
    return *this;
}

SqliteStatement& SqliteStatement::bindBlob(int index, std::string_view bytes)
{
    sqlite3_bind_blob(handle, index, bytes.data(), int(bytes.size()), SQLITE_TRANSIENT);
    return *this;
}

bool SqliteStatement::step()
{
    code = sqlite3_step(handle);
    if (code == SQLITE_ROW)
        return true;
    sqlite3_reset(handle);
    return false;
}

std::string SqliteStatement::text(int column) const
{
    const auto* chars = reinterpret_cast<const char*>(sqlite3_column_text(handle, column));
    return chars != nullptr ? std::string(chars, std::size_t(sqlite3_column_bytes(handle, column))) : std::string();
}

std::string_view SqliteStatement::blob(int column) const
{
    const void* bytes = sqlite3_column_blob(handle, column);
    return bytes != nullptr
               ? std::string_view(static_cast<const char*>(bytes), std::size_t(sqlite3_column_bytes(handle, column)))
               : std::string_view();
}

void SqliteStatement::reset()
{
    sqlite3_reset(handle);
    sqlite3_clear_bindings(handle);
}

int executeSql(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

std::string sqliteError(sqlite3* db)
{
    return db != nullptr ? sqlite3_errmsg(db) : "out of memory";
}

bool isDamageCode(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}
