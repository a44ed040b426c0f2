// The platform asked for at start: xcb through XWayland when a Wayland session also has an
// X display, else Qt's own choice; a platform the user names always wins.
#include "desktop/platform/platform_choice.h"

#include <gtest/gtest.h>

TEST(PlatformChoice, XWaylandWhenAvailableUsersChoiceKept)
{
    struct Case {
        PlatformEnvironment environment; // QT_QPA_PLATFORM, WAYLAND_DISPLAY, XDG_SESSION_TYPE, DISPLAY
        std::optional<std::string> chosen;
    };
    const Case cases[] = {
        {{"", "wayland-0", "wayland", ":0"}, "xcb;wayland"},
        {{"", "wayland-0", "", ":1"}, "xcb;wayland"},      // compositor without a login session
        {{"", "", "wayland", ":0"}, "xcb;wayland"},        // session says Wayland, socket not exported
        {{"", "wayland-0", "wayland", ""}, std::nullopt},  // no XWayland: native Wayland, tray kept
        {{"", "", "x11", ":0"}, std::nullopt},             // an X11 session: Qt picks xcb itself
        {{"", "", "tty", ""}, std::nullopt},
        {{"wayland", "wayland-0", "wayland", ":0"}, std::nullopt}, // the user's word
        {{"offscreen", "wayland-0", "wayland", ":0"}, std::nullopt},
        {{"xcb", "", "x11", ":0"}, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto& e = c.environment;
        EXPECT_EQ(choosePlatform(e), c.chosen)
            << "QT_QPA_PLATFORM=" << e.qpaPlatform << " WAYLAND_DISPLAY=" << e.waylandDisplay
            << " XDG_SESSION_TYPE=" << e.sessionType << " DISPLAY=" << e.display;
    }
}
