#include "desktop/app/window_keys.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QShortcut>

WindowKeys::WindowKeys(QWidget* window, QMenuBar* menuBar, QComboBox* selector) : QObject(window), window(window)
{
    auto* openMenuBar = new QShortcut(QKeySequence(Qt::Key_F10), window);
    connect(openMenuBar, &QShortcut::activated, this, [menuBar] {
        if (!menuBar->actions().isEmpty())
            menuBar->setActiveAction(menuBar->actions().first());
    });
    window->installEventFilter(this);
    selector->installEventFilter(this);
    if (selector->lineEdit() != nullptr)
        selector->lineEdit()->installEventFilter(this);
}

bool WindowKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (watched == window) {
        const bool endsADialog =
            key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Escape;
        if (endsADialog)
            event->accept();
        return endsADialog;
    }
    return (key->modifiers() & Qt::AltModifier) && !key->text().isEmpty();
}
