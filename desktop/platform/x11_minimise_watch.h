#pragma once
// Sees a minimise that only _NET_WM_STATE_HIDDEN reports (KWin on X11 leaves WM_STATE Normal
// and the window mapped, so Qt never reports Qt::WindowMinimized). It reads the property
// whenever the X server says it changed on the watched window, through Qt's native event
// hook, and calls back when HIDDEN appears.

#include "desktop/platform/net_wm_state.h"

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>
#include <functional>

class QWidget;
struct xcb_connection_t;

class X11MinimiseWatch : public QObject, public QAbstractNativeEventFilter {
public:
    // A child of `window`; null when the application does not run on the xcb platform.
    static X11MinimiseWatch* create(QWidget* window, std::function<void()> onMinimised);
    ~X11MinimiseWatch() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // Call while the window is hidden, just before it is shown again: a window manager may
    // leave HIDDEN on a withdrawn window, and mapping it with HIDDEN would minimise it at once.
    void clearHiddenBeforeShow();

private:
    X11MinimiseWatch(xcb_connection_t* connection, QWidget* window, std::function<void()> onMinimised);
    std::vector<std::uint32_t> readStates(std::uint32_t windowId) const;

    xcb_connection_t* connection;
    QWidget* window;
    std::function<void()> onMinimised;
    std::uint32_t netWmState = 0;
    std::uint32_t netWmStateHidden = 0;
    HiddenStateEdge edge;
};
