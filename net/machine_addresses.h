#pragma once
// The machine's own addresses, each with the interface that holds it, and the interfaces'
// hardware addresses: what decides which packets are the machine's traffic (own_traffic.h)
// and which interfaces are counted.

#include "net/ip_address.h"

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

using HardwareAddress = std::array<std::uint8_t, 6>; // an Ethernet (MAC) address

struct MachineAddress {
    int interfaceIndex = 0;
    IpAddress address;
    friend auto operator<=>(const MachineAddress&, const MachineAddress&) = default;
};

class MachineAddresses {
public:
    MachineAddresses() = default;
    explicit MachineAddresses(std::vector<MachineAddress> addresses,
                              std::vector<std::pair<int, HardwareAddress>> hardwareAddresses = {});

    // Whether any interface holds the address.
    bool holds(const IpAddress& address) const;
    // The interface's Ethernet address; none for an interface without one (tun, WireGuard).
    const HardwareAddress* hardwareAddress(int interfaceIndex) const;
    // The interfaces that hold at least one address, in increasing order.
    const std::vector<int>& interfaces() const { return interfaceList; }
    bool counts(int interfaceIndex) const;
    const std::vector<MachineAddress>& entries() const { return sorted; }
    bool empty() const { return sorted.empty(); }

    friend bool operator==(const MachineAddresses& a, const MachineAddresses& b)
    {
        return a.sorted == b.sorted && a.hardware == b.hardware;
    }

private:
    std::vector<MachineAddress> sorted; // by interface, then address; no repeats
    std::vector<int> interfaceList;
    std::vector<IpAddress> addressList;                   // sorted, no repeats
    std::vector<std::pair<int, HardwareAddress>> hardware; // by interface
};

// Every address of the interfaces that are up, IPv4 and IPv6 (link-local ones included), the
// loopback left out, and the interfaces' Ethernet addresses (getifaddrs(3)). Nothing when the list could not be read: the caller keeps
// what it had.
std::optional<MachineAddresses> listMachineAddresses();
