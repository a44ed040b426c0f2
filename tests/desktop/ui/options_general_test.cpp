#include "dialog_test_support.h"
#include "profile/profile_list.h"
#include "desktop/widgets/layouts/options_layouts.h"
#include "desktop/ui/options/options_dlg.h"
#include "desktop/ui/options/options_general.h"

#include <QColorDialog>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

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
        const char* keepHours; // typed in the field; a refused one keeps the days before
        int keptDays;
    } cases[] = {{2, 6, 1000000, 60, "30", 30}, {0, 0, 1, 0, "0", 30}, {3, 1, 1000000000, 10, " 1000 ", 1000},
                 {3, 1, 1000000000, 10, "12x", 1000}};
    for (const auto& c : cases) {
        open();
        EXPECT_EQ(byId<QLineEdit>(&dialog, kKeepHoursEditId)->text().toInt(), settings.keepHoursDays.load());
        unitBox->setCurrentIndex(c.unit);
        slider->setValue(c.position);
        byId<QLineEdit>(&dialog, kKeepHoursEditId)->setText(c.keepHours);
        QTest::mouseClick(byId<QWidget>(&dialog, kOptionsOkId), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(settings.unitDivisor.load(), c.divisor);
        EXPECT_EQ(settings.historyLength.load(), c.length);
        EXPECT_EQ(settings.keepHoursDays.load(), c.keptDays) << c.keepHours;
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

// The swatches show the graph's colours as the graph lays them; a click on one chooses another.
TEST_F(GeneralPageTest, SwatchesShowTheGraphColoursAndAClickChoosesOne)
{
    settings.uploadColour = 0x123456;
    open();
    EXPECT_FALSE(unitBox->isEditable()) << "a choice among the units only";
    const auto expectShown = [&](int id, QColor colour) {
        const QImage page = tabs->widget(0)->grab().toImage();
        const QWidget* frame = byId<QWidget>(&dialog, id);
        const QPoint centre = frame->geometry().center();
        const QColor seen = page.pixelColor(centre);
        // What lies beside the swatch is what lies beneath it.
        const QColor background = page.pixelColor(frame->geometry().right() + 4, centre.y());
        const auto blend = [](int over, int under) { return (over * 128 + under * 127) / 255; };
        EXPECT_NEAR(seen.red(), blend(colour.red(), background.red()), 2) << id;
        EXPECT_NEAR(seen.green(), blend(colour.green(), background.green()), 2) << id;
        EXPECT_NEAR(seen.blue(), blend(colour.blue(), background.blue()), 2) << id;
    };
    expectShown(kDownloadSwatchId, QColor(0, 200, 100));
    expectShown(kUploadSwatchId, QColor(0x12, 0x34, 0x56));

    bool chosen = false;
    QTimer::singleShot(0, [&] {
        auto* picker = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(picker, nullptr);
        picker->setCurrentColor(QColor(200, 0, 0));
        picker->accept();
        chosen = true;
    });
    auto* swatch = byId<QWidget>(&dialog, kDownloadSwatchId)->findChild<QWidget*>();
    QTest::mouseClick(swatch, Qt::LeftButton, {}, swatch->rect().center());
    ASSERT_TRUE(chosen);
    expectShown(kDownloadSwatchId, QColor(200, 0, 0));
    QTest::mouseClick(byId<QWidget>(&dialog, kOptionsOkId), Qt::LeftButton);
    EXPECT_EQ(settings.downloadColour.load(), 0xC80000u);
    EXPECT_EQ(settings.uploadColour.load(), 0x123456u);
}
