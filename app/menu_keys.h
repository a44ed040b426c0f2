#pragma once
// Keyboard access to the main window's menus: F10 opens the menu bar's first menu, as on other
// desktop programs; Alt with a letter is a menu mnemonic or nothing, never text typed into the
// profile selector.

#include <QObject>

class QComboBox;
class QMenuBar;

class MenuKeys : public QObject {
public:
    // A child of the menu bar; its shortcut works anywhere in the bar's window.
    MenuKeys(QMenuBar* menuBar, QComboBox* selector);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
