// The written document, byte for byte, against files under tests/profile/golden/.
// Regenerate them with scripts/regen-golden (sets VELMORA_REGEN_GOLDEN=1 for this program).

#include "profile/profile.h"
#include "profile/profile_writer.h"
#include "support/profile_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

namespace {

const std::filesystem::path kGoldenDir =
    std::filesystem::path(VELMORA_SOURCE_DIR) / "tests" / "profile" / "golden";

void addDay(CProfile& profile, int year, int month, int day, double down, double up)
{
    DayTotals& slot = profile.yearRecord(year).days[YearHistory::slotOf(month, day)];
    slot.down = down;
    slot.up = up;
}

CProfile exampleProfile()
{
    CProfile profile;
    profile.setName("Default");
    profile.setIp("192.168.0.5");
    profile.addIpFilter("*.*.*.*", true);
    profile.addPortFilter(true, 0);
    addDay(profile, 2006, 0, 15, 1234567, 52341);
    addDay(profile, 2006, 0, 16, 0, 880);
    return profile;
}

CProfile emptyFilters()
{
    CProfile profile;
    profile.setName("Work");
    profile.setIp("10.0.0.7");
    return profile;
}

CProfile deniedPort()
{
    CProfile profile;
    profile.setName("Office");
    profile.setIp("192.168.1.20");
    profile.addIpFilter("192.168.*.*", true);
    profile.addIpFilter("192.168.1.5", false); // covered by the first: written as allowed
    profile.addIpFilter("10.*.*.*", false);
    profile.addIpFilter("*.*.*.*", false);
    profile.addIpFilter("*..*.*.*", true); // the later all-"*" entry gives the fallback
    profile.addPortFilter(true, 0);
    profile.addPortFilter(false, 80);
    profile.addPortFilter(true, 443);
    return profile;
}

CProfile exponentAmounts()
{
    CProfile profile;
    profile.setName("Amounts");
    profile.setIp("192.0.2.1");
    const double amounts[] = {1536, 52428.8, 1234567, 999999, 999999.5, 123456.7,
                              0.5, 0.0001, 0.00001234, 1e15, 1e100, 4294967296.0};
    int day = 1;
    for (double amount : amounts)
        addDay(profile, 2024, 5, day++, amount, amount * 3);
    addDay(profile, 2024, 5, day, -5, 0); // negative amounts are not written
    return profile;
}

CProfile yearEdges()
{
    CProfile profile;
    profile.setName("Edges");
    profile.setIp("192.0.2.200");
    addDay(profile, 2006, 11, 31, 100, 200); // 31 December
    addDay(profile, 2006, 0, 1, 0, 500);     // 1 January, upload only
    addDay(profile, 2005, 0, 1, 7, 0);       // an older year after a newer one
    addDay(profile, 2005, 11, 31, 8, 9);
    addDay(profile, 2024, 1, 29, 1, 1); // 29 February of a leap year
    return profile;
}

CProfile escapedNames()
{
    CProfile profile;
    profile.setName("R&D <lab> \"north\" & 'south' caf\xC3\xA9");
    profile.setIp("<none> & more");
    profile.addIpFilter("172.16.*.*", true);
    addDay(profile, 2025, 2, 3, 42, 0);
    return profile;
}

// IPv6 text goes into the same elements; the IPv4 entries read as before by any version.
CProfile dualStack()
{
    CProfile profile;
    profile.setName("Dual");
    profile.setIp("2001:db8::1");
    profile.addIpFilter("fe80::/10", false);
    profile.addIpFilter("2001:db8::/32", true);
    profile.addIpFilter("10.*.*.*", false);
    profile.addIpFilter("*.*.*.*", true);
    profile.addPortFilter(true, 0);
    addDay(profile, 2026, 11, 7, 2048, 1024);
    return profile;
}

struct GoldenCase {
    const char* file;
    std::function<CProfile()> make;
};

const GoldenCase kCases[] = {
    {"example.xml", exampleProfile},          {"empty_filters.xml", emptyFilters},
    {"denied_port.xml", deniedPort},          {"exponent_amounts.xml", exponentAmounts},
    {"year_edges.xml", yearEdges},            {"escaped_names.xml", escapedNames},
    {"dual_stack.xml", dualStack},
};

bool regenerating()
{
    const char* flag = std::getenv("VELMORA_REGEN_GOLDEN");
    return flag != nullptr && std::string(flag) == "1";
}

} // namespace

class ProfileGolden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(ProfileGolden, SaveWritesTheGoldenBytesAndLoadGivesTheProfileBack)
{
    const GoldenCase& golden = GetParam();
    const CProfile profile = golden.make();
    const std::filesystem::path goldenFile = kGoldenDir / golden.file;
    TempDir dir;
    ASSERT_TRUE(profile.save(dir.path.string()));
    const std::filesystem::path saved = dir / (profile.getName() + ".xml");
    if (regenerating())
        writeFile(goldenFile, readFile(saved));
    EXPECT_EQ(readFile(saved), readFile(goldenFile)) << golden.file;

    CProfile loaded;
    ASSERT_TRUE(loaded.load(goldenFile.string()));
    EXPECT_EQ(profileDocument(loaded), readFile(goldenFile));
}

INSTANTIATE_TEST_SUITE_P(Files, ProfileGolden, ::testing::ValuesIn(kCases),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             name.resize(name.size() - 4);
                             return name;
                         });

// The example document exactly as the file format describes it, typed out here rather than
// produced by the writer, so regenerating the golden files cannot hide a change to it.
TEST(ProfileGoldenExample, GoldenFileIsTheDocumentedExample)
{
    const std::string expected =
        "<?xml version=\"1.0\"?>\r\n"
        "\r\n"
        "<Profiles>\r\n"
        "\t<Profile>\r\n"
        "\t\t<name>Default</name>\r\n"
        "\t\t<ip>192.168.0.5</ip>\r\n"
        "\t\t<ipFilter allow=\"1\">*.*.*.*</ipFilter>\r\n"
        "\t\t<portFilter allow=\"1\">0</portFilter>\r\n"
        "\t\t<down y=\"2006\" m=\"0\" d=\"14\">1.23457e+006</down>\r\n"
        "\t\t<up y=\"2006\" m=\"0\" d=\"14\">52341</up>\r\n"
        "\t\t<up y=\"2006\" m=\"0\" d=\"15\">880</up>\r\n"
        "\t</Profile>\r\n"
        "</Profiles>";
    EXPECT_EQ(readFile(kGoldenDir / "example.xml"), expected);
}
