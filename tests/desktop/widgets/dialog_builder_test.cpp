// The layout builder: positions in pixels, ids as object names, kinds, menus.
#include "desktop/widgets/dialog_builder.h"
#include "desktop/widgets/layouts/main_layouts.h"

#include <QAction>
#include <QComboBox>
#include <QFontInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>

TEST(DialogBuilder, MainLayoutIsPlacedInPixels)
{
    QWidget dialog;
    buildDialog(&dialog, mainDialogLayout());
    EXPECT_EQ(dialog.size(), QSize(401, 302));
    EXPECT_EQ(dialog.windowTitle(), "Velmora");

    QWidget* graph = control(&dialog, 1037);
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(graph->geometry(), QRect(11, 187, 380, 104));
    EXPECT_NE(qobject_cast<QFrame*>(graph), nullptr);

    auto* selector = control<QComboBox>(&dialog, 1013);
    ASSERT_NE(selector, nullptr);
    EXPECT_FALSE(selector->isEditable()); // a choice among the profiles
    EXPECT_EQ(selector->pos(), QPoint(11, 11));
    EXPECT_LE(selector->height(), dialogUnitsToPixelsY(59)); // the box, not its list
}

TEST(DialogBuilder, ReadoutControlsCarryTheirIdsAndTexts)
{
    QWidget dialog;
    buildDialog(&dialog, mainDialogLayout());
    struct Case { int id; QString text; QPoint position; Qt::Alignment horizontal; };
    const Case cases[] = {
        {1001, "", {84, 62}, Qt::AlignRight}, {1012, "", {278, 150}, Qt::AlignRight},
        {1007, "KB/s", {152, 62}, Qt::AlignLeft}, {1034, "KB/s", {345, 150}, Qt::AlignLeft},
    };
    for (const Case& c : cases) {
        auto* label = control<QLabel>(&dialog, c.id);
        ASSERT_NE(label, nullptr) << c.id;
        EXPECT_EQ(label->text(), c.text) << c.id;
        EXPECT_EQ(label->pos(), c.position) << c.id;
        EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, c.horizontal) << c.id;
    }
    // A one-line text is never cut off, even where the table's box is narrower than the font.
    auto* unit = control<QLabel>(&dialog, 1034);
    EXPECT_FALSE(unit->wordWrap());
    EXPECT_GE(unit->width(), unit->fontMetrics().horizontalAdvance("MB/s"));
    EXPECT_LE(unit->geometry().right(), dialog.width());
    int groups = 0;
    for (QGroupBox* box : dialog.findChildren<QGroupBox*>())
        groups += box->objectName().isEmpty() ? 1 : 0;
    EXPECT_EQ(groups, 4);
}

TEST(DialogBuilder, DialogFontIsFound)
{
    const QFontInfo info(dialogFont());
    EXPECT_EQ(info.pointSize(), 8);
    EXPECT_EQ(info.family(), "Liberation Sans");
}

TEST(DialogBuilder, AboutBoxHasIconAndDefaultOk)
{
    QWidget dialog;
    buildDialog(&dialog, aboutLayout());
    EXPECT_EQ(dialog.size(), QSize(348, 107));
    auto* ok = control<QPushButton>(&dialog, 1);
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(ok->geometry(), QRect(263, 11, 75, 23));
    EXPECT_FALSE(applicationIcon().isNull());
}

TEST(DialogBuilder, MenusKeepOrderTextsAndCommandIds)
{
    QWidget owner;
    QMenuBar* bar = buildMenuBar(mainMenu(), &owner);
    QStringList titles;
    for (QAction* action : bar->actions())
        titles << action->text();
    EXPECT_EQ(titles, QStringList({"&File", "&View", "&Options", "&Help"}));
    QMenu* help = bar->actions().at(3)->menu();
    ASSERT_NE(help, nullptr);
    ASSERT_EQ(help->actions().size(), 3);
    EXPECT_EQ(help->actions().at(0)->objectName(), "32776");
    EXPECT_TRUE(help->actions().at(1)->isSeparator());
    EXPECT_EQ(help->actions().at(2)->text(), "&About");
    EXPECT_EQ(menuAction(bar, 32772)->text(), "&General");

    QMenu* tray = buildPopupMenu(trayMenu(), &owner);
    QStringList items;
    for (QAction* action : tray->actions())
        items << (action->isSeparator() ? "-" : action->objectName() + " " + action->text());
    EXPECT_EQ(items, QStringList({"32783 &Open", "32782 &View Activity", "-", "32784 E&xit"}));
}
