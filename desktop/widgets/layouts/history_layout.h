#pragma once
// Layout of the Activity History window.

#include "desktop/widgets/dialog_template.h"

constexpr int kHistoryDialogId = 138;
constexpr int kHistoryProfileBoxId = 1036;
constexpr int kHistoryTableId = 1038;
constexpr int kHistoryYearBoxId = 1040;
constexpr int kHistoryMonthBoxId = 1041;
constexpr int kHistorySizeBoxId = 1042;
// The shown profile's quotas: the current period's use of each, a line each.
constexpr int kHistoryQuotaLabelId = 1043;
// The chart beside the table: what the table shows, as bars.
constexpr int kHistoryChartId = 1044;

const DialogTemplate& historyLayout(); // 138
