#pragma once
// Window layouts and menus as data. layouts/ holds one table per window; buildDialog() in
// widgets/dialog_builder.h turns a table into widgets. Every control gets its numeric id as its
// objectName, so code and tests find it with findChild<QWidget*>("1013").

#include <vector>

enum class ControlKind {
    Label,          // static text, left-aligned
    RightLabel,     // static text, right-aligned (readout values)
    GroupBox,
    BlackFrame,     // static, black frame (graph area, colour swatches)
    PushButton,
    DefaultButton,
    CheckBox,       // auto check box
    ComboDropDown,  // editable combo box (drop-down)
    ComboDropList,  // non-editable combo box (drop-down list)
    ListBox,
    Edit,           // single line, auto horizontal scroll, border
    Slider,         // horizontal, ticks on top
    TabControl,
    ReportList,     // list view in report style, with border
    Icon,
};

struct ControlSpec {
    int id;          // control id; -1 for controls that have none
    ControlKind kind;
    const char* text;
    int x, y, width, height; // dialog units
};

struct DialogTemplate {
    int id;             // layout id, e.g. 102
    const char* title;
    int width, height;  // client area, dialog units
    std::vector<ControlSpec> controls;
};

struct MenuItemSpec {
    int id;             // command id; 0 for a popup or a separator
    const char* text;   // nullptr for a separator
    std::vector<MenuItemSpec> children; // non-empty for a popup
};

struct MenuTemplate {
    int id; // menu id, e.g. 134
    std::vector<MenuItemSpec> items;
};

// Dialog units to pixels at 96 dpi with the dialog font's base units (6 x 13).
constexpr int dialogUnitsToPixelsX(int du) { return (du * 6 + 2) / 4; }
constexpr int dialogUnitsToPixelsY(int du) { return (du * 13 + 4) / 8; }
