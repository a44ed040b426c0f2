#include "profile/lan_pattern.h"

#include "profile/profile.h"

std::string lanPattern(const std::string& ip)
{
    const std::vector<std::string> parts = splitDotted(ip);
    if (parts.size() < 2)
        return {};
    return parts[0] + "." + parts[1] + ".*.*";
}
