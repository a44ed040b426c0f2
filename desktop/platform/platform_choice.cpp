#include "desktop/platform/platform_choice.h"

#include <cstdlib>

namespace {

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

} // namespace

std::optional<std::string> choosePlatform(const PlatformEnvironment& environment)
{
    if (!environment.qpaPlatform.empty())
        return std::nullopt;
    const bool waylandSession = !environment.waylandDisplay.empty() || environment.sessionType == "wayland";
    if (waylandSession && !environment.display.empty())
        return "xcb;wayland";
    return std::nullopt;
}

PlatformEnvironment currentPlatformEnvironment()
{
    return {variable("QT_QPA_PLATFORM"), variable("WAYLAND_DISPLAY"), variable("XDG_SESSION_TYPE"),
            variable("DISPLAY")};
}

void applyPlatformChoice()
{
    if (const auto platform = choosePlatform(currentPlatformEnvironment()))
        ::setenv("QT_QPA_PLATFORM", platform->c_str(), 1);
}

bool platformReportsMinimise(const std::string& platformName)
{
    return platformName.rfind("wayland", 0) != 0;
}
