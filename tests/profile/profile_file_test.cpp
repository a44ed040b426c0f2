// Saving and loading one profile: round trips, atomic replacement, names that are not plain.

#include "profile/profile.h"
#include "profile/profile_file.h"
#include "profile/profile_writer.h"
#include "support/profile_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

CProfile profileWithHistory(const std::string& name, int years)
{
    CProfile profile;
    profile.setName(name);
    profile.setIp("192.0.2.10");
    profile.addIpFilter("192.168.*.*", true);
    profile.addIpFilter("192.168.1.5", false);
    profile.addIpFilter("*.*.*.*", true);
    profile.addPortFilter(false, 25);
    profile.addPortFilter(true, 0);
    for (int year = 0; year < years; ++year)
        for (int slot = 0; slot < YearHistory::kSlots; slot += 3) {
            DayTotals& day = profile.yearRecord(2020 + year).days[slot];
            day.down = 1000.0 * slot + year;
            day.up = slot % 2 ? 0.0 : 12.5 * slot;
        }
    return profile;
}

void expectSameVerdicts(const CProfile& a, const CProfile& b)
{
    for (const char* address : {"192.168.1.5", "192.168.7.7", "10.0.0.1", "1.2.3.4"})
        EXPECT_EQ(a.matchIpFilter(address), b.matchIpFilter(address)) << address;
    for (std::uint16_t port : {0, 25, 80, 443})
        EXPECT_EQ(a.matchPortFilter(port), b.matchPortFilter(port)) << port;
}

} // namespace

TEST(ProfileFile, SaveThenLoadGivesTheSameProfile)
{
    const std::string names[] = {
        "Default", "R&D <lab>", "line\r\nbreak\ttab", "caf\xC3\xA9 \xE2\x82\xAC",
        std::string(300, 'L'), " padded ", "",
    };
    TempDir dir;
    for (const std::string& name : names) {
        const CProfile original = profileWithHistory(name, 2);
        ASSERT_TRUE(original.save(dir.path.string())) << name;
        const std::filesystem::path file = dir / profileFileName(name);
        CProfile loaded;
        ASSERT_TRUE(loaded.load(file.string())) << name;
        EXPECT_EQ(loaded.getName(), name);
        EXPECT_EQ(loaded.getIp(), original.getIp());
        expectSameVerdicts(original, loaded);
        ASSERT_EQ(loaded.history.size(), 2u);
        for (std::size_t y = 0; y < 2; ++y) {
            EXPECT_EQ(loaded.history[y].year, original.history[y].year);
            for (int slot = 0; slot < YearHistory::kSlots; ++slot) {
                EXPECT_EQ(loaded.history[y].days[slot].down, original.history[y].days[slot].down);
                EXPECT_EQ(loaded.history[y].days[slot].up, original.history[y].days[slot].up);
            }
        }
        // A second save of what was read writes the same bytes.
        EXPECT_EQ(profileDocument(loaded), readFile(file)) << name;
    }
}

TEST(ProfileFile, SaveReplacesTheFileAndLeavesNoTemporary)
{
    TempDir dir;
    writeFile(dir / "Home.xml", "old content");
    writeFile(dir / "Home.xml.tmp", "left over from a crash, longer than the new document ...");
    const CProfile profile = profileWithHistory("Home", 1);
    ASSERT_TRUE(profile.save(dir.path.string()));
    EXPECT_EQ(readFile(dir / "Home.xml"), profileDocument(profile));
    EXPECT_EQ(listDirectory(dir.path), std::vector<std::string>{"Home.xml"});

    // A symbolic link in the temporary's place is not written through.
    TempDir elsewhere;
    writeFile(elsewhere / "victim", "untouched");
    std::filesystem::create_symlink(elsewhere / "victim", dir / "Home.xml.tmp");
    ASSERT_TRUE(profile.save(dir.path.string()));
    EXPECT_EQ(readFile(elsewhere / "victim"), "untouched");
    EXPECT_EQ(readFile(dir / "Home.xml"), profileDocument(profile));
}

TEST(ProfileFile, FailedWriteKeepsTheOldFile)
{
    TempDir dir;
    const CProfile small = profileWithHistory("Home", 0);
    ASSERT_TRUE(small.save(dir.path.string()));
    const std::string before = readFile(dir / "Home.xml");

    // The temporary cannot be created: a directory stands in its place.
    std::filesystem::create_directory(dir / "Home.xml.tmp");
    EXPECT_FALSE(profileWithHistory("Home", 3).save(dir.path.string()));
    EXPECT_EQ(readFile(dir / "Home.xml"), before);
    std::filesystem::remove(dir / "Home.xml.tmp");

    // The disk fills up half-way: a child process with a file size limit tries the save.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(profileWithHistory("Home", 3).save(dir.path.string()) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "save reported success on a short write";
    EXPECT_EQ(readFile(dir / "Home.xml"), before);
    EXPECT_EQ(listDirectory(dir.path), std::vector<std::string>{"Home.xml"});
}

TEST(ProfileFile, SaveIntoMissingOrReadOnlyDirectoryFails)
{
    TempDir dir;
    const CProfile profile = profileWithHistory("Home", 0);
    EXPECT_FALSE(profile.save((dir / "missing").string()));
    if (::geteuid() != 0) {
        std::filesystem::create_directory(dir / "locked");
        std::filesystem::permissions(dir / "locked", std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::owner_exec);
        EXPECT_FALSE(profile.save((dir / "locked").string()));
    }
}

// A changed name keeps its changed stem, then "~" and 16 hex digits.
static bool isStemWithHash(const std::string& file, const std::string& stem)
{
    const std::size_t hashAt = stem.size() + 1;
    return file.size() == hashAt + 16 + 4 && file.compare(0, stem.size(), stem) == 0 &&
           file[stem.size()] == '~' &&
           file.find_first_not_of("0123456789abcdef", hashAt) == hashAt + 16 &&
           file.ends_with(".xml");
}

TEST(ProfileFile, NamesNeverLeadOutsideTheDirectory)
{
    const struct {
        std::string name;
        std::string stem; // the file name before ".xml" or "~<hash>.xml"
        bool changed;
    } cases[] = {
        {"a/b", "a_b", true},
        {"../../escape", ".._.._escape", true},
        {"/etc/passwd", "_etc_passwd", true},
        {".", "_", true},
        {"..", "__", true},
        {"...", "...", false},
        {"", "", false},
        {"bad\xFFname", "bad\xEF\xBF\xBDname", true},
    };
    for (const auto& c : cases) {
        TempDir root;
        const std::filesystem::path dir = root / "profiles";
        std::filesystem::create_directory(dir);
        CProfile profile;
        profile.setName(c.name);
        ASSERT_TRUE(profile.save(dir.string())) << c.name;
        EXPECT_EQ(listDirectory(root.path), std::vector<std::string>{"profiles"}) << c.name;
        const std::vector<std::string> files = listDirectory(dir);
        ASSERT_EQ(files.size(), 1u) << c.name;
        if (c.changed) {
            EXPECT_TRUE(isStemWithHash(files[0], c.stem)) << files[0];
        } else {
            EXPECT_EQ(files[0], c.stem + ".xml");
        }
        CProfile loaded;
        ASSERT_TRUE(loaded.load((dir / files[0]).string())) << c.name;
        EXPECT_EQ(loaded.getName(), storableText(c.name));
    }
}

// Names that the file name had to change never share a file with each other, nor with the
// plain name they were changed into.
TEST(ProfileFile, DifferentNamesNeverShareAFile)
{
    const std::string longName(300, 'L');
    const std::string groups[][3] = {
        {longName, longName + "tail", longName.substr(0, 240)},
        {"a/b", "a_b", "a\\b"},
        {"bad\xFFname", "bad\xFEname", "bad\xEF\xBF\xBDname"},
        {".", "_", ".."},
    };
    for (const auto& names : groups) {
        TempDir dir;
        for (const std::string& name : names)
            ASSERT_TRUE(profileWithHistory(name, 1).save(dir.path.string())) << name;
        EXPECT_EQ(listDirectory(dir.path).size(), 3u) << names[0];
    }
}

TEST(ProfileFile, LongNamesAreCutToAValidFileName)
{
    // 200 two-byte characters: the file name is cut at a character boundary.
    std::string name;
    for (int i = 0; i < 200; ++i)
        name += "\xC3\xA9";
    const std::string file = profileFileName(name);
    EXPECT_LE(file.size() + std::string(".removed.99").size(), 255u);
    EXPECT_EQ(file.substr(file.size() - 4), ".xml");
    EXPECT_EQ(storableText(file), file); // no split character
    EXPECT_TRUE(isStemWithHash(file, file.substr(0, file.size() - 21))) << file;
}
