// The list boxes keep all four sides of their frames on scaled desktops. CTest runs this at
// QT_SCALE_FACTOR 1.25, 1.5 and 2 as well; the frames once lost sides at 1.25 and 1.5.
#include "dialog_test_support.h"
#include "profile/profile_store.h"
#include "desktop/widgets/layouts/history_layout.h"
#include "desktop/widgets/layouts/options_layouts.h"
#include "desktop/ui/history/history_dlg.h"
#include "desktop/ui/options/options_dlg.h"

#include <QTabWidget>
#include <QTest>
#include <cmath>

namespace {

// Across the middle of each side, from a device pixel outside to the inside of the border:
// the frame is darker than both the window around it (239) and the white inside.
void expectFourSides(QWidget* window, int listId)
{
    QApplication::processEvents();
    const QImage image = window->grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    const QWidget* list = byId<QWidget>(window, listId);
    const QRect area(list->mapTo(window, QPoint(0, 0)), list->size());
    const QPoint topLeft = (QPointF(area.topLeft()) * ratio).toPoint();
    const QPoint bottomRight = (QPointF(area.bottomRight() + QPoint(1, 1)) * ratio).toPoint() - QPoint(1, 1);
    const QPoint middle = (topLeft + bottomRight) / 2;
    const QPoint starts[] = {{middle.x(), topLeft.y()}, {middle.x(), bottomRight.y()},
                             {topLeft.x(), middle.y()}, {bottomRight.x(), middle.y()}};
    const QPoint inward[] = {{0, 1}, {0, -1}, {1, 0}, {-1, 0}};
    for (int side = 0; side < 4; ++side) {
        int darkest = 255;
        for (int step = -1; step <= int(std::ceil(ratio)); ++step)
            darkest = std::min(darkest, qGray(image.pixel(starts[side] + step * inward[side])));
        EXPECT_LT(darkest, 215) << "control " << listId << ", side " << side << ", scale " << ratio;
    }
}

} // namespace

TEST(Frames, ListBoxesKeepAllFourSides)
{
    SharedProfiles shared;
    shared.profiles.push_back(makeDefaultProfile("192.0.2.10"));
    DisplaySettings settings;
    OptionsDlg options(settings, ProfileEditor(shared));
    options.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&options));
    byId<QTabWidget>(&options, kOptionsTabsId)->setCurrentIndex(1);
    expectFourSides(&options, kIpFilterListId);
    expectFourSides(&options, kPortFilterListId);

    const SharedProfileSource source(shared);

    CHistoryDlg history(source);
    history.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&history));
    expectFourSides(&history, kHistoryTableId);
}
