#include "desktop/widgets/layouts/applications_layout.h"

const DialogTemplate& applicationsLayout()
{
    using K = ControlKind;
    static const DialogTemplate layout{
        kApplicationsDialogId, "Applications", 330, 206,
        {
            {-1, K::Label, "Profile:", 7, 9, 28, 8},
            {kApplicationsProfileBoxId, K::ComboDropList, "", 39, 7, 100, 60},
            {-1, K::Label, "Period:", 150, 9, 28, 8},
            {kApplicationsPeriodBoxId, K::ComboDropList, "", 182, 7, 100, 95},
            {kApplicationsNoticeId, K::Label, "", 7, 25, 316, 10},
            {kApplicationsTabsId, K::TabControl, "", 7, 38, 316, 161},
        }};
    return layout;
}
