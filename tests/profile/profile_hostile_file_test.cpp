// Files built to hurt the reader: entities, external resources, size and depth.

#include "profile/profile.h"
#include "profile/bounded_dom_parser.h"
#include "profile/profile_xml_reader.h"
#include "support/profile_files.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string withDoctype(const std::string& subset, const std::string& name)
{
    return "<?xml version=\"1.0\"?>\n<!DOCTYPE Profiles [" + subset +
           "]>\n<Profiles><Profile><name>" + name + "</name></Profile></Profiles>";
}

} // namespace

TEST(ProfileHostileFile, InternalEntitiesStillWork)
{
    TempDir dir;
    bool loaded = false;
    const CProfile p =
        loadText(dir, withDoctype("<!ENTITY who \"Lab &amp; Co\">", "&who; 1"), &loaded);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(p.getName(), "Lab & Co 1");
}

TEST(ProfileHostileFile, ExternalEntityPointingAtALocalFileIsNotRead)
{
    TempDir dir;
    writeFile(dir / "secret.txt", "SECRET-CONTENT");
    const std::string uri = "file://" + (dir / "secret.txt").string();
    const std::string subsets[] = {"<!ENTITY leak SYSTEM \"" + uri + "\">",
                                   "<!ENTITY leak SYSTEM \"secret.txt\">",
                                   "<!ENTITY leak PUBLIC \"-//x//y\" \"" + uri + "\">"};
    for (const std::string& subset : subsets) {
        bool loaded = false;
        const CProfile p = loadText(dir, withDoctype(subset, "a&leak;b"), &loaded);
        EXPECT_EQ(p.getName().find("SECRET"), std::string::npos) << subset;
        if (loaded) {
            EXPECT_EQ(p.getName(), "ab") << subset;
        }
    }
}

TEST(ProfileHostileFile, ExternalDtdAndParameterEntitiesAreNotFetched)
{
    TempDir dir;
    writeFile(dir / "evil.dtd", "<!ENTITY leak \"SECRET-CONTENT\">");
    const std::string uri = "file://" + (dir / "evil.dtd").string();
    const std::string files[] = {
        "<?xml version=\"1.0\"?><!DOCTYPE Profiles SYSTEM \"" + uri +
            "\"><Profiles><Profile><name>x</name></Profile></Profiles>",
        withDoctype("<!ENTITY % ext SYSTEM \"" + uri + "\"> %ext;", "x&leak;"),
    };
    for (const std::string& text : files) {
        bool loaded = false;
        const CProfile p = loadText(dir, text, &loaded);
        EXPECT_EQ(p.getName().find("SECRET"), std::string::npos) << text;
    }
    bool loaded = false;
    EXPECT_EQ(loadText(dir, files[0], &loaded).getName(), "x");
    EXPECT_TRUE(loaded);
}

TEST(ProfileHostileFile, EntityExpansionIsBounded)
{
    std::string subset = "<!ENTITY lol0 \"lollollollollollollollollol\">";
    for (int level = 1; level <= 9; ++level)
        subset += "<!ENTITY lol" + std::to_string(level) + " \"" +
                  [&] {
                      std::string refs;
                      for (int i = 0; i < 10; ++i)
                          refs += "&lol" + std::to_string(level - 1) + ";";
                      return refs;
                  }() +
                  "\">";
    TempDir dir;
    bool loaded = true;
    loadText(dir, withDoctype(subset, "&lol9;"), &loaded);
    EXPECT_FALSE(loaded);
    // Few references to one big entity: bounded by the size of declared entities.
    const std::string big(ProfileXmlReader::kMaxDeclaredEntityChars + 1, 'x');
    loadText(dir, withDoctype("<!ENTITY big \"" + big + "\">", "&big;"), &loaded);
    EXPECT_FALSE(loaded);
}

static std::string repeated(const std::string& text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

static std::string nestedIn(const std::string& open, const std::string& close, int depth)
{
    return repeated(open, depth) + "deep" + repeated(close, depth);
}

// Profile files nest three deep; the name element adds one. Whatever else the file holds
// (empty elements in any spelling, before or between the levels), a name nested past the
// limit is refused without running the stack dry.
TEST(ProfileHostileFile, NestingLimitHoldsWhateverTheFileHolds)
{
    constexpr int kLimit = ProfileXmlReader::kMaxDepth;
    const std::string empties = repeated("<e/>", 100000);
    const struct {
        const char* label;
        std::string name;
        bool loads;
    } cases[] = {
        {"just inside the limit", nestedIn("<a>", "</a>", kLimit - 3), true},
        {"one level over", nestedIn("<a>", "</a>", kLimit - 2), false},
        {"deep", nestedIn("<a>", "</a>", 100000), false},
        {"empty elements, then one over", empties + nestedIn("<a>", "</a>", kLimit - 2), false},
        {"empty elements between levels", nestedIn("<a><e/>", "</a>", 100000), false},
        {"empty start-end pairs between levels", nestedIn("<a><e></e>", "</a>", kLimit - 2),
         false},
        {"empty elements with attributes", nestedIn("<e x='1'/><a>", "</a>", 100000), false},
        {"many empty elements, shallow", empties + "deep", true},
    };
    TempDir dir;
    for (const auto& c : cases) {
        bool loaded = !c.loads;
        const CProfile p = loadText(dir, profileFileText("<name>" + c.name + "</name>"), &loaded);
        EXPECT_EQ(loaded, c.loads) << c.label;
        EXPECT_EQ(p.getName(), c.loads ? "deep" : "") << c.label;
    }
}

TEST(ProfileHostileFile, HugeFilesFailCleanly)
{
    TempDir dir;
    // Over the file size limit.
    std::string text = profileFileText("<name>huge</name>");
    text.insert(text.size() - 11, ProfileXmlReader::kMaxFileBytes, ' ');
    bool loaded = true;
    loadText(dir, text, &loaded);
    EXPECT_FALSE(loaded);
    // Just inside it, with many records: read in full.
    std::string records;
    for (int year = 0; records.size() < ProfileXmlReader::kMaxFileBytes - 4096; ++year)
        records += "<up y=\"" + std::to_string(year) + "\" m=\"0\" d=\"0\">1</up>";
    const CProfile p = loadText(dir, profileFileText(records), &loaded);
    EXPECT_TRUE(loaded);
    EXPECT_EQ(p.history.size(), ProfileXmlReader::kMaxYears);
}

// Files of tiny nodes cost many times their size as a tree. Whatever the shape, loading one
// costs at most about 64 times the file (and never more than the ceiling). Each shape loads in
// a child process, whose peak resident memory is the measure.
TEST(ProfileHostileFile, MemoryStaysWithinSixtyFourTimesTheFile)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory and quarantine are resident too";
#endif
    TempDir dir;
    const struct {
        const char* label;
        std::string node;
    } shapes[] = {
        {"empty elements", "<a/>"},
        {"elements and text", "<a/>x"},
        {"attributes", "<a b='' c='' d='' e=''/>"},
        {"profile records", "<up y=\"2026\" m=\"1\" d=\"1\">1</up>"},
    };
    for (const auto& shape : shapes) {
        std::string text = "<Profiles><Profile><name>n</name>";
        while (text.size() + shape.node.size() + 32 < ProfileXmlReader::kMaxFileBytes)
            text += shape.node;
        text += "</Profile></Profiles>";
        const auto file = dir / "shape.xml";
        writeFile(file, text);
        int report[2];
        ASSERT_EQ(::pipe(report), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            rusage before{};
            ::getrusage(RUSAGE_SELF, &before);
            CProfile profile;
            profile.load(file.string());
            rusage after{};
            ::getrusage(RUSAGE_SELF, &after);
            const long grown = (after.ru_maxrss - before.ru_maxrss) * 1024;
            [[maybe_unused]] const ssize_t written = ::write(report[1], &grown, sizeof grown);
            ::_exit(0);
        }
        ::close(report[1]);
        long grown = -1;
        ASSERT_EQ(::read(report[0], &grown, sizeof grown), static_cast<ssize_t>(sizeof grown)) << shape.label;
        ::close(report[0]);
        ::waitpid(child, nullptr, 0);
        EXPECT_LE(grown, static_cast<long>(64 * text.size() + (16u << 20))) << shape.label;
        EXPECT_LE(grown, static_cast<long>(BoundedDomParser::kMaxMemory + (16u << 20))) << shape.label;
    }
}
