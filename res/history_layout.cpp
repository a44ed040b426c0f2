#include "res/history_layout.h"

const DialogTemplate& historyLayout()
{
    using K = ControlKind;
    static const DialogTemplate layout{
        kHistoryDialogId, "Activity History", 248, 148,
        {
            {-1, K::Label, "Profile:", 7, 9, 24, 8},
            {kHistoryProfileBoxId, K::ComboDropDown, "", 39, 7, 81, 50},
            {-1, K::Label, "Size:", 7, 25, 16, 8},
            {kHistorySizeBoxId, K::ComboDropDown, "", 39, 23, 81, 56},
            {kHistoryQuotaLabelId, K::Label, "", 127, 7, 114, 36},
            {kHistoryMonthBoxId, K::ComboDropDown, "", 71, 45, 51, 95},
            {kHistoryYearBoxId, K::ComboDropDown, "", 131, 45, 48, 95},
            {kHistoryTableId, K::ReportList, "", 7, 62, 234, 79},
        }};
    return layout;
}
