#pragma once
// Turns the layout tables of layouts/ into widgets. Every control gets its numeric id as its
// objectName (controls without an id, -1, stay unnamed), and every menu action gets its
// command id, so code and tests find them with control(dialog, 1013) or findChild.

#include "desktop/widgets/dialog_template.h"

#include <QFont>
#include <QString>
#include <QWidget>

class QAction;
class QMenu;
class QMenuBar;

// The dialog font: "Liberation Sans" 8 pt, else the system's sans-serif at the same size.
QFont dialogFont();

// Sets the widget's font, title and fixed client size from the layout and creates every
// control as a direct child at its pixel position (dialog units turned into pixels). Controls
// are created in table order, so a group box listed first lies under the labels it frames.
// Buttons are not connected to anything: the window decides what id 1 (OK) and 2 (Cancel) do.
void buildDialog(QWidget* dialog, const DialogTemplate& layout);

// The control with that id, or nullptr.
QWidget* control(const QWidget* dialog, int id);

template <class T>
T* control(const QWidget* dialog, int id)
{
    return dialog->findChild<T*>(QString::number(id));
}

// A menu bar with one menu per top-level popup of the template. Each action's objectName is
// its command id; a popup's title and items keep the template's text and order.
QMenuBar* buildMenuBar(const MenuTemplate& menu, QWidget* parent);

// The template's first popup as a context menu (the way a tray or context menu is kept).
QMenu* buildPopupMenu(const MenuTemplate& menu, QWidget* parent);

// The action with that command id below `owner` (a menu bar, a menu or a window), or nullptr.
QAction* menuAction(const QObject* owner, int commandId);

// The application icon (drawn at every size the icon file holds).
QIcon applicationIcon();
