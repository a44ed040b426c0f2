// Reading profile files: the mapping rules, its consequences, and files that must be refused.

#include "profile/profile.h"
#include "profile/profile_xml_reader.h"
#include "support/profile_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

TEST(ProfileReading, ElementsMapOntoTheProfile)
{
    TempDir dir;
    bool loaded = false;
    const CProfile p = loadText(dir, profileFileText(
        "<name>Home</name>\n<ip>192.168.0.5</ip><!-- a comment -->"
        "<ipFilter allow=\"1\">192.168.*.*</ipFilter>"
        "<ipFilter allow=\"  0\">192.168.1.5</ipFilter>"
        "<ipFilter allow=\"7\">10.0.0.1</ipFilter>"
        "<ipFilter allow=\"1\">192.168.*.*</ipFilter>" // listed already: dropped
        "<ipFilter allow=\"1\">300.1.1.1</ipFilter>"   // not a pattern: dropped
        "<portFilter allow=\"x\">80</portFilter>"      // not a number reads as 0
        "<portFilter allow=\"1\">80</portFilter>"      // listed already: dropped
        "<portFilter allow=\"1\">70000</portFilter>"   // above 65535: dropped
        "<portFilter allow=\"1\"> 443 </portFilter>"
        "<other>ignored</other><Name>ignored</Name>"
        "<down y=\"2006\" m=\"0\" d=\"14\">1.23457e+006</down>"
        "<up y=\"2006\" m=\"0\" d=\"14\">52341</up>"
        "<up y=\"2006\" m=\"0\" d=\"15\"> 880 bytes</up>"
        "<down y=\"2006\" m=\"1\" d=\"0\">junk</down>"), &loaded);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(p.getName(), "Home");
    EXPECT_EQ(p.getIp(), "192.168.0.5");
    EXPECT_EQ(p.boundAddress(), parseIpAddress("192.168.0.5"));
    ASSERT_EQ(p.ipFilter.size(), 3u);
    EXPECT_EQ(p.ipFilter[0].pattern, "192.168.*.*");
    EXPECT_TRUE(p.ipFilter[0].allow);
    EXPECT_FALSE(p.ipFilter[1].allow);
    EXPECT_TRUE(p.ipFilter[2].allow);
    ASSERT_EQ(p.portFilter.size(), 2u);
    EXPECT_EQ(p.portFilter[0].port, 80);
    EXPECT_FALSE(p.portFilter[0].allow);
    EXPECT_EQ(p.portFilter[1].port, 443);
    ASSERT_EQ(p.history.size(), 1u);
    EXPECT_EQ(downOn(p, 2006, 0, 15), 1234570.0);
    EXPECT_EQ(upOn(p, 2006, 0, 15), 52341.0);
    EXPECT_EQ(upOn(p, 2006, 0, 16), 880.0);
    EXPECT_EQ(downOn(p, 2006, 1, 1), 0.0);
}

TEST(ProfileReading, TextIsTakenWholeWithoutTrimming)
{
    TempDir dir;
    const std::string longName(5000, 'n');
    const std::string longIp(3000, '1');
    const CProfile p = loadText(dir, profileFileText(
        "<name>" + longName + "</name><ip>" + longIp + "</ip>"));
    EXPECT_EQ(p.getName(), longName);
    EXPECT_EQ(p.getIp(), longIp);
    EXPECT_EQ(loadText(dir, profileFileText("<name> Default </name>")).getName(), " Default ");
    EXPECT_EQ(loadText(dir, profileFileText("<name>a<b>c</b>d</name>")).getName(), "acd");
    // Blank text is kept wherever it can be part of a name, whatever the elements around it.
    const struct {
        const char* text;
        const char* name;
    } blanks[] = {
        {"<Profile><name> \t</name></Profile>", " \t"},
        {"<Profile><name><Profile> </Profile>x<a> </a></name></Profile>", " x "},
        {"<P><Profile><name>\n</name></Profile></P>", "\n"},
        {"<P><Q><Profile><name><Profiles> </Profiles></name></Profile></Q></P>", " "},
    };
    for (const auto& c : blanks)
        EXPECT_EQ(loadText(dir, c.text).getName(), c.name) << c.text;
    EXPECT_EQ(loadText(dir, profileFileText("<name>caf&#233; &amp; &#x20AC;</name>")).getName(),
              "caf\xC3\xA9 & \xE2\x82\xAC");
}

TEST(ProfileReading, SeveralProfileElementsGiveOneProfile)
{
    TempDir dir;
    const CProfile p = loadText(dir,
        "<Root><Profile><name>First</name><ip>10.0.0.1</ip>"
        "<ipFilter allow=\"1\">10.*.*.*</ipFilter><portFilter allow=\"1\">80</portFilter>"
        "<down y=\"2005\" m=\"3\" d=\"3\">11</down></Profile>"
        "<group><Profile><ip>10.0.0.2</ip>"
        "<ipFilter allow=\"0\">10.*.*.*</ipFilter><ipFilter allow=\"0\">11.*.*.*</ipFilter>"
        "<portFilter allow=\"0\">80</portFilter><portFilter allow=\"0\">81</portFilter>"
        "<up y=\"2006\" m=\"0\" d=\"0\">5</up></Profile></group></Root>");
    EXPECT_EQ(p.getName(), "First"); // the last element that has a name
    EXPECT_EQ(p.getIp(), "10.0.0.2");
    ASSERT_EQ(p.ipFilter.size(), 2u);
    EXPECT_TRUE(p.ipFilter[0].allow); // first occurrence wins
    EXPECT_FALSE(p.ipFilter[1].allow);
    ASSERT_EQ(p.portFilter.size(), 2u);
    EXPECT_TRUE(p.portFilter[0].allow);
    ASSERT_EQ(p.history.size(), 1u); // day records of the last element only
    EXPECT_EQ(p.history[0].year, 2006);
    EXPECT_EQ(upOn(p, 2006, 0, 1), 5.0);
}

TEST(ProfileReading, LaterRecordsReplaceEarlierOnesAndYearsKeepFileOrder)
{
    TempDir dir;
    const CProfile p = loadText(dir, profileFileText(
        "<down y=\"2006\" m=\"4\" d=\"9\">100</down><up y=\"2005\" m=\"0\" d=\"0\">3</up>"
        "<down y=\"2006\" m=\"4\" d=\"9\">250.5</down><down y=\"2006\" m=\"4\" d=\"9\">-4</down>"
        "<up y=\"2006\" m=\"4\" d=\"9\">7</up>"));
    ASSERT_EQ(p.history.size(), 2u);
    EXPECT_EQ(p.history[0].year, 2006);
    EXPECT_EQ(p.history[1].year, 2005);
    EXPECT_EQ(downOn(p, 2006, 4, 10), -4.0);
    EXPECT_EQ(upOn(p, 2006, 4, 10), 7.0);
}

TEST(ProfileReading, ReadingReplacesHistoryInsteadOfMerging)
{
    TempDir dir;
    const std::filesystem::path file = dir / "p.xml";
    writeFile(file, profileFileText("<name>P</name><down y=\"2006\" m=\"0\" d=\"0\">10</down>"));
    CProfile p;
    p.addToDayHistory(500, true, LocalDate{2006, 0, 1});
    p.addToDayHistory(900, true, LocalDate{2007, 5, 5});
    p.addIpFilter("1.2.3.4", true);
    ASSERT_TRUE(p.load(file.string()));
    ASSERT_EQ(p.history.size(), 1u);
    EXPECT_EQ(downOn(p, 2006, 0, 1), 10.0);
    ASSERT_EQ(p.ipFilter.size(), 1u); // filters are added to, as the file's entries are
}

TEST(ProfileReading, RecordsWithMissingAttributesOrSlotsOutsideTheYearAreDropped)
{
    const char* records[] = {
        "<down m=\"0\" d=\"0\">1</down>",       "<down y=\"2006\" d=\"0\">1</down>",
        "<down y=\"2006\" m=\"0\">1</down>",    "<up y=\"2006\" m=\"12\" d=\"0\">1</up>",
        "<up y=\"2006\" m=\"-1\" d=\"0\">1</up>", "<up y=\"2006\" m=\"0\" d=\"31\">1</up>",
        "<up y=\"2006\" m=\"0\" d=\"-1\">1</up>", "<up y=\"2006\" m=\"99999999999\" d=\"0\">1</up>",
        "<up y=\"99999999999\" m=\"0\" d=\"0\">1</up>", "<up y=\"2006\" m=\"0\" d=\"0\">1e999</up>",
        "<ipFilter>1.2.3.4</ipFilter>",          "<portFilter>80</portFilter>",
    };
    TempDir dir;
    for (const char* record : records) {
        bool loaded = false;
        const CProfile p = loadText(dir, profileFileText(record), &loaded);
        EXPECT_TRUE(loaded) << record;
        EXPECT_TRUE(p.history.empty()) << record;
        EXPECT_TRUE(p.ipFilter.empty() && p.portFilter.empty()) << record;
    }
}

TEST(ProfileReading, AmountsAreReadFromTheirLeadingNumber)
{
    const struct {
        const char* text;
        double amount;
    } cases[] = {
        {"1536", 1536},        {"52428.8", 52428.8}, {"1.23457e+006", 1234570},
        {"  2e3xyz", 2000},    {"+5", 5},            {"-2.5", -2.5},
        {".5", 0.5},           {"7.", 7},            {"3e", 3},
        {"3e+", 3},            {"abc", 0},           {"", 0},
        {"0x10", 0},           {"inf", 0},           {"nan", 0},
        {"1E2", 100},
    };
    TempDir dir;
    for (const auto& c : cases) {
        const CProfile p = loadText(
            dir, profileFileText(std::string("<down y=\"2010\" m=\"2\" d=\"4\">") + c.text + "</down>"));
        EXPECT_EQ(downOn(p, 2010, 2, 5), c.amount) << c.text;
    }
}

TEST(ProfileReading, DocumentWithoutProfileElementIsAcceptedAndChangesNothing)
{
    TempDir dir;
    bool loaded = false;
    const CProfile p = loadText(dir, "<?xml version=\"1.0\"?><Profiles><name>x</name></Profiles>",
                                &loaded);
    EXPECT_TRUE(loaded);
    EXPECT_EQ(p.getName(), "");
    EXPECT_TRUE(p.history.empty());
    // The root element's name plays no part, and may itself be the profile.
    EXPECT_EQ(loadText(dir, "<Profile><name>Root</name></Profile>").getName(), "Root");
}

TEST(ProfileReading, RejectedFilesLeaveTheProfileUntouched)
{
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"blank", "   \n"},
        {"truncated", "<?xml version=\"1.0\"?>\r\n<Profiles>\r\n\t<Profile>\r\n\t\t<name>Cut</na"},
        {"unclosed", profileFileText("<name>X</name>").substr(0, 60)},
        {"bad entity", profileFileText("<name>R&D</name>")},
        {"unescaped lt", profileFileText("<name>a<b</name>")},
        {"latin1 without declaration", profileFileText("<name>caf\xE9</name>")},
        {"two roots", profileFileText("<name>X</name>") + "<Profiles/>"},
        {"control character", profileFileText("<name>a&#1;b</name>")},
        {"not xml", "\x89PNG\r\n\x1a\n binary"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        const std::filesystem::path file = dir / "bad.xml";
        writeFile(file, c.text);
        CProfile p;
        p.setName("Before");
        p.addToDayHistory(5, true, LocalDate{2020, 0, 1});
        EXPECT_FALSE(p.load(file.string())) << c.what;
        EXPECT_EQ(p.getName(), "Before") << c.what;
        EXPECT_EQ(p.history.size(), 1u) << c.what;
        EXPECT_EQ(readFile(file), c.text) << c.what;
    }
}

TEST(ProfileReading, MissingUnreadableAndNonRegularFilesAreRefused)
{
    TempDir dir;
    CProfile p;
    EXPECT_FALSE(p.load((dir / "missing.xml").string()));
    EXPECT_FALSE(p.load(dir.path.string()));
    ASSERT_EQ(::mkfifo((dir / "fifo.xml").c_str(), 0600), 0);
    EXPECT_FALSE(p.load((dir / "fifo.xml").string())); // must not block
    if (::geteuid() != 0) {
        writeFile(dir / "locked.xml", profileFileText("<name>Locked</name>"));
        std::filesystem::permissions(dir / "locked.xml", std::filesystem::perms::none);
        EXPECT_FALSE(p.load((dir / "locked.xml").string()));
    }
    EXPECT_EQ(p.getName(), "");
}

TEST(ProfileReading, OtherEncodingsAreReadWhenDeclared)
{
    TempDir dir;
    bool loaded = false;
    const CProfile p = loadText(
        dir, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Profiles><Profile><name>caf\xE9</name>"
             "</Profile></Profiles>", &loaded);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(p.getName(), "caf\xC3\xA9");
}
