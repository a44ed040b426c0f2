#include "desktop/widgets/layouts/main_layouts.h"

#include "desktop/widgets/layouts/resource_ids.h"

namespace {

using K = ControlKind;

// Columns of a readout group: caption labels, values and unit labels.
struct ReadoutColumns {
    int group, label, value, unit;
};
constexpr ReadoutColumns kLeftColumns{7, 15, 56, 101};
constexpr ReadoutColumns kRightColumns{137, 144, 185, 230};

// One group of readouts: frame, two captions, two values and two unit labels.
void addReadoutGroup(std::vector<ControlSpec>& controls, const char* caption, ReadoutColumns x,
                     int y, int downValue, int upValue, int downUnit, int upUnit)
{
    controls.push_back({-1, K::GroupBox, caption, x.group, y, 123, 41});
    controls.push_back({-1, K::Label, "Download:", x.label, y + 13, 35, 8});
    controls.push_back({-1, K::Label, "Upload:", x.label, y + 24, 26, 8});
    controls.push_back({downValue, K::RightLabel, "", x.value, y + 13, 42, 9});
    controls.push_back({upValue, K::RightLabel, "", x.value, y + 24, 42, 9});
    controls.push_back({downUnit, K::Label, "KB/s", x.unit, y + 13, 22, 8});
    controls.push_back({upUnit, K::Label, "KB/s", x.unit, y + 24, 22, 8});
}

DialogTemplate makeMainDialogLayout()
{
    DialogTemplate layout{kMainDialogId, "Velmora", 267, 186, {}};
    auto& c = layout.controls;
    c.push_back({kProfileSelectorId, K::ComboDropList, "", 7, 7, 123, 59});
    // Why the profile shown counts nothing, when it does not (the capture off, its address gone).
    c.push_back({kCountingNoticeId, K::Label, "", 137, 4, 123, 20});
    addReadoutGroup(c, "Current", kLeftColumns, 25, 1001, 1002, 1007, 1008);
    addReadoutGroup(c, "Average", kRightColumns, 25, 1003, 1004, 1031, 1032);
    addReadoutGroup(c, "Current Overhead", kLeftColumns, 68, 1005, 1006, 1009, 1010);
    addReadoutGroup(c, "Average Overhead", kRightColumns, 68, 1011, 1012, 1033, 1034);
    c.push_back({kGraphFrameId, K::BlackFrame, "", 7, 115, 253, 64});
    return layout;
}

} // namespace

const DialogTemplate& mainDialogLayout()
{
    static const DialogTemplate layout = makeMainDialogLayout();
    return layout;
}

const DialogTemplate& aboutLayout()
{
    static const DialogTemplate layout{kAboutDialogId, "Velmora v" VELMORA_VERSION, 232, 66, {
        {-1, K::Icon, "", 14, 12, 21, 20},
        {1, K::DefaultButton, "OK", 175, 7, 50, 14},
        {-1, K::Label, "Version:", 46, 7, 34, 8},
        {-1, K::Label, VELMORA_VERSION, 81, 7, 90, 8},
        {-1, K::Label, "Licence:", 46, 18, 34, 8},
        {-1, K::Label, "MIT", 81, 18, 90, 8},
        {-1, K::Label, "Purpose:", 46, 29, 34, 8},
        {-1, K::Label, "Meters this computer's traffic", 81, 29, 145, 8},
        {-1, K::Label, "Capture:", 46, 40, 34, 8},
        {2, K::Label, "", 81, 40, 145, 8}, // the packets it lost, filled in by the about box
        {-1, K::Label, "Counting:", 46, 51, 34, 8},
        {3, K::Label, "", 81, 51, 145, 8}, // the packet source, filled in by the about box
    }};
    return layout;
}

const MenuTemplate& mainMenu()
{
    static const MenuTemplate menu{kMainMenuId, {
        {0, "&File", {{kCmdExit, "E&xit", {}}}},
        {0, "&View", {{kCmdBandwidthActivity, "&Bandwidth Activity", {}}, {kCmdApplications, "&Applications...", {}}}},
        {0, "&Options", {{kCmdOptionsGeneral, "&General", {}}}},
        {0, "&Help", {{kCmdManual, "&Manual", {}}, {0, nullptr, {}}, {kCmdAbout, "&About", {}}}},
    }};
    return menu;
}

const MenuTemplate& trayMenu()
{
    static const MenuTemplate menu{kTrayMenuId, {
        {0, "&File", {
            {kCmdTrayOpen, "&Open", {}},
            {kCmdTrayViewActivity, "&View Activity", {}},
            {0, nullptr, {}},
            {kCmdTrayExit, "E&xit", {}},
        }},
    }};
    return menu;
}
