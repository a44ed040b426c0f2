#pragma once
// Layout of the Applications window.

#include "desktop/widgets/dialog_template.h"

constexpr int kApplicationsDialogId = 141;
constexpr int kApplicationsProfileBoxId = 1045;
constexpr int kApplicationsPeriodBoxId = 1046;
// Why every byte is System, where that is so; empty otherwise.
constexpr int kApplicationsNoticeId = 1047;
// Two tabs: the applications, the interfaces; a table each.
constexpr int kApplicationsTabsId = 1048;

const DialogTemplate& applicationsLayout(); // 141
