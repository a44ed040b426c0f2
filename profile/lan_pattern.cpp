#include "profile/lan_pattern.h"

#include "profile/profile.h"

std::string lanPattern(const std::string& ip)
{
    const std::vector<std::string> parts = splitDotted(ip);
    if (parts.size() < 2)
        return {};
    return parts[0] + "." + parts[1] + ".*.*";
}

std::vector<std::string> lanPatterns(const std::string& ip)
{
    std::vector<std::string> patterns;
    if (ip.find(':') == std::string::npos) {
        const std::string ipv4 = lanPattern(ip);
        if (ipv4.empty())
            return patterns;
        patterns.push_back(ipv4);
    }
    patterns.push_back("fe80::/10");
    patterns.push_back("fc00::/7");
    return patterns;
}
