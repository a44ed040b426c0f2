// Keyboard access to the menus: one mnemonic per item, unique within its menu; Alt+letter
// and F10 open the menus and never type into the profile selector.
#include "desktop/widgets/dialog_builder.h"
#include "desktop/app/main_dlg.h"
#include "desktop/widgets/layouts/main_layouts.h"

#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <set>
#include <string>

namespace {

// The letter after the single '&' of a menu text; 0 when there is none or more than one.
char mnemonicOf(const std::string& text)
{
    const auto at = text.find('&');
    if (at == std::string::npos || at + 1 >= text.size() || text.find('&', at + 1) != std::string::npos)
        return 0;
    return char(std::tolower(static_cast<unsigned char>(text[at + 1])));
}

void expectMnemonicsUnique(const std::vector<MenuItemSpec>& items, const std::string& where)
{
    std::set<char> used;
    for (const MenuItemSpec& item : items) {
        if (item.text == nullptr)
            continue; // separator
        const char letter = mnemonicOf(item.text);
        EXPECT_NE(letter, 0) << where << ": " << item.text;
        EXPECT_TRUE(used.insert(letter).second) << where << ": " << item.text << " repeats '" << letter << "'";
        if (!item.children.empty())
            expectMnemonicsUnique(item.children, where + " > " + item.text);
    }
}

MainDlgOptions quietOptions(const QTemporaryDir& temp)
{
    MainDlgOptions options;
    options.profileDirectory = std::filesystem::path(temp.path().toStdString()) / "profiles";
    options.startWorkers = false;
    return options;
}

} // namespace

TEST(MenuMnemonics, EveryItemHasOneUniqueInItsMenu)
{
    expectMnemonicsUnique(mainMenu().items, "main menu");
    expectMnemonicsUnique(trayMenu().items, "tray menu");
}

TEST(MainDlgKeys, AltLetterAndF10OpenMenusNotTheSelector)
{
    QTemporaryDir temp;
    CMainDlg window(quietOptions(temp));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto* selector = control<QComboBox>(&window, 1013);
    selector->setFocus();
    const QString before = selector->currentText();
    auto* bar = window.findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);

    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int menuOpened; // index in the menu bar, -1 for none
    };
    const Case cases[] = {
        {Qt::Key_F, Qt::AltModifier, 0},
        {Qt::Key_H, Qt::AltModifier, 3},
        {Qt::Key_F10, Qt::NoModifier, 0},
        {Qt::Key_Z, Qt::AltModifier, -1}, // no menu has it: nothing happens
    };
    for (const Case& c : cases) {
        QTest::keyClick(selector, c.key, c.modifiers);
        QWidget* popup = QApplication::activePopupWidget();
        if (c.menuOpened < 0)
            EXPECT_EQ(popup, nullptr) << c.key;
        else
            EXPECT_EQ(popup, bar->actions().at(c.menuOpened)->menu()) << c.key;
        if (popup != nullptr)
            popup->close();
        bar->setActiveAction(nullptr);
        EXPECT_EQ(selector->currentText(), before) << c.key;
        selector->setFocus();
    }
}
