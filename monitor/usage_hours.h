#pragma once
// The engine's side of the usage database: the hours counted since the last save go into it
// in one transaction per save, from the same snapshot of the profiles as the profile files.
//
// How a day's hours stay equal to its total in the profile file:
// - The meter adds every flow to the day slot and to the hour slot of the same profile, under
//   the same shared guard (accounting/traffic_meter.cpp), so in memory the hours counted since
//   the last save (CProfile::pendingHours) and the day grow together.
// - A save copies the profiles under the exclusive guard: the profile files and the database
//   are written from that one copy. The database adds the copy's pending hours to the stored
//   ones and fits them to the day's figure as the profile file holds it (six significant
//   digits, amountAsSaved): the difference (the rounding, or anything the database missed)
//   goes into the day's last hour with traffic (usage/hour_counts.h, fitHours).
// - Only after the database committed are the copied amounts taken off the live hour slots
//   (what was counted meanwhile stays); a failed commit leaves them all for the next save. A
//   past day leaves memory once nothing of it is pending; a late flow for it comes back as a
//   new pending day and is added at the next save.
// - A failed profile save leaves the file behind the database until the next good save; a
//   restart in between (or after a crash between the two writes) finds them apart. The start
//   therefore fits the stored hours of every day since the last save both wrote (`agreed_day`,
//   less one for the flows counted just after midnight) to the totals loaded from the files,
//   and logs each change.

#include "monitor/monitor_engine.h"
#include "monitor/usage_attribution.h"
#include "profile/profile_list.h"
#include "usage/usage_database.h"

#include <optional>
#include <string>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

// The engine's usage database: opened at start, written by every save, the old hours dropped
// once a day. Written by the engine's save only (under its save lock); read from any thread.
//
// The totals of applications and interfaces a reader gets are the stored ones plus what was
// counted since (UsageAttribution::unsaved). A save's rows are in flight from addTo until
// saved(): `databaseGuard` is held from the commit to saved(), and by the reader across its
// query and its look at the unsaved rows, so each row is counted once, stored or unsaved.
class UsageRecorder {
public:
    UsageRecorder(const std::filesystem::path& file, const DayClock& clock, int keepDays);
    // Opens the database, fits the days that may disagree with the profiles as loaded, drops the
    // hours older than the retention; says on the log what it had to do.
    void start(const ProfileList& loaded);
    // Writes what `copy` (taken under the guard when the save began) holds pending; after the
    // commit, takes it off the live slots. A failure, or a damaged file set aside, goes into
    // the outcome (its `saved` false) for the window and the log.
    void save(SharedProfiles& shared, const ProfileList& copy, const LocalDate& copyDay, SaveOutcome& outcome);
    UsageDatabase& database() { return usage; } // the saving thread, or before any runs
    // Stored plus unsaved, busiest first; from any thread (it may wait for a save's commit).
    std::vector<NamedTotals> namedTotals(NamedKind kind, const std::string& profile, const LocalDate& first,
                                         const LocalDate& last);
    // Another retention (Options), from any thread: the next save drops by it.
    void setKeepDays(int days) { keepDays = std::max(1, days); }
    // What the meter counts per program and interface, written by every save with the hours.
    // Whether it is kept at all: only while the database is open (start() opened it).
    UsageAttribution& attribution() { return attributed; }
    bool isOpen() const { return usage.isOpen(); }

private:
    void noteProblem(SaveOutcome& outcome, const std::string& text);
    void dropOldHours(const LocalDate& today);

    std::mutex databaseGuard; // the connection; a save's rows from its commit to saved()
    UsageDatabase usage;
    UsageAttribution attributed;
    std::filesystem::path file;
    const DayClock& clock;
    std::atomic<int> keepDays;
    int prunedWith = 0; // the retention of the last drop
    std::string startNotice;  // told in the first save's outcome
    std::optional<LocalDate> agreedWritten;
    std::optional<LocalDate> prunedOn;
};

// The pending hours of the copy, each day with its figure as the profile file holds it.
UsageBatch pendingHoursBatch(const ProfileList& copy);

// After a commit of pendingHoursBatch(copy): takes the copied amounts off the live hour slots,
// and drops the past days (before `today`) that have nothing pending left. The caller holds the
// guard exclusively.
void forgetCommittedHours(SharedProfiles& shared, const ProfileList& copy, const LocalDate& today);

// At start, with the profiles as loaded: fits the stored hours of the days that may disagree
// with the files (see above) to the files' totals. Returns one line per change.
std::vector<std::string> reconcileHours(UsageDatabase& usage, const ProfileList& loaded, const LocalHour& now,
                                        int keepDays);
