// The Options dialog's Quotas page: the form's quotas checked as quotas.json is, refused with
// the problem, written when right, and another profile's quota kept.
#include "dialog_test_support.h"
#include "profile/profile_list.h"
#include "quota/quota_file.h"
#include "desktop/widgets/layouts/options_layouts.h"
#include "desktop/ui/options/options_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

void retype(QWidget* dialog, int id, const QString& text)
{
    auto* edit = byId<QLineEdit>(dialog, id);
    edit->clear();
    QTest::keyClicks(edit, text);
}

} // namespace

TEST(QuotasPage, RefusesWhatTheFileWouldAndWritesTheRest)
{
    QTemporaryDir temp;
    const std::filesystem::path directory = temp.path().toStdString();
    std::string problem;
    const Quota home{"Home", QuotaPeriod::Day, 1, QuotaDirection::Down, 2'000'000, 80};
    ASSERT_TRUE(writeQuotaFile(directory, {home}, problem)) << problem;

    SharedProfiles shared;
    shared.profiles.resize(2);
    shared.profiles[0].setName("Default");
    shared.profiles[1].setName("Home");
    DisplaySettings settings;
    OptionsDlg dialog(settings, ProfileEditor(shared), nullptr, directory);
    dialog.show();
    auto* tabs = byId<QTabWidget>(&dialog, kOptionsTabsId);
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(2), "Quotas");
    tabs->setCurrentIndex(2);

    // Home's day quota is shown as read, on the period it has: 2 MB, down, 80%.
    EXPECT_EQ(byId<QComboBox>(&dialog, kQuotaPeriodBoxId)->currentText(), "Month");
    byId<QComboBox>(&dialog, kQuotaProfileBoxId)->setCurrentIndex(1);
    EXPECT_EQ(byId<QComboBox>(&dialog, kQuotaPeriodBoxId)->currentText(), "Day");
    EXPECT_TRUE(byId<QCheckBox>(&dialog, kQuotaSwitchId)->isChecked());
    EXPECT_EQ(byId<QLineEdit>(&dialog, kQuotaLimitEditId)->text(), "2");
    EXPECT_EQ(byId<QComboBox>(&dialog, kQuotaUnitBoxId)->currentText(), "MB");
    EXPECT_EQ(byId<QComboBox>(&dialog, kQuotaDirectionBoxId)->currentText(), "Down");
    EXPECT_EQ(byId<QLineEdit>(&dialog, kQuotaWarnEditId)->text(), "80");

    // Default: a month quota from the 15th, 50 GB, warned at 100%: refused.
    byId<QComboBox>(&dialog, kQuotaProfileBoxId)->setCurrentIndex(0);
    byId<QComboBox>(&dialog, kQuotaPeriodBoxId)->setCurrentIndex(1);
    EXPECT_FALSE(byId<QCheckBox>(&dialog, kQuotaSwitchId)->isChecked());
    byId<QCheckBox>(&dialog, kQuotaSwitchId)->setChecked(true);
    retype(&dialog, kQuotaStartDayEditId, "15");
    retype(&dialog, kQuotaLimitEditId, "50");
    byId<QComboBox>(&dialog, kQuotaUnitBoxId)->setCurrentIndex(3);
    retype(&dialog, kQuotaWarnEditId, "100");
    {
        MessageBoxAnswerer boxes;
        byId<QPushButton>(&dialog, kOptionsOkId)->click();
        boxes.expectError("quotas[1].warn_percent: 100 is not from 1 to 99");
    }
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(readQuotaFile(directory).quotas, std::vector<Quota>{home}); // untouched

    // Mended: written, Home's quota kept.
    retype(&dialog, kQuotaWarnEditId, "90");
    {
        MessageBoxAnswerer boxes;
        byId<QPushButton>(&dialog, kOptionsOkId)->click();
        boxes.expectNone();
    }
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialog.quotasSaved());
    const QuotaFileRead read = readQuotaFile(directory);
    EXPECT_EQ(read.problem, "");
    const Quota monthly{"Default", QuotaPeriod::Month, 15, QuotaDirection::Total, 50'000'000'000ULL, 90};
    EXPECT_EQ(read.quotas, (std::vector<Quota>{home, monthly}));
}
