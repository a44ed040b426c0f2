#pragma once
// Numeric ids of the main window's layouts, controls and commands.

constexpr int kMainDialogId = 102;
constexpr int kApplicationIconId = 130;
constexpr int kAboutDialogId = 131;
constexpr int kMainMenuId = 134;
constexpr int kTrayMenuId = 139;

constexpr int kProfileSelectorId = 1013;
constexpr int kGraphFrameId = 1037;
constexpr int kCountingNoticeId = 1039; // why the profile shown counts nothing

constexpr int kCmdOptionsGeneral = 32772;
constexpr int kCmdExit = 32773;
constexpr int kCmdAbout = 32775;
constexpr int kCmdManual = 32776;
constexpr int kCmdBandwidthActivity = 32777;
constexpr int kCmdApplications = 32778;
constexpr int kCmdTrayViewActivity = 32782;
constexpr int kCmdTrayOpen = 32783;
constexpr int kCmdTrayExit = 32784;
