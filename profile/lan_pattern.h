#pragma once

#include <string>

// The pattern that covers a profile's local network: the first two parts of its bound address,
// each followed by ".", then "*.*" (192.168.1.20 gives "192.168.*.*"). An address with fewer
// than two dotted parts has no LAN pattern: the result is empty. The "Monitor LAN Packets"
// switch and the page's display of it both use this one function, so they always agree.
std::string lanPattern(const std::string& ip);
