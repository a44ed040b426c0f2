#pragma once
// Layouts of the Options dialog and its General and Profiles pages.

#include "desktop/widgets/dialog_template.h"

constexpr int kOptionsDialogId = 133;
constexpr int kOptionsGeneralId = 135;
constexpr int kOptionsProfileId = 136;
constexpr int kOptionsQuotasId = 140;

// Options dialog
constexpr int kOptionsOkId = 1;
constexpr int kOptionsTabsId = 1014;

// General page
constexpr int kGraphHistorySliderId = 1017;
constexpr int kRateUnitBoxId = 1018;
constexpr int kDownloadSwatchId = 1052;
constexpr int kUploadSwatchId = 1053;
constexpr int kKeepHoursEditId = 1055; // days the hours are kept

// Profiles page
constexpr int kProfileBoxId = 1021;
constexpr int kIpEntryEditId = 1022;
constexpr int kIpFilterListId = 1023;
constexpr int kAddIpEntryId = 1024;
constexpr int kRemoveIpEntryId = 1025;
constexpr int kPortEntryEditId = 1026;
constexpr int kPortFilterListId = 1027;
constexpr int kAddPortEntryId = 1028;
constexpr int kRemovePortEntryId = 1029;
constexpr int kAddressBoxId = 1030;
constexpr int kRemoveProfileId = 1035;
constexpr int kAddProfileId = 1036;
constexpr int kLanSwitchId = 1054;
constexpr int kAddressNoticeId = 1060; // says when the machine does not hold the bound address

// Quotas page
constexpr int kQuotaProfileBoxId = 1070;
constexpr int kQuotaPeriodBoxId = 1071;
constexpr int kQuotaSwitchId = 1072; // the profile has a quota for that period
constexpr int kQuotaStartDayEditId = 1073;
constexpr int kQuotaDirectionBoxId = 1074;
constexpr int kQuotaLimitEditId = 1075;
constexpr int kQuotaUnitBoxId = 1076;
constexpr int kQuotaWarnEditId = 1077;
constexpr int kQuotaNoticeId = 1078; // a quotas.json that cannot be read

const DialogTemplate& optionsLayout();        // 133
const DialogTemplate& optionsGeneralLayout(); // 135
const DialogTemplate& optionsProfileLayout(); // 136
const DialogTemplate& optionsQuotasLayout();  // 140
