#pragma once
// The main window's keyboard: F10 opens the menu bar's first menu, as on other desktop
// programs; Alt with a letter is a menu mnemonic or nothing, never text typed into the profile
// selector; Return and Escape, which would end a dialog, do nothing (the window ends only by
// Exit or closing).

#include <QObject>

class QComboBox;
class QMenuBar;
class QWidget;

class WindowKeys : public QObject {
public:
    // A child of `window`, whose menu bar and profile selector these are.
    WindowKeys(QWidget* window, QMenuBar* menuBar, QComboBox* selector);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window;
};
