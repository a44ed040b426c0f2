#include "attribution/desktop_entry.h"

#include "base/bounded_file.h"

#include <sstream>

std::optional<DesktopEntry> readDesktopEntry(const std::filesystem::path& file)
{
    std::string problem;
    const std::optional<std::string> text =
        readBoundedFile(file, {.maxBytes = kMaxDesktopFileBytes, .followLinks = true}, problem);
    if (!text)
        return std::nullopt;
    DesktopEntry entry;
    std::istringstream lines(*text);
    std::string line;
    bool inEntry = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line[0] == '[')
            inEntry = line == "[Desktop Entry]";
        else if (inEntry && line.rfind("Name=", 0) == 0 && line.size() > 5)
            entry.name = line.substr(5);
        else if (inEntry && line.rfind("Icon=", 0) == 0)
            entry.icon = line.substr(5);
    }
    return entry;
}
