#pragma once

#include <string>
#include <vector>

// The pattern that covers a profile's local network: the first two parts of its bound address,
// each followed by ".", then "*.*" (192.168.1.20 gives "192.168.*.*"). An address with fewer
// than two dotted parts has no LAN pattern: the result is empty. The "Monitor LAN Packets"
// switch and the page's display of it both use this one function, so they always agree.
std::string lanPattern(const std::string& ip);

// The deny entries the switch adds and removes, the first one deciding its state: the LAN
// pattern of an IPv4 address, then the IPv6 link-local and unique local ranges ("fe80::/10",
// "fc00::/7"); for an IPv6 address those two alone. Empty for an address of neither form.
std::vector<std::string> lanPatterns(const std::string& ip);
