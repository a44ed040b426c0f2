#pragma once
// How the window tells a quota's state: the tray tooltip's and History's line, and the
// desktop notification of a crossing. The statuses and the log line they build on are the
// engine's (quota/quota_status.h), shared with the service and the report.

#include "quota/quota_status.h"

#include <string>

// For a tooltip: "Quota: 45.0 of 50.0 GB, 90%, month from 15 Dec" ("..., today" for a day;
// "Quota of Firefox: ..." for an application's quota).
std::string quotaTooltipText(const QuotaStatus& status);

// A desktop notification for a crossing: "Quota warning: Default" or "Quota used up: Default"
// ("Quota used up: Firefox in Default" for an application's quota),
// and "Default used 45.0 of 50.0 GB (90%) this month (from 2026-12-15)".
struct QuotaNotification {
    std::string summary;
    std::string body;
};
QuotaNotification quotaNotification(const QuotaStatus& status, QuotaLevel level);
