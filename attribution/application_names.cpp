#include "attribution/application_names.h"

#include "attribution/desktop_entry.h"

#include <cstdlib>
#include <optional>
#include <sstream>

namespace {

bool endsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool isHex(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// systemd escapes characters of unit names as \xNN ("-" in a desktop file id as \x2d).
std::string unescapeUnitName(const std::string& text)
{
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::string digits = i + 4 <= text.size() ? text.substr(i + 2, 2) : std::string();
        if (text.compare(i, 2, "\\x") == 0 && digits.size() == 2 &&
            digits.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos) {
            plain += char(std::stoi(digits, nullptr, 16));
            i += 3;
        } else {
            plain += text[i];
        }
    }
    return plain;
}

// The desktop file id of an application's unit: app-[<launcher>-]<id>-<number>.scope or
// app-[<launcher>-]<id>[@<number>].service; an unescaped "-" only ever follows the launcher.
std::optional<std::string> desktopFileIdOf(const std::string& unit)
{
    if (unit.rfind("app-", 0) != 0)
        return std::nullopt;
    std::string body;
    if (endsWith(unit, ".scope")) {
        body = unit.substr(4, unit.size() - 4 - 6);
        if (const std::size_t number = body.rfind('-'); number != std::string::npos)
            body.erase(number);
    } else if (endsWith(unit, ".service")) {
        body = unit.substr(4, unit.size() - 4 - 8);
        if (const std::size_t number = body.find('@'); number != std::string::npos)
            body.erase(number);
    } else {
        return std::nullopt;
    }
    if (const std::size_t launcher = body.find('-'); launcher != std::string::npos)
        body.erase(0, launcher + 1);
    body = unescapeUnitName(body);
    if (body.empty())
        return std::nullopt;
    return body;
}

// A container engine's scope (docker-<id>.scope, libpod-<id>.scope, cri-containerd-<id>.scope,
// crio-<id>.scope), or a container's cgroup below /docker with the cgroupfs driver: the
// id's first twelve digits, as the engines show it.
std::optional<std::string> containerIdOf(const std::string& unit, const std::string& parent)
{
    if (parent == "docker" && isHex(unit) && unit.size() >= 12)
        return unit.substr(0, 12);
    if (!endsWith(unit, ".scope"))
        return std::nullopt;
    const std::string body = unit.substr(0, unit.size() - 6);
    for (const char* engine : {"docker-", "libpod-", "cri-containerd-", "crio-"}) {
        const std::string prefix = engine;
        if (body.rfind(prefix, 0) == 0) {
            const std::string id = body.substr(prefix.size());
            if (isHex(id) && id.size() >= 12)
                return id.substr(0, 12);
        }
    }
    return std::nullopt;
}

std::optional<ApplicationName> nameByUnit(const std::string& unit, const std::string& parent)
{
    if (const std::optional<std::string> container = containerIdOf(unit, parent))
        return ApplicationName{"container " + *container, {}};
    if (unit.rfind("session-", 0) == 0 && endsWith(unit, ".scope") && unit.size() > 14)
        return ApplicationName{"Terminal session " + unit.substr(8, unit.size() - 8 - 6), {}};
    if (endsWith(unit, ".service") && unit.size() > 8)
        return ApplicationName{unescapeUnitName(unit.substr(0, unit.size() - 8)), {}};
    return std::nullopt;
}

std::vector<std::string> splitPath(const std::string& path)
{
    std::vector<std::string> parts;
    std::istringstream text(path);
    std::string part;
    while (std::getline(text, part, '/'))
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

} // namespace

std::vector<std::string> desktopDataDirectories()
{
    std::vector<std::string> directories;
    if (const char* dataHome = std::getenv("XDG_DATA_HOME"); dataHome != nullptr && *dataHome == '/')
        directories.push_back(dataHome);
    else if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/')
        directories.push_back(std::string(home) + "/.local/share");
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    std::istringstream list(dataDirs != nullptr && *dataDirs != '\0' ? dataDirs : "/usr/local/share:/usr/share");
    std::string directory;
    while (std::getline(list, directory, ':'))
        if (!directory.empty() && directory[0] == '/')
            directories.push_back(directory);
    return directories;
}

ApplicationNamer::ApplicationNamer(std::vector<std::string> directories) : dataDirectories(std::move(directories)) {}

ApplicationName ApplicationNamer::nameOf(const std::string& path)
{
    const std::vector<std::string> parts = splitPath(path);
    if (parts.empty())
        return {kSystemApplication, {}};
    for (std::size_t at = parts.size(); at-- > 0;) {
        const std::string& parent = at > 0 ? parts[at - 1] : std::string();
        if (const std::optional<std::string> fileId = desktopFileIdOf(parts[at]))
            return desktopApplication(*fileId);
        if (std::optional<ApplicationName> named = nameByUnit(parts[at], parent))
            return *named;
    }
    return {path, {}};
}

// Name and Icon of the [Desktop Entry] group of the first <dir>/applications/<id>.desktop that
// can be read; the id itself when there is none or it has no Name.
ApplicationName ApplicationNamer::desktopApplication(const std::string& fileId)
{
    if (const auto known = byDesktopFile.find(fileId); known != byDesktopFile.end())
        return known->second;
    ApplicationName application{fileId, {}};
    // An id never holds a "/" (an escaped one in a unit's name would lead out of applications/).
    if (fileId.find('/') == std::string::npos)
        for (const std::string& directory : dataDirectories)
            if (std::optional<DesktopEntry> entry = readDesktopEntry(directory + "/applications/" + fileId + ".desktop")) {
                if (!entry->name.empty())
                    application.name = std::move(entry->name);
                application.icon = std::move(entry->icon);
                break;
            }
    byDesktopFile[fileId] = application;
    return application;
}
