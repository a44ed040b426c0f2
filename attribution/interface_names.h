#pragma once
// Interfaces as the system names them, with their hardware address: an interface made later
// under the same name (another USB adapter plugged in as eth1) is kept apart by it.

#include <string>
#include <unordered_map>

struct InterfaceName {
    std::string name;     // "eth0", "wlp2s0"; "interface 7" when it is gone; "" for index 0
    std::string hardware; // "52:54:00:12:34:56"; empty for interfaces without one (tun, WireGuard)
    bool operator==(const InterfaceName&) const = default;
};

class InterfaceNamer {
public:
    // The interface of `index` in the calling thread's network namespace. Remembered; asked
    // again when the index now carries another name (the index of a removed interface is
    // not reused until the counter wraps, but a rename keeps it).
    InterfaceName nameOf(int index);

private:
    std::unordered_map<int, InterfaceName> known;
};
