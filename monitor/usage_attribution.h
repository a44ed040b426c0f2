#pragma once
// What the meter counts per program and interface (AttributedTotals), named while the
// programs' cgroups are still there, and handed to the usage database's saves as day totals
// of applications and interfaces. Counts of the same name merge: a program started again, or
// several cgroups of one service, are one row.
//
//     engine start:  meter.setAttributedTotals(&attribution.totals());
//     once a period: attribution.collect();          (the meter thread)
//     each save:     attribution.addTo(batch); ...; attribution.saved(ok);
//     a reader:      stored totals + attribution.unsaved(...)   (the save's lock held: usage_hours.h)

#include "accounting/attributed_totals.h"
#include "attribution/attribution_names.h"
#include "usage/usage_database.h"

#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

enum class NamedKind { Application, Interface };

class UsageAttribution {
public:
    UsageAttribution() = default;
    explicit UsageAttribution(AttributionNames names) : names(std::move(names)) {}

    AttributedTotals& totals() { return counted; }

    // Names what was counted since the last call and keeps it for the next save.
    void collect();
    // Adds everything kept (collecting first) to the save's batch; it is in flight until
    // saved() says how the save went.
    void addTo(UsageBatch& batch);
    // A failed save's rows go back to be written by the next one.
    void saved(bool written);
    // What was counted for `profile` on the days from `first` to `last` and is not stored yet:
    // the rows kept, the rows in flight and what the meter holds (collected and named first).
    // One entry per name (and hardware address), in no order.
    std::vector<NamedTotals> unsaved(NamedKind kind, const std::string& profile, const LocalDate& first,
                                     const LocalDate& last);

private:
    using RowKey = std::tuple<std::string, std::string, std::string, int>; // profile, name, hardware, day
    using Rows = std::map<RowKey, NamedDayCount>;
    static void merge(Rows& into, const NamedDayCount& row);

    AttributedTotals counted;
    AttributionNames names;    // collect() only, under guard
    std::mutex guard;          // guards names, the rows below
    Rows applications, interfaces;           // kept for the next save
    Rows applicationsInFlight, interfacesInFlight; // handed to the save under way
};

// The stored totals with the unsaved ones added by name (and hardware address), busiest first
// (ties by name), as UsageDatabase gives them.
std::vector<NamedTotals> addedNamedTotals(std::vector<NamedTotals> stored, const std::vector<NamedTotals>& unsaved);
