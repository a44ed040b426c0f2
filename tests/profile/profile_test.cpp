#include "profile/profile.h"
#include "profile/profile_list.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <string>
#include <utility>
#include <vector>

namespace {

struct IpEntry {
    const char* pattern;
    bool allow;
};

CProfile withIpFilter(const std::vector<IpEntry>& entries)
{
    CProfile profile;
    for (const IpEntry& e : entries)
        EXPECT_TRUE(profile.addIpFilter(e.pattern, e.allow)) << e.pattern;
    return profile;
}

TEST(AddressPattern, ValidityFollowsTheDottedRules)
{
    const std::vector<std::pair<std::string, bool>> cases = {
        {"1.2.3.4", true},      {"*.*.*.*", true},    {"1..2.3.4", true},  {"01.2.3.4", true},
        {".1.2.3.4.", true},    {"255.255.255.255", true}, {"192.168.*.*", true},
        {"1.2.3", false},       {"1.2.3.4.5", false}, {"256.1.1.1", false}, {"1.2.3.x", false},
        {"1234.1.1.1", false},  {"**.1.1.1", false},  {"", false},          {"...", false},
        {"-1.2.3.4", false},    {"1.2.3. 4", false},  {"+1.2.3.4", false},
        // IPv6: an address or a prefix.
        {"2001:db8::1", true},  {"2001:db8::/32", true}, {"fe80::/10", true}, {"::/0", true},
        {"::ffff:1.2.3.4", true}, {"2001:db8::/129", false}, {"2001:db8::/", false}, {"2001:db8:::1", false},
        {"2001:db8::/3x", false}, {"[2001:db8::1]", false}, {"1.2.3.4/8", false}, {"2001:db8::1 ", false},
    };
    for (const auto& [text, valid] : cases)
        EXPECT_EQ(isValidAddressPattern(text), valid) << '"' << text << '"';
}

TEST(AddressPattern, ParseGivesMinusOneForStarsAndIgnoresExtraParts)
{
    AddressParts parts{};
    ASSERT_TRUE(parseAddressPattern("10.*.007.1.99", parts));
    EXPECT_EQ(parts, (AddressParts{10, -1, 7, 1}));
    EXPECT_FALSE(parseAddressPattern("10.1.1", parts));
    ASSERT_TRUE(parseAddressPattern("x.2y.3.4", parts)); // lenient: no digits reads as 0
    EXPECT_EQ(parts, (AddressParts{0, 2, 3, 4}));
}

TEST(AddressPattern, CanonicalAddressIsExactlyInetNtoaText)
{
    EXPECT_EQ(parseCanonicalAddress("192.168.1.5"), 0xc0a80105u);
    EXPECT_EQ(parseCanonicalAddress("0.0.0.0"), 0u);
    for (const char* text : {"192.168.001.005", "1.2.3", "1.2.3.4.", " 1.2.3.4", "1..2.3.4", "256.1.1.1", ""})
        EXPECT_FALSE(parseCanonicalAddress(text).has_value()) << text;
}

TEST(AddressPattern, ReadDecimalIntegerIsLenient)
{
    EXPECT_EQ(readDecimalInteger("  080x"), 80);
    EXPECT_EQ(readDecimalInteger("-5"), -5);
    EXPECT_EQ(readDecimalInteger("abc"), 0);
    EXPECT_EQ(readDecimalInteger("99999999999999999999999"), LLONG_MAX);
}

struct IpVerdictCase {
    std::vector<IpEntry> filter;
    const char* address;
    bool verdict;
};

TEST(IpFilter, VerdictTable)
{
    const std::vector<IpVerdictCase> cases = {
        {{}, "1.2.3.4", false},
        {{{"10.*.*.*", false}, {"*.*.*.*", true}}, "10.1.2.3", false},
        {{{"10.*.*.*", false}, {"*.*.*.*", true}}, "11.0.0.1", true},
        {{{"*.*.*.*", true}, {"10.*.*.*", false}}, "10.1.2.3", false},
        {{{"*.*.*.*", true}, {"10.*.*.*", false}}, "11.0.0.1", true},
        {{{"*.*.*.*", true}, {"10.0.*.*", false}}, "10.0.3.4", false},
        {{{"192.168.*.*", true}, {"192.168.1.5", false}}, "192.168.1.5", true},
        {{{"*.*.*.*", true}, {"*..*.*.*", false}}, "8.8.8.8", false},
        {{{"*..*.*.*", false}, {"*.*.*.*", true}}, "8.8.8.8", true},
        {{{"192.168.1.*", true}}, "192.168.2.1", false},
        {{{"192.168.001.*", true}}, "192.168.1.9", true}, // numbers compare, not text
        {{{"*.*.*.*", true}}, "1.2.3", false},            // not four parts: denied
        {{{"1.*.*.*", true}}, "*.2.3.4", false},          // a "*" in the address never matches
    };
    for (const IpVerdictCase& c : cases) {
        const CProfile profile = withIpFilter(c.filter);
        EXPECT_EQ(profile.matchIpFilter(c.address), c.verdict) << c.address << " over " << c.filter.size() << " entries";
    }
}

// IPv4 entries never cover IPv6 addresses nor the reverse; "*.*.*.*" alone covers both.
TEST(IpFilter, EachFamilysEntriesCoverOnlyItsAddresses)
{
    const std::vector<IpEntry> mixed = {{"2001:db8:1::/48", false}, {"2001:db8::/32", true}, {"fe80::1", false},
                                        {"10.*.*.*", false}};
    const std::vector<IpVerdictCase> cases = {
        {mixed, "2001:db8:1::5", false},
        {mixed, "2001:db8:2::5", true},
        {mixed, "2001:db9::1", false}, // no entry covers it, no "*.*.*.*"
        {mixed, "fe80::1", false},
        {mixed, "10.1.2.3", false},
        {mixed, "11.1.2.3", false},
        {{{"*.*.*.*", true}, {"2001:db8::/32", false}}, "2001:db8::7", false},
        {{{"*.*.*.*", true}, {"2001:db8::/32", false}}, "2001:db9::7", true},
        {{{"*.*.*.*", false}, {"::/0", true}}, "2001:db9::7", true},
        {{{"*.*.*.*", false}, {"::/0", true}}, "1.2.3.4", false}, // ::/0 covers IPv6 only
        {{{"::/0", true}}, "::ffff:1.2.3.4", false},             // the IPv4-mapped range is IPv4
        {{{"0.*.*.*", true}}, "::1", false},
        {{{"2001:db8::1/127", true}}, "2001:db8::", true}, // the prefix, whatever the host bits
    };
    for (const IpVerdictCase& c : cases) {
        const CProfile profile = withIpFilter(c.filter);
        EXPECT_EQ(profile.matchIpFilter(c.address), c.verdict) << c.address << " over " << c.filter.size() << " entries";
        if (const std::optional<IpAddress> address = parseIpAddress(c.address)) {
            EXPECT_EQ(profile.matchIpFilter(*address), c.verdict) << c.address;
        }
    }
}

TEST(IpFilter, AddRefusesDuplicatesAndKeepsTheStoredVerdict)
{
    CProfile profile;
    EXPECT_TRUE(profile.addIpFilter("10.0.0.1", true));
    EXPECT_FALSE(profile.addIpFilter("10.0.0.1", false));
    EXPECT_TRUE(profile.addIpFilter("10.0.0.01", false)); // other text, other entry
    EXPECT_FALSE(profile.addIpFilter("1.2.3", true));
    ASSERT_EQ(profile.ipFilter.size(), 2u);
    EXPECT_TRUE(profile.ipFilter[0].allow);
    EXPECT_EQ(profile.ipFilterPattern(1), "10.0.0.01");
    EXPECT_EQ(profile.ipFilterPattern(2), "");

    EXPECT_TRUE(profile.removeIpFilter("10.0.0.1"));
    EXPECT_FALSE(profile.removeIpFilter("10.0.0.1"));
    ASSERT_EQ(profile.ipFilter.size(), 1u);
    EXPECT_EQ(profile.ipFilter[0].pattern, "10.0.0.01");
}

TEST(PortFilter, VerdictsAndLimits)
{
    CProfile profile;
    EXPECT_TRUE(profile.addPortFilter(true, 0));
    EXPECT_TRUE(profile.addPortFilter(false, 80));
    EXPECT_FALSE(profile.addPortFilter(true, 80)); // verdict stays deny
    EXPECT_FALSE(profile.addPortFilter(true, 65536));
    EXPECT_FALSE(profile.addPortFilter(true, 70000));
    EXPECT_TRUE(profile.addPortFilter(true, 65535));
    EXPECT_FALSE(profile.matchPortFilter(80));
    EXPECT_TRUE(profile.matchPortFilter(443));
    EXPECT_TRUE(profile.matchPortFilter(0));

    CProfile only80;
    only80.addPortFilter(true, 80);
    EXPECT_FALSE(only80.matchPortFilter(443));
    EXPECT_TRUE(only80.matchPortFilter(80));
    EXPECT_FALSE(CProfile().matchPortFilter(80));

    CProfile laterFallback; // the last port-0 entry sets the fallback
    laterFallback.addPortFilter(false, 0);
    EXPECT_TRUE(laterFallback.removePortFilter(0));
    EXPECT_FALSE(laterFallback.removePortFilter(0));
    EXPECT_TRUE(laterFallback.portFilter.empty());
}

TEST(DayHistory, SlotsYearsAndRollover)
{
    CProfile profile;
    profile.addToDayHistory(100, true, LocalDate{2025, 0, 1});
    profile.addToDayHistory(50, false, LocalDate{2025, 0, 1});
    profile.addToDayHistory(7, true, LocalDate{2025, 11, 31});
    profile.addToDayHistory(9, true, LocalDate{2024, 5, 15}); // an older year, appended after
    profile.addToDayHistory(11, false, LocalDate{2026, 0, 1});
    ASSERT_EQ(profile.history.size(), 3u);
    EXPECT_EQ(profile.history[0].year, 2025);
    EXPECT_EQ(profile.history[1].year, 2024);
    EXPECT_EQ(profile.history[2].year, 2026);
    EXPECT_EQ(profile.history[0].days[0].down, 100.0);
    EXPECT_EQ(profile.history[0].days[0].up, 50.0);
    EXPECT_EQ(profile.history[0].days[371].down, 7.0);
    EXPECT_EQ(profile.history[1].days[YearHistory::slotOf(5, 15)].down, 9.0);
    EXPECT_EQ(profile.history[2].days[0].up, 11.0);
}

// Records made ahead of traffic are invisible until they count some, and then sit where the
// first packet of their year would have appended them.
TEST(DayHistory, ReservedYearsShowOnlyOnceTheyCount)
{
    SharedProfiles shared;
    CProfile loaded;
    loaded.addToDayHistory(5, true, LocalDate{2030, 0, 1});
    loaded.addToDayHistory(6, true, LocalDate{2025, 0, 1});
    shared.profiles = {loaded};
    shared.prepareYear(2025); // present already: nothing appended
    EXPECT_EQ(shared.profiles[0].history.size(), 2u);
    shared.prepareYear(2026);
    shared.addProfile(CProfile{}); // added later: gets the prepared year too
    ASSERT_EQ(shared.profiles[0].history.size(), 3u);
    ASSERT_EQ(shared.profiles[1].history.size(), 1u);
    EXPECT_EQ(shared.profiles[1].history[0].year, 2026);

    const ProfileList before = shared.snapshot();
    EXPECT_EQ(before[0].history.size(), 2u);
    EXPECT_TRUE(before[1].history.empty());

    shared.profiles[0].addToDayHistory(7, false, LocalDate{2026, 1, 1});
    const ProfileList after = shared.snapshot();
    ASSERT_EQ(after[0].history.size(), 3u);
    EXPECT_EQ(after[0].history[2].year, 2026);
    EXPECT_EQ(after[0].history[2].days[YearHistory::slotOf(1, 1)].up, 7.0);
}

TEST(ProfileAddress, BoundAddressFollowsSetIp)
{
    CProfile profile;
    profile.setIp("198.51.100.7");
    EXPECT_EQ(profile.boundAddress(), IpAddress::fromV4(0xc6336407u));
    profile.setIp("2001:db8::7");
    EXPECT_EQ(profile.boundAddress(), parseIpAddress("2001:0db8:0:0::7"));
    profile.setIp("192.168.001.005");
    EXPECT_FALSE(profile.boundAddress().has_value());
    EXPECT_EQ(profile.getIp(), "192.168.001.005");
}

} // namespace

namespace {

// The per-packet match works on numbers; it must give the text match's verdict everywhere.
TEST(IpFilter, NumericMatchAgreesWithTextMatch)
{
    CProfile profile;
    for (const char* p : {"10.*.*.*", "*.*.*.*", "192.168.1.5", "192.168.*.*", "*.0.*.1", "*..*.*.*", "172.16.0.*"})
        profile.addIpFilter(p, p[0] != '1');
    std::uint32_t seed = 12345;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245u + 12345u;
        std::uint32_t address = seed;
        if (i % 3 == 0)
            address = (address & 0x0000ffffu) | 0xc0a80000u; // 192.168.x.y
        if (i % 5 == 0)
            address = (address & 0x00ffff00u) | 0x0a000001u; // 10.x.y.1
        char text[16];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, (address >> 16) & 255, (address >> 8) & 255,
                      address & 255);
        ASSERT_EQ(profile.matchIpFilter(address), profile.matchIpFilter(std::string(text))) << text;
    }
}

} // namespace
