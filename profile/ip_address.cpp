#include "profile/ip_address.h"

#include "profile/profile.h"

#include <arpa/inet.h>

IpAddress IpAddress::fromV6(const std::uint8_t* bytes)
{
    IpAddress address;
    for (int i = 0; i < 8; ++i) {
        address.high = address.high << 8 | bytes[i];
        address.low = address.low << 8 | bytes[8 + i];
    }
    return address;
}

std::optional<IpAddress> parseIpAddress(const std::string& text)
{
    if (text.find(':') == std::string::npos) {
        const std::optional<std::uint32_t> v4 = parseCanonicalAddress(text);
        return v4 ? std::optional(IpAddress::fromV4(*v4)) : std::nullopt;
    }
    std::uint8_t bytes[16] = {};
    if (inet_pton(AF_INET6, text.c_str(), bytes) != 1)
        return std::nullopt;
    return IpAddress::fromV6(bytes);
}

std::string ipAddressText(const IpAddress& address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address.isV4()) {
        const std::uint32_t network = htonl(address.v4());
        inet_ntop(AF_INET, &network, text, sizeof text);
        return text;
    }
    std::uint8_t bytes[16];
    for (int i = 0; i < 8; ++i) {
        bytes[i] = std::uint8_t(address.high >> (56 - 8 * i));
        bytes[8 + i] = std::uint8_t(address.low >> (56 - 8 * i));
    }
    inet_ntop(AF_INET6, bytes, text, sizeof text);
    return text;
}
