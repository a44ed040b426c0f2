// The list boxes keep all four sides of their frames on scaled desktops. CTest runs this at
// QT_SCALE_FACTOR 1.25, 1.5 and 2 as well; the frames once lost sides at 1.25 and 1.5.
#include "dialog_test_support.h"
#include "profile/profile_store.h"
#include "res/history_layout.h"
#include "res/options_layouts.h"
#include "ui/history/history_dlg.h"
#include "ui/options/options_dlg.h"

#include <QAbstractScrollArea>
#include <QTabWidget>
#include <QTest>
#include <cmath>

namespace {

// The darkest grey across one edge of the widget, a device pixel either side included.
int darkestAcross(const QImage& window, QPoint edge, QPoint inward, int band)
{
    int darkest = 255;
    for (int step = -1; step <= band; ++step) {
        const QPoint at = edge + step * inward;
        if (window.rect().contains(at))
            darkest = std::min(darkest, qGray(window.pixel(at)));
    }
    return darkest;
}

void expectFourSides(QWidget* window, const QWidget* list, const char* name)
{
    QApplication::processEvents();
    const QImage image = window->grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    const int band = int(std::ceil(ratio));
    const QRect area(list->mapTo(window, QPoint(0, 0)), list->size());
    const auto device = [ratio](qreal logical) { return int(logical * ratio); };
    const int left = device(area.left()), right = device(area.right() + 1) - 1;
    const int top = device(area.top()), bottom = device(area.bottom() + 1) - 1;
    const int midX = (left + right) / 2, midY = (top + bottom) / 2;
    const struct { const char* side; QPoint edge, inward; } sides[] = {
        {"top", {midX, top}, {0, 1}}, {"bottom", {midX, bottom}, {0, -1}},
        {"left", {left, midY}, {1, 0}}, {"right", {right, midY}, {-1, 0}},
    };
    for (const auto& side : sides) // white inside, light grey outside: a frame is darker than both
        EXPECT_LT(darkestAcross(image, side.edge, side.inward, band), 215) << name << " " << side.side << " at " << ratio;
}

} // namespace

TEST(Frames, ListBoxesKeepAllFourSides)
{
    SharedProfiles shared;
    shared.profiles.push_back(makeDefaultProfile("192.0.2.10"));
    DisplaySettings settings;
    OptionsDlg options(settings, shared);
    options.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&options));
    byId<QTabWidget>(&options, kOptionsTabsId)->setCurrentIndex(1);
    expectFourSides(&options, byId<QWidget>(&options, kIpFilterListId), "IP filter list");
    expectFourSides(&options, byId<QWidget>(&options, kPortFilterListId), "port filter list");

    CHistoryDlg history(shared);
    history.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&history));
    expectFourSides(&history, byId<QWidget>(&history, kHistoryTableId), "history table");
}
