#include "dialog_test_support.h"
#include "profile/profile_list.h"
#include "res/options_layouts.h"
#include "ui/options/options_dlg.h"
#include "ui/options/options_general.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

namespace {

struct GeneralPageTest : testing::Test {
    void SetUp() override
    {
        shared.profiles.resize(1);
        shared.profiles[0].setName("Default");
    }

    void open()
    {
        dialog.show();
        tabs = byId<QTabWidget>(&dialog, kOptionsTabsId);
        unitBox = byId<QComboBox>(&dialog, kRateUnitBoxId);
        slider = byId<QSlider>(&dialog, kGraphHistorySliderId);
    }

    DisplaySettings settings;
    SharedProfiles shared;
    OptionsDlg dialog{settings, ProfileEditor(shared)};
    QTabWidget* tabs = nullptr;
    QComboBox* unitBox = nullptr;
    QSlider* slider = nullptr;
};

} // namespace

TEST_F(GeneralPageTest, OkWritesUnitAndHistoryLength)
{
    const struct {
        int unit, position;
        std::uint32_t divisor, length;
    } cases[] = {{2, 6, 1000000, 60}, {0, 0, 1, 0}, {3, 1, 1000000000, 10}};
    for (const auto& c : cases) {
        open();
        unitBox->setCurrentIndex(c.unit);
        slider->setValue(c.position);
        QTest::mouseClick(byId<QWidget>(&dialog, kOptionsOkId), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(settings.unitDivisor.load(), c.divisor);
        EXPECT_EQ(settings.historyLength.load(), c.length);
    }
}

TEST_F(GeneralPageTest, CloseBoxAndEscapeChangeNothing)
{
    open();
    unitBox->setCurrentIndex(3);
    slider->setValue(1);
    dialog.close();
    open();
    unitBox->setCurrentIndex(0);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(settings.unitDivisor.load(), 1000u);
    EXPECT_EQ(settings.historyLength.load(), 30u);
    // The next opening shows the settings, not what was chosen before closing.
    open();
    EXPECT_EQ(unitBox->currentText(), "KB/s");
    EXPECT_EQ(slider->value(), 3);
}

TEST_F(GeneralPageTest, UnknownDivisorLeavesTheListUnselectedAndKeepsIt)
{
    settings.unitDivisor = 1024;
    settings.historyLength = 45;
    open();
    EXPECT_EQ(unitBox->currentIndex(), -1);
    EXPECT_EQ(slider->value(), 4);
    QTest::mouseClick(byId<QWidget>(&dialog, kOptionsOkId), Qt::LeftButton);
    EXPECT_EQ(settings.unitDivisor.load(), 1024u);
    EXPECT_EQ(settings.historyLength.load(), 40u);
}

TEST_F(GeneralPageTest, SwitchingTabsKeepsWhatWasChosenOrTyped)
{
    open();
    EXPECT_EQ(tabs->currentIndex(), 0) << "opens on General";
    unitBox->setCurrentIndex(2);
    tabs->setCurrentIndex(1);
    auto* portEdit = byId<QLineEdit>(&dialog, kPortEntryEditId);
    QTest::keyClicks(portEdit, "8080");
    tabs->setCurrentIndex(0);
    EXPECT_TRUE(unitBox->isVisible());
    EXPECT_FALSE(portEdit->isVisible());
    tabs->setCurrentIndex(1);
    EXPECT_EQ(portEdit->text(), "8080");
    EXPECT_EQ(unitBox->currentText(), "MB/s");
}

TEST_F(GeneralPageTest, SwatchesShowTheGraphColoursBlendedAtHalfAlpha)
{
    open();
    const QImage page = tabs->widget(0)->grab().toImage();
    const struct {
        int id;
        QColor colour;
    } swatches[] = {{kDownloadSwatchId, QColor(0, 200, 100)}, {kUploadSwatchId, QColor(0, 100, 200)}};
    for (const auto& swatch : swatches) {
        const QWidget* frame = byId<QWidget>(&dialog, swatch.id);
        const QPoint centre = frame->geometry().center();
        const QColor seen = page.pixelColor(centre);
        // What lies beside the swatch is what lies beneath it.
        const QColor background = page.pixelColor(frame->geometry().right() + 4, centre.y());
        const auto blend = [](int over, int under) { return (over * 128 + under * 127) / 255; };
        EXPECT_NEAR(seen.red(), blend(swatch.colour.red(), background.red()), 2);
        EXPECT_NEAR(seen.green(), blend(swatch.colour.green(), background.green()), 2);
        EXPECT_NEAR(seen.blue(), blend(swatch.colour.blue(), background.blue()), 2);
    }
}
