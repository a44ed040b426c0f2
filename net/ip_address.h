#pragma once
// An IPv4 or IPv6 address as one 128-bit value. IPv4 addresses sit in the IPv4-mapped range
// ::ffff:0:0/96 (RFC 4291, 2.5.5.2), so one comparison serves both families and an IPv4
// address never equals an IPv6 one.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>

struct IpAddress {
    std::uint64_t high = 0; // the first 8 bytes, big-endian
    std::uint64_t low = 0;  // the last 8 bytes

    static constexpr IpAddress fromV4(std::uint32_t hostOrder) { return {0, 0xffff00000000ull | hostOrder}; }
    // `bytes`: 16 bytes in network order.
    static IpAddress fromV6(const std::uint8_t* bytes);

    constexpr bool isV4() const { return high == 0 && (low >> 32) == 0xffff; }
    constexpr std::uint32_t v4() const { return std::uint32_t(low); }

    friend constexpr auto operator<=>(const IpAddress&, const IpAddress&) = default;
};

// The address when the text is exactly what inet_ntoa writes for it (no leading zeros).
std::optional<std::uint32_t> parseCanonicalAddress(const std::string& text);
// IPv4 only in the form inet_ntoa writes (no leading zeros: "192.0.2.1"), IPv6 in any form
// inet_pton(3) takes ("2001:db8::1"); anything else is no address.
std::optional<IpAddress> parseIpAddress(const std::string& text);
// inet_ntop(3)'s text: dotted for IPv4, RFC 5952 for IPv6.
std::string ipAddressText(const IpAddress& address);
// The first IPv4 address of a host name (getaddrinfo(3): the hosts file, then the resolver),
// as dotted text; empty when the name is unknown or no lookup could be made.
std::string resolveHostName(const std::string& name);
