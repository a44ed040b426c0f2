#include "net/ip_address.h"
#include "profile/lan_pattern.h"
#include "profile/profile_editor.h"
#include "profile/profile_list.h"

#include <gtest/gtest.h>

namespace {

// Adds on Default and on missing profiles never get as far as resolving.
std::string noResolve(const std::string&)
{
    ADD_FAILURE() << "resolve called";
    return {};
}

struct ProfileEditorTest : testing::Test {
    void SetUp() override
    {
        shared.profiles.resize(2);
        shared.profiles[0].setName("Default");
        shared.profiles[0].setIp("192.168.1.20");
        shared.profiles[1].setName("Work");
        shared.profiles[1].setIp("192.168.1.20");
    }
    CProfile& work() { return shared.profiles[1]; }

    SharedProfiles shared;
    ProfileEditor editor{shared};
};

} // namespace

TEST(LanPattern, FirstTwoPartsThenWildcards)
{
    const std::pair<const char*, const char*> cases[] = {
        {"192.168.1.20", "192.168.*.*"}, {"10.0.0.5", "10.0.*.*"}, {"10.1", "10.1.*.*"},
        {"10.1.2.3.4", "10.1.*.*"},      {"..172..16.0.1", "172.16.*.*"},
        {"10", ""},                      {"", ""},
    };
    for (const auto& [ip, pattern] : cases)
        EXPECT_EQ(lanPattern(ip), pattern) << ip;
}

TEST(PortText, AcceptsOnlyZeroTo65535)
{
    EXPECT_EQ(parsePortText("80"), 80);
    EXPECT_EQ(parsePortText(" 080x"), 80);
    EXPECT_EQ(parsePortText("http"), 0);
    EXPECT_EQ(parsePortText("65535"), 65535);
    EXPECT_EQ(parsePortText("65536"), std::nullopt);
    EXPECT_EQ(parsePortText("-5"), std::nullopt);
    EXPECT_EQ(parsePortText("99999999999999999999999"), std::nullopt);
}

TEST(ProfileName, RefusesNamesThatAreNoFileName)
{
    for (const char* bad : {"a/b", "/", ".", "..", ""})
        EXPECT_FALSE(isUsableProfileName(bad)) << bad;
    for (const char* good : {"Work", " ", "...", ".hidden", "a.b", "Büro"})
        EXPECT_TRUE(isUsableProfileName(good)) << good;
}

TEST_F(ProfileEditorTest, LanSwitchAddsAndRemovesTheDenyEntry)
{
    ASSERT_EQ(editor.setLanSwitch("Work", false).outcome, ProfileEditor::Outcome::Done);
    // The IPv4 entry as before, then the IPv6 link-local and unique local ranges.
    EXPECT_EQ(editor.view("Work")->ipEntries, (std::vector<std::string>{"-192.168.*.*", "-fe80::/10", "-fc00::/7"}));
    // After moving to another network the old entry is no LAN entry: switching on refuses.
    editor.setAddress("Work", "10.0.0.5");
    EXPECT_EQ(editor.setLanSwitch("Work", true).outcome, ProfileEditor::Outcome::Refused);
    EXPECT_EQ(work().ipFilter.size(), 3u);

    editor.setAddress("Work", "192.168.7.7");
    EXPECT_EQ(editor.setLanSwitch("Work", true).outcome, ProfileEditor::Outcome::Done);
    EXPECT_TRUE(work().ipFilter.empty());

    // A profile bound to an IPv6 address: the IPv6 ranges and the prefixes of the address's
    // link, in front of an allow entry of a host on that link; the box follows them.
    editor.setAddress("Work", "2001:db8::5");
    ASSERT_TRUE(work().addIpFilter("2001:db8::7", true));
    const std::vector<std::string> onLink{"2001:db8::/64", "2001:db8:0:1::/64"};
    ASSERT_EQ(editor.setLanSwitch("Work", false, onLink).outcome, ProfileEditor::Outcome::Done);
    EXPECT_EQ(editor.view("Work")->ipEntries, (std::vector<std::string>{"-fe80::/10", "-fc00::/7", "-2001:db8::/64",
                                                                       "-2001:db8:0:1::/64", "-2001:db8::7"}));
    EXPECT_FALSE(editor.view("Work")->lanChecked);
    EXPECT_EQ(editor.setLanSwitch("Work", true, onLink).outcome, ProfileEditor::Outcome::Done);
    EXPECT_EQ(editor.view("Work")->ipEntries, std::vector<std::string>{"2001:db8::7"});
}

TEST_F(ProfileEditorTest, LanSwitchWithoutTwoPartsChangesNothing)
{
    for (const char* ip : {"", "localhost"}) {
        editor.setAddress("Work", ip);
        EXPECT_EQ(editor.setLanSwitch("Work", false).outcome, ProfileEditor::Outcome::Refused);
        EXPECT_TRUE(work().ipFilter.empty());
        EXPECT_TRUE(editor.view("Work")->lanChecked);
    }
    // A "*.*" entry is no LAN entry of an address without one.
    ASSERT_TRUE(work().addIpFilter("*.*.*.*", false));
    EXPECT_TRUE(editor.view("Work")->lanChecked);
}

TEST_F(ProfileEditorTest, AddIpTriesTheResolvedTextSecond)
{
    using O = ProfileEditor::Outcome;
    // The page's own resolver; "localhost" comes from the hosts file, never from the network.
    std::vector<std::string> asked;
    auto resolve = [&](const std::string& name) {
        asked.push_back(name);
        return resolveHostName(name);
    };
    EXPECT_EQ(editor.addIpEntry("Work", "127.0.0.1", resolve).outcome, O::Done);
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(editor.addIpEntry("Work", "localhost", resolve).outcome, O::Refused);
    EXPECT_EQ(asked, (std::vector<std::string>{"localhost"}));
    EXPECT_EQ(editor.addIpEntry("Work", "10.0.0.*", resolve).outcome, O::Done);
    EXPECT_EQ(asked.size(), 1u);
    ASSERT_TRUE(work().removeIpFilter("127.0.0.1"));
    const auto named = editor.addIpEntry("Work", "localhost", resolve);
    EXPECT_EQ(named.outcome, O::Done);
    EXPECT_EQ(named.text, "127.0.0.1");
    EXPECT_EQ(work().ipFilterPattern(1), "127.0.0.1");
}

TEST_F(ProfileEditorTest, DefaultAndMissingProfilesIgnoreFilterEditsWithoutResolving)
{
    using O = ProfileEditor::Outcome;
    for (const char* name : {"Default", "Nobody"}) {
        EXPECT_EQ(editor.addIpEntry(name, "not an address", noResolve).outcome, O::Ignored);
        EXPECT_EQ(editor.addPortEntry(name, "80").outcome, O::Ignored);
    }
    EXPECT_TRUE(shared.profiles[0].ipFilter.empty());
    EXPECT_TRUE(shared.profiles[0].portFilter.empty());
}

TEST_F(ProfileEditorTest, RemovalMatchesTheWholeCaseSensitiveName)
{
    using R = ProfileEditor::Removal;
    EXPECT_EQ(editor.removeProfile("WORK"), R::NoProfile);
    std::size_t index = 99;
    EXPECT_EQ(editor.removeProfile("Work", &index), R::Removed);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(editor.names(), std::vector<std::string>{"Default"});
    EXPECT_FALSE(editor.view("Work"));
}
