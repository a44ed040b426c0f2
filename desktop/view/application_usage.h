#pragma once
// What the Applications window shows, without widgets: the period choices and the dates each
// covers, the rows of its two tabs (applications, interfaces) sorted by the column chosen, the
// amounts' texts, and the line saying why every byte is System where that is so.

#include "profile/day_clock.h"
#include "usage/usage_database.h"

#include <cstdint>
#include <string>
#include <vector>

struct UsagePeriod {
    std::string text; // "Today", "This month", "November 2026"
    LocalDate first, last;
};

// Today, this month, then the `pastMonths` months before it, the latest first.
std::vector<UsagePeriod> usagePeriods(const LocalDate& today, int pastMonths = 12);

enum class UsageColumn { Name, Downloaded, Uploaded, Total };
inline constexpr int kUsageColumnCount = 4;
inline constexpr const char* kUsageColumnTexts[kUsageColumnCount] = {"Name", "Downloaded", "Uploaded", "Total"};

// Sorted by the column, ascending or descending; names compare without regard to case, and
// equal amounts keep the order of their names.
void sortUsage(std::vector<NamedTotals>& rows, UsageColumn column, bool descending);

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
