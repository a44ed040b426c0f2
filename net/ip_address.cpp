#include "net/ip_address.h"

#include <arpa/inet.h>
#include <netdb.h>

IpAddress IpAddress::fromV6(const std::uint8_t* bytes)
{
    IpAddress address;
    for (int i = 0; i < 8; ++i) {
        address.high = address.high << 8 | bytes[i];
        address.low = address.low << 8 | bytes[8 + i];
    }
    return address;
}

std::optional<std::uint32_t> parseCanonicalAddress(const std::string& text)
{
    std::uint32_t value = 0;
    std::size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.')
                return std::nullopt;
            ++pos;
        }
        const std::size_t start = pos;
        unsigned number = 0;
        while (pos < text.size() && pos - start < 3 && text[pos] >= '0' && text[pos] <= '9')
            number = number * 10 + unsigned(text[pos++] - '0');
        const std::size_t digits = pos - start;
        if (digits == 0 || number > 255 || (digits > 1 && text[start] == '0'))
            return std::nullopt;
        value = value << 8 | number;
    }
    if (pos != text.size())
        return std::nullopt;
    return value;
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

std::string resolveHostName(const std::string& name)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return {};
    const std::string text = ipAddressText(
        IpAddress::fromV4(ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr)));
    freeaddrinfo(found);
    return text;
}
