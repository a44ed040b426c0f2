#pragma once
// One monitoring profile: bound address, ordered IP and port filters, and day totals.

#include "profile/day_clock.h"
#include "net/ip_address.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct IpFilterEntry {
    bool allow = false;
    std::string pattern;                // as given to addIpFilter, e.g. "192.168.*.*"
    std::array<std::int16_t, 4> parts{}; // -1 stands for "*"; IPv4 patterns only
    // The fixed parts as a bit mask and value over an address in host byte order, made by
    // addIpFilter from `parts`: the entry covers an address when (address & mask) == value.
    std::uint32_t mask = 0;
    std::uint32_t value = 0;
    // An IPv6 pattern: an address ("2001:db8::1") or a prefix ("2001:db8::/32"). It covers
    // the IPv6 addresses that agree with `prefixValue` under `prefixMask`, and no IPv4 address;
    // an IPv4 pattern covers no IPv6 address, but for "*.*.*.*", which covers every address.
    bool ipv6 = false;
    IpAddress prefixMask;
    IpAddress prefixValue;
};

struct PortFilterEntry {
    bool allow = false;
    std::uint16_t port = 0; // 0 matches any port
};

struct DayTotals {
    double down = 0.0; // bytes received at the profile's address that day
    double up = 0.0;   // bytes sent from it
};

struct YearHistory {
    static constexpr int kDaysPerMonth = 31;
    static constexpr int kSlots = 12 * kDaysPerMonth;
    static int slotOf(int month, int day) { return month * kDaysPerMonth + day - 1; }

    std::int32_t year = 0;
    std::array<DayTotals, kSlots> days{};
    // Made ahead of the traffic that may need it (CProfile::reserveYear). Until a slot holds
    // traffic it is no part of the history the user sees: viewers drop it from their copies.
    bool reserved = false;
    bool hasTraffic() const;
};

// Bytes of one day by local clock hour that the usage database has not taken yet: the meter
// adds here and to the day slot together; a save hands them over (monitor/usage_hours.h).
struct PendingHours {
    LocalDate date;
    int hourCount = 24;
    std::array<DayTotals, 25> hours{};
};

using AddressParts = std::array<std::int16_t, 4>;

// The profile the store creates when none of that name was loaded; it cannot be removed and
// its filters stay as made.
inline constexpr const char* kDefaultProfileName = "Default";

// Dotted text cut at runs of "." (leading and trailing dots give no empty parts).
std::vector<std::string> splitDotted(const std::string& text);
// Leading blanks, optional sign, longest run of digits; no digits reads as 0. Saturates.
long long readDecimalInteger(const std::string& text);
// An IPv4 pattern of four parts ("192.168.*.*") or an IPv6 address or prefix ("fe80::/10").
bool isValidAddressPattern(std::string text);
// The IPv6 pattern's address and prefix length (128 for an address); false for any other text.
bool parseIpv6Pattern(const std::string& text, IpAddress& address, int& prefixLength);
bool parseAddressPattern(std::string text, AddressParts& parts);
// The four parts of an address in host byte order, as parseAddressPattern would give them for
// its inet_ntoa text.
AddressParts addressParts(std::uint32_t hostOrderAddress);

class CProfile {
public:
    std::vector<IpFilterEntry> ipFilter;
    std::vector<PortFilterEntry> portFilter;
    std::string name;
    std::vector<YearHistory> history; // one entry per year, in order of creation
    std::vector<PendingHours> pendingHours; // never in the profile file

    // From the newest: the day being counted is the last one given, whatever number of earlier
    // days a failing database has left waiting.
    PendingHours* findPendingHours(const LocalDate& date)
    {
        for (auto day = pendingHours.rbegin(); day != pendingHours.rend(); ++day)
            if (day->date == date)
                return &*day;
        return nullptr;
    }
    const PendingHours* findPendingHours(const LocalDate& date) const
    {
        return const_cast<CProfile*>(this)->findPendingHours(date);
    }

    void setName(std::string value);
    std::string getName() const { return name; }
    void setIp(std::string value);
    std::string getIp() const { return ip; }
    // The bound address when `ip` is an address (IPv4 in inet_ntoa form). A packet address is
    // only ever equal to the text of such an address, so other texts never count a packet.
    std::optional<IpAddress> boundAddress() const { return boundAddressValue; }
    // The Default profile counts the traffic of every address the machine holds, whatever
    // its `ip` says (kept in its file as it was); every other profile that of its bound address.
    bool countsEveryAddress() const { return isDefault; }

    bool addIpFilter(std::string pattern, bool allow);
    bool removeIpFilter(std::string pattern);
    std::string ipFilterPattern(std::size_t index) const;
    bool addPortFilter(bool allow, long long port);
    bool removePortFilter(std::uint16_t port);

    bool matchIpFilter(std::string addressText) const;
    bool matchIpFilter(const AddressParts& address) const;
    bool matchIpFilter(std::uint32_t hostOrderAddress) const;
    bool matchIpFilter(const IpAddress& address) const; // the per-packet path
    bool matchPortFilter(std::uint16_t port) const;

    // Reads the profile file at `path` over this profile; writes "<directory>/<name>.xml".
    // Both are defined with the file format (profile_file.cpp).
    bool load(const std::string& path);
    bool save(const std::string& directory) const;

    // Adds to today's slot, today read from the system clock.
    void addToDayHistory(long long bytes, bool isDownload);
    void addToDayHistory(long long bytes, bool isDownload, const LocalDate& date);
    // The year record for `year`, appended at the end when missing.
    YearHistory& yearRecord(int year);
    // Appends a reserved record for `year` when there is none, so traffic of that year finds
    // its record without changing the list of years.
    void reserveYear(int year);
    // Removes the reserved records that never received traffic: the history as the user knows it.
    void dropUnusedReservations();
    // The year record for `year` or null; never appends.
    YearHistory* findYear(int year);
    const YearHistory* findYear(int year) const;

private:
    std::string ip;
    std::optional<IpAddress> boundAddressValue;
    bool isDefault = false;
};
