#include "desktop/widgets/layouts/options_layouts.h"

using K = ControlKind;

const DialogTemplate& optionsLayout()
{
    static const DialogTemplate layout{
        kOptionsDialogId, "Options", 287, 182,
        {
            {kOptionsOkId, K::DefaultButton, "OK", 230, 19, 50, 14},
            {kOptionsTabsId, K::TabControl, "", 7, 7, 217, 168},
        }};
    return layout;
}

const DialogTemplate& optionsGeneralLayout()
{
    static const DialogTemplate layout{
        kOptionsGeneralId, nullptr, 195, 150,
        {
            {-1, K::GroupBox, "Interface", 7, 7, 181, 109},
            {-1, K::Label, "Data Rate:", 15, 21, 36, 8},
            {kRateUnitBoxId, K::ComboDropList, "", 61, 19, 48, 109},
            {-1, K::GroupBox, "Graph", 15, 39, 163, 70},
            {-1, K::Label, "Download Rate:", 23, 53, 52, 8},
            {kDownloadSwatchId, K::BlackFrame, "", 82, 52, 29, 9},
            {-1, K::Label, "Upload Rate:", 23, 68, 43, 8},
            {kUploadSwatchId, K::BlackFrame, "", 82, 67, 29, 9},
            {-1, K::Label, "0", 82, 82, 8, 8},
            {-1, K::Label, "60", 164, 82, 9, 8},
            {-1, K::Label, "Graph History:", 23, 93, 48, 8},
            {kGraphHistorySliderId, K::Slider, "", 77, 90, 97, 11},
            {-1, K::GroupBox, "History", 7, 118, 181, 27},
            {-1, K::Label, "Keep Hours For:", 15, 130, 52, 8},
            {kKeepHoursEditId, K::Edit, "", 72, 128, 36, 12},
            {-1, K::Label, "days", 112, 130, 20, 8},
        }};
    return layout;
}

const DialogTemplate& optionsProfileLayout()
{
    static const DialogTemplate layout{
        kOptionsProfileId, nullptr, 199, 155,
        {
            {-1, K::Label, "Profile:", 7, 9, 24, 8},
            {kProfileBoxId, K::ComboDropDown, "", 37, 7, 81, 121},
            {kAddProfileId, K::PushButton, "Add", 122, 8, 33, 10},
            {kRemoveProfileId, K::PushButton, "Remove", 159, 8, 33, 10},
            {-1, K::Label, "IP:", 7, 25, 10, 8},
            // Wide enough for a whole IPv6 address (eight groups of four digits).
            {kAddressBoxId, K::ComboDropDown, "", 37, 23, 155, 105},
            {kLanSwitchId, K::CheckBox, "Monitor LAN Packets", 37, 40, 81, 10},
            {kAddressNoticeId, K::Label, "", 122, 41, 70, 8},
            {-1, K::GroupBox, "IP Filter", 7, 55, 185, 43},
            {kIpEntryEditId, K::Edit, "", 14, 65, 81, 14},
            {kAddIpEntryId, K::PushButton, "Add", 14, 81, 33, 11},
            {kRemoveIpEntryId, K::PushButton, "Remove", 69, 81, 33, 11},
            {kIpFilterListId, K::ListBox, "", 107, 63, 80, 30},
            {-1, K::GroupBox, "Port Filter", 7, 105, 185, 43},
            {kPortEntryEditId, K::Edit, "", 14, 114, 38, 14},
            {kAddPortEntryId, K::PushButton, "Add", 14, 132, 33, 11},
            {kRemovePortEntryId, K::PushButton, "Remove", 69, 132, 33, 11},
            {kPortFilterListId, K::ListBox, "", 107, 113, 80, 30},
        }};
    return layout;
}

const DialogTemplate& optionsQuotasLayout()
{
    static const DialogTemplate layout{
        kOptionsQuotasId, nullptr, 199, 155,
        {
            {-1, K::Label, "Profile:", 7, 9, 24, 8},
            {kQuotaProfileBoxId, K::ComboDropList, "", 61, 7, 96, 121},
            {-1, K::Label, "Period:", 7, 25, 30, 8},
            {kQuotaPeriodBoxId, K::ComboDropList, "", 61, 23, 60, 50},
            {kQuotaSwitchId, K::CheckBox, "Quota for this period", 7, 41, 120, 10},
            {-1, K::Label, "Start day:", 15, 57, 40, 8},
            {kQuotaStartDayEditId, K::Edit, "", 61, 55, 30, 12},
            {-1, K::Label, "Direction:", 15, 73, 40, 8},
            {kQuotaDirectionBoxId, K::ComboDropList, "", 61, 71, 60, 50},
            {-1, K::Label, "Limit:", 15, 89, 40, 8},
            {kQuotaLimitEditId, K::Edit, "", 61, 87, 60, 12},
            {kQuotaUnitBoxId, K::ComboDropList, "", 125, 87, 32, 60},
            {-1, K::Label, "Warn at (%):", 15, 105, 44, 8},
            {kQuotaWarnEditId, K::Edit, "", 61, 103, 30, 12},
            {kQuotaNoticeId, K::Label, "", 7, 122, 185, 26},
        }};
    return layout;
}
