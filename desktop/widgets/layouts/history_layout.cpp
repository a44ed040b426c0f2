#include "desktop/widgets/layouts/history_layout.h"

const DialogTemplate& historyLayout()
{
    using K = ControlKind;
    static const DialogTemplate layout{
        kHistoryDialogId, "Activity History", 450, 148,
        {
            {-1, K::Label, "Profile:", 7, 9, 24, 8},
            {kHistoryProfileBoxId, K::ComboDropDown, "", 39, 7, 81, 50},
            {-1, K::Label, "Size:", 7, 25, 16, 8},
            {kHistorySizeBoxId, K::ComboDropDown, "", 39, 23, 81, 56},
            {-1, K::Label, "Month:", 134, 9, 24, 8},
            {kHistoryMonthBoxId, K::ComboDropDown, "", 160, 7, 81, 95},
            {-1, K::Label, "Year:", 134, 25, 24, 8},
            {kHistoryYearBoxId, K::ComboDropDown, "", 160, 23, 81, 95},
            // A line per quota, the whole width: its text is not cut or wrapped at any scale.
            {kHistoryQuotaLabelId, K::Label, "", 7, 41, 234, 18},
            {kHistoryTableId, K::ReportList, "", 7, 62, 262, 79},
            {kHistoryChartId, K::BlackFrame, "", 277, 7, 166, 134},
        }};
    return layout;
}
