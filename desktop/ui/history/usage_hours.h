#pragma once
// History's source of a day's hours: the usage database (usage/usage_database.h), read only,
// opened at the first question once the file exists.

#include "desktop/ui/history/history_dlg.h"
#include "usage/usage_database.h"

#include <filesystem>

CHistoryDlg::DayHours usageDayHours(const std::filesystem::path& usageFile);
