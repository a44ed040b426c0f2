#pragma once
// Which Qt platform the program asks for at start. On a native Wayland session the
// compositor never tells a client that its window was minimised, so hiding to the tray on
// minimise cannot work there; through XWayland (the xcb platform) it does. So when a Wayland
// session also offers an X display, the program asks for xcb, with wayland as the fallback
// should the X server refuse the connection. A platform the user names in QT_QPA_PLATFORM is
// always kept.

#include <optional>
#include <string>

struct PlatformEnvironment {
    std::string qpaPlatform;    // QT_QPA_PLATFORM
    std::string waylandDisplay; // WAYLAND_DISPLAY
    std::string sessionType;    // XDG_SESSION_TYPE
    std::string display;        // DISPLAY
};

// The value to put into QT_QPA_PLATFORM, or nothing to leave Qt's own choice.
std::optional<std::string> choosePlatform(const PlatformEnvironment& environment);

PlatformEnvironment currentPlatformEnvironment();
// Applies choosePlatform() to this process's environment; call before QApplication exists.
void applyPlatformChoice();

// Whether the platform Qt runs on reports minimised windows (xcb, offscreen, ...); native
// Wayland does not, and the tray icon then stays shown for the whole run.
bool platformReportsMinimise(const std::string& platformName);
