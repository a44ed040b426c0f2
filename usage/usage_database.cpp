#include "usage/usage_database.h"

#include "usage/sqlite_statement.h"
#include "usage/usage_statements.h"
#include "usage/usage_schema.h"

#include <algorithm>
#include <ctime>
#include <tuple>
#include <system_error>
#include <utility>

namespace {

// Profile ids an hour row's slot can hold (usage_schema.cpp: day * 2^20 + profile id).
constexpr std::int64_t kProfileIdLimit = std::int64_t(1) << 20;

std::string stampNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &parts);
    return text;
}

} // namespace

UsageDatabase::UsageDatabase() : db(nullptr, [](sqlite3* handle) { sqlite3_close_v2(handle); }) {}

UsageDatabase::~UsageDatabase()
{
    close();
}

void UsageDatabase::close()
{
    statements.reset(); // statements before their connection
    db.reset();
    profileIds.clear();
    nameIds.clear();
}

std::string UsageDatabase::takeNotice()
{
    return std::exchange(notice, std::string());
}

bool UsageDatabase::fail(int code)
{
    error = sqliteError(db.get());
    if (error.empty() || code == SQLITE_TOOBIG)
        error = sqlite3_errstr(code);
    return false;
}

bool UsageDatabase::open(const std::filesystem::path& path)
{
    file = path;
    if (openFile(true))
        return true;
    if (error.find("later version") != std::string::npos)
        return false;
    return startAfresh(error);
}

bool UsageDatabase::openForReading(const std::filesystem::path& path)
{
    file = path;
    std::error_code missing;
    if (!std::filesystem::exists(path, missing)) {
        error = "no usage database yet";
        return false;
    }
    return openFile(false);
}

// Crash safety: WAL with synchronous=FULL syncs the log at every commit, so a save that
// returned is on the disk, and one cut short by a crash or power loss is rolled back whole at
// the next open.
bool UsageDatabase::openFile(bool writable)
{
    close();
    sqlite3* handle = nullptr;
    const int flags = writable ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
    const int opened = sqlite3_open_v2(file.c_str(), &handle, flags | SQLITE_OPEN_FULLMUTEX, nullptr);
    db.reset(handle);
    if (opened != SQLITE_OK)
        return fail(opened);
    sqlite3_busy_timeout(handle, 2000);
    if (!writable)
        return true;
    // The version first: a later version's file is left exactly as it is, journal mode included.
    int code = migrateUsageSchema(handle);
    if (code == SQLITE_OK)
        code = executeSql(handle, "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;");
    if (code == SQLITE_TOOBIG) {
        error = "written by a later version of Velmora; hours are not kept this run";
        close();
        return false;
    }
    if (code == SQLITE_OK) {
        statements = std::make_unique<Statements>(handle);
        if (!statements->valid())
            code = SQLITE_CORRUPT;
    }
    if (code != SQLITE_OK) {
        fail(code);
        close();
        return false;
    }
    return true;
}

// The damaged file and its journal move aside together, so the pair can still be examined.
bool UsageDatabase::startAfresh(const std::string& why)
{
    close();
    const std::filesystem::path aside = file.string() + ".damaged-" + stampNow();
    std::error_code moved;
    std::filesystem::rename(file, aside, moved);
    for (const char* suffix : {"-wal", "-shm"}) {
        std::error_code ignored;
        std::filesystem::rename(file.string() + suffix, aside.string() + suffix, ignored);
    }
    notice = "usage database " + file.string() + " could not be read (" + why + ")";
    notice += moved ? "; it could not be set aside either (" + moved.message() + ")"
                    : "; kept aside as " + aside.filename().string() + " and started afresh";
    if (!openFile(true)) {
        notice += "; a new one could not be made (" + error + ")";
        return false;
    }
    return true;
}

std::optional<std::int64_t> UsageDatabase::profileId(const std::string& name, bool create)
{
    if (const auto known = profileIds.find(name); known != profileIds.end())
        return known->second;
    if (create) {
        statements->insertProfile.reset();
        statements->insertProfile.bind(1, name).step();
        if (statements->insertProfile.lastCode() != SQLITE_DONE)
            return std::nullopt;
    }
    SqliteStatement& select = statements->selectProfile;
    select.reset();
    if (!select.bind(1, name).step())
        return std::nullopt;
    const std::int64_t id = select.integer(0);
    select.reset();
    if (id < 0 || id >= kProfileIdLimit) // beyond what an hour row's slot holds
        return std::nullopt;
    profileIds.emplace(name, id);
    return id;
}

std::optional<std::int64_t> UsageDatabase::nameId(SqliteStatement& insert, SqliteStatement& select,
                                                   const std::string& name, const std::string& hardwareAddress)
{
    const bool twoKeys = &insert == &statements->insertInterface;
    std::string key = (twoKeys ? "i" : "a") + name;
    key += '\0';
    key += hardwareAddress;
    if (const auto known = nameIds.find(key); known != nameIds.end())
        return known->second;
    insert.reset();
    insert.bind(1, name);
    if (twoKeys)
        insert.bind(2, hardwareAddress);
    insert.step();
    if (insert.lastCode() != SQLITE_DONE)
        return std::nullopt;
    select.reset();
    select.bind(1, name);
    if (twoKeys)
        select.bind(2, hardwareAddress);
    if (!select.step())
        return std::nullopt;
    const std::int64_t id = select.integer(0);
    select.reset();
    nameIds.emplace(std::move(key), id);
    return id;
}

bool UsageDatabase::save(const UsageBatch& batch)
{
    if (!db) {
        error = "no usage database";
        return false;
    }
    if (const int begun = executeSql(db.get(), "BEGIN IMMEDIATE"); begun != SQLITE_OK)
        return fail(begun);
    if (writeBatch(batch)) {
        const int committed = executeSql(db.get(), "COMMIT");
        if (committed == SQLITE_OK)
            return true;
        fail(committed);
    }
    const int code = sqlite3_extended_errcode(db.get());
    const std::string why = error;
    executeSql(db.get(), "ROLLBACK");
    // Ids learnt inside the transaction went with it.
    profileIds.clear();
    nameIds.clear();
    if (isDamageCode(code))
        startAfresh(why);
    error = why;
    return false;
}

bool UsageDatabase::writeBatch(const UsageBatch& batch)
{
    Statements& s = *statements;
    DayHourCounts stored;
    for (const ProfileDayHours& day : batch.hours) {
        const std::optional<std::int64_t> id = profileId(day.profile, true);
        if (!id)
            return fail(sqlite3_errcode(db.get()));
        const int key = dayKeyOf(day.date);
        s.selectHours.reset();
        if (!s.selectHours.bind(1, *id).bind(2, key).step() || !unpackHours(s.selectHours.blob(0), stored))
            stored.clear();
        if (s.selectHours.lastCode() != SQLITE_ROW && s.selectHours.lastCode() != SQLITE_DONE)
            return fail(s.selectHours.lastCode());
        s.selectHours.reset();
        if (stored.size() < day.added.size())
            stored.resize(day.added.size());
        for (std::size_t hour = 0; hour < day.added.size(); ++hour) {
            stored[hour].down += day.added[hour].down;
            stored[hour].up += day.added[hour].up;
        }
        fitHours(stored, day.dayTotal, day.lastHour);
        s.upsertHours.reset();
        s.upsertHours.bind(1, *id).bind(2, key).bindBlob(3, packHours(stored)).step();
        if (s.upsertHours.lastCode() != SQLITE_DONE)
            return fail(s.upsertHours.lastCode());
    }
    std::vector<ApplicationDay> applicationDays;
    const auto addNamed = [&](const std::vector<NamedDayCount>& counts, SqliteStatement& insert,
                              SqliteStatement& select, SqliteStatement& add, std::vector<ApplicationDay>* days) {
        for (const NamedDayCount& count : counts) {
            const std::optional<std::int64_t> profile = profileId(count.profile, true);
            const std::optional<std::int64_t> named =
                profile ? nameId(insert, select, count.name, count.hardwareAddress) : std::nullopt;
            if (!named)
                return fail(sqlite3_errcode(db.get()));
            add.reset();
            add.bind(1, *profile).bind(2, dayKeyOf(count.date)).bind(3, *named);
            add.bind(4, std::int64_t(count.down)).bind(5, std::int64_t(count.up)).step();
            if (add.lastCode() != SQLITE_DONE && add.lastCode() != SQLITE_ROW)
                return fail(add.lastCode());
            if (days != nullptr && add.lastCode() == SQLITE_ROW && !count.hours.empty())
                days->push_back({dayKeyOf(count.date), *profile, *named,
                                 {std::uint64_t(add.integer(0)), std::uint64_t(add.integer(1))}, &count});
            add.reset();
        }
        return true;
    };
    if (!addNamed(batch.applications, s.insertApplication, s.selectApplication, s.addApplicationDay,
                  &applicationDays) ||
        !addNamed(batch.interfaces, s.insertInterface, s.selectInterface, s.addInterfaceDay, nullptr) ||
        !writeApplicationHours(applicationDays))
        return false;
    if (batch.agreedDay) {
        s.setAgreedDay.reset();
        s.setAgreedDay.bind(1, dayKeyOf(*batch.agreedDay)).step();
        if (s.setAgreedDay.lastCode() != SQLITE_DONE)
            return fail(s.setAgreedDay.lastCode());
    }
    return true;
}

// In key order, so that a new day's rows append to the table (usage_schema.cpp).
bool UsageDatabase::writeApplicationHours(std::vector<ApplicationDay>& days)
{
    std::sort(days.begin(), days.end(), [](const ApplicationDay& a, const ApplicationDay& b) {
        return std::tie(a.day, a.profile, a.application) < std::tie(b.day, b.profile, b.application);
    });
    Statements& s = *statements;
    DayHourCounts stored;
    for (const ApplicationDay& day : days) {
        const DayHourCounts& added = day.row->hours;
        s.selectApplicationHours.reset();
        s.selectApplicationHours.bind(1, day.day).bind(2, day.profile).bind(3, day.application);
        if (!s.selectApplicationHours.step() || !unpackSparseHours(s.selectApplicationHours.blob(0), stored))
            stored.clear();
        const int selected = s.selectApplicationHours.lastCode();
        s.selectApplicationHours.reset();
        if (selected != SQLITE_ROW && selected != SQLITE_DONE)
            return fail(selected);
        if (stored.size() < added.size())
            stored.resize(added.size());
        std::size_t lastHour = added.size() - 1;
        for (std::size_t hour = 0; hour < added.size(); ++hour) {
            stored[hour].down += added[hour].down;
            stored[hour].up += added[hour].up;
            if (added[hour] != HourCounts())
                lastHour = hour;
        }
        // Equal unless the day had bytes before its hours were kept (the day the file was
        // brought to this version): those go into the last hour with traffic.
        fitHours(stored, day.total, lastHour);
        s.upsertApplicationHours.reset();
        s.upsertApplicationHours.bind(1, day.day).bind(2, day.profile).bind(3, day.application);
        s.upsertApplicationHours.bindBlob(4, packSparseHours(stored)).step();
        if (s.upsertApplicationHours.lastCode() != SQLITE_DONE)
            return fail(s.upsertApplicationHours.lastCode());
    }
    return true;
}
