#pragma once
// What the Applications window shows, without widgets: the period choices and the dates each
// covers, the rows of its two tabs (applications, interfaces) sorted by the column chosen, the
// amounts' texts, and the line saying why every byte is System where that is so.

#include "profile/day_clock.h"
#include "usage/usage_database.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct UsagePeriod {
    std::string text; // "Today", "This month", "November 2026"
    LocalDate first, last;
};

// Today, this month, then the `pastMonths` months before it, the latest first.
std::vector<UsagePeriod> usagePeriods(const LocalDate& today, int pastMonths = 12);

// The interfaces' columns; the applications' have the live rate after them.
enum class UsageColumn { Name, Downloaded, Uploaded, Total, Rate };
inline constexpr int kUsageColumnCount = 4;
inline constexpr int kApplicationColumnCount = 5;
inline constexpr const char* kUsageColumnTexts[kUsageColumnCount] = {"Name", "Downloaded", "Uploaded", "Total"};

// An application's bytes of the last second (the main window's Current rate), by name.
struct LiveRate {
    std::uint64_t down = 0, up = 0;
};
using LiveRates = std::map<std::string, LiveRate>;

// Sorted by the column, ascending or descending; names compare without regard to case, and
// equal amounts keep the order of their names. The rate column sorts by download and upload
// together.
void sortUsage(std::vector<NamedTotals>& rows, UsageColumn column, bool descending, const LiveRates& rates = {});

// The applications with a live rate that the period's rows do not have yet (not saved yet),
// added with no bytes.
void addLiveOnly(std::vector<NamedTotals>& rows, const LiveRates& rates);

// "Now (KB/s)": the rate column's header in the main window's unit.
std::string liveRateHeader(std::uint32_t unitDivisor);
// "12.35 / 0.50": download and upload in that unit, as the main window shows rates; empty
// when both are nothing.
std::string liveRateText(const LiveRate& rate, std::uint32_t unitDivisor);

struct UsageRow {
    std::string name; // an interface's with its hardware address where another has its name
    std::string downloaded, uploaded, total;
};
std::vector<UsageRow> usageRows(const std::vector<NamedTotals>& totals);

// "512 B", "1.50 KB", "3.20 MB", "1.07 GB": powers of 1000, as the History window counts.
std::string byteAmountText(std::uint64_t bytes);

// The one line above the tables when the packets are not counted in the kernel: without the
// kernel no packet's socket is known, so every byte is System. Empty when the kernel counts.
std::string attributionNotice(bool kernelCounts);
