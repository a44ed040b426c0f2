#include "desktop/platform/x11_minimise_watch.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace {

std::uint32_t internAtom(xcb_connection_t* connection, const char* name)
{
    const auto cookie = xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const std::uint32_t atom = reply != nullptr ? reply->atom : 0;
    std::free(reply);
    return atom;
}

} // namespace

X11MinimiseWatch* X11MinimiseWatch::create(QWidget* window, std::function<void()> onMinimised)
{
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr)
        return nullptr;
    auto* watch = new X11MinimiseWatch(x11->connection(), window, std::move(onMinimised));
    if (watch->netWmState == 0 || watch->netWmStateHidden == 0) {
        delete watch;
        return nullptr;
    }
    QCoreApplication::instance()->installNativeEventFilter(watch);
    return watch;
}

X11MinimiseWatch::X11MinimiseWatch(xcb_connection_t* xcb, QWidget* watched, std::function<void()> callback)
    : QObject(watched), connection(xcb), window(watched), onMinimised(std::move(callback)),
      netWmState(internAtom(xcb, "_NET_WM_STATE")), netWmStateHidden(internAtom(xcb, "_NET_WM_STATE_HIDDEN"))
{
}

X11MinimiseWatch::~X11MinimiseWatch()
{
    if (auto* application = QCoreApplication::instance())
        application->removeNativeEventFilter(this);
}

std::vector<std::uint32_t> X11MinimiseWatch::readStates(std::uint32_t windowId) const
{
    const auto cookie = xcb_get_property(connection, 0, windowId, netWmState, XCB_ATOM_ATOM, 0, 1024);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr);
    if (reply == nullptr)
        return {};
    auto atoms = atomList(reply->format, reply->type, xcb_get_property_value(reply),
                          std::uint32_t(xcb_get_property_value_length(reply) / 4));
    std::free(reply);
    return atoms;
}

bool X11MinimiseWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto* change = static_cast<const xcb_property_notify_event_t*>(message);
    const WId windowId = window->internalWinId();
    if (change->atom != netWmState || windowId == 0 || change->window != windowId)
        return false;
    // The current value, not the one at the time of the event: a stale notification read
    // after a restore sees the property as it is now.
    const auto states = readStates(std::uint32_t(windowId));
    const bool hidden = std::find(states.begin(), states.end(), netWmStateHidden) != states.end();
    if (edge.minimisedBy(hidden) && window->isVisible())
        onMinimised();
    return false; // Qt reads the property too
}

void X11MinimiseWatch::clearHiddenBeforeShow()
{
    edge.reset();
    const WId windowId = window->internalWinId();
    if (windowId == 0)
        return;
    const auto states = readStates(std::uint32_t(windowId));
    const auto rest = withoutAtom(states, netWmStateHidden);
    if (rest.size() == states.size())
        return;
    // The window is withdrawn, so the client may write the property itself (EWMH).
    if (rest.empty())
        xcb_delete_property(connection, std::uint32_t(windowId), netWmState);
    else
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, std::uint32_t(windowId), netWmState,
                            XCB_ATOM_ATOM, 32, std::uint32_t(rest.size()), rest.data());
    xcb_flush(connection);
}
