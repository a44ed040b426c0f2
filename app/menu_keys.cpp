#include "app/menu_keys.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QShortcut>

MenuKeys::MenuKeys(QMenuBar* menuBar, QComboBox* selector) : QObject(menuBar)
{
    auto* openMenuBar = new QShortcut(QKeySequence(Qt::Key_F10), menuBar->window());
    connect(openMenuBar, &QShortcut::activated, this, [menuBar] {
        if (!menuBar->actions().isEmpty())
            menuBar->setActiveAction(menuBar->actions().first());
    });
    selector->installEventFilter(this);
    if (selector->lineEdit() != nullptr)
        selector->lineEdit()->installEventFilter(this);
}

bool MenuKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->modifiers() & Qt::AltModifier) && !key->text().isEmpty())
            return true;
    }
    return QObject::eventFilter(watched, event);
}
