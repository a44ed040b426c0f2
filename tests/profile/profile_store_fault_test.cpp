// The profile directory when it holds surprises (one name in several files, names an earlier
// version wrote, temporaries of a killed save) and when saving it fails.

#include "profile/profile_store.h"
#include "support/profile_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

std::string fileOf(const std::string& name, const std::string& ip)
{
    return profileFileText("<name>" + name + "</name><ip>" + ip + "</ip>");
}

const CProfile* findProfile(const ProfileList& profiles, const std::string& name)
{
    for (const CProfile& profile : profiles)
        if (profile.getName() == name)
            return &profile;
    return nullptr;
}

} // namespace

TEST(ProfileStoreFaults, OneProfilePerNameTheOwnFileWins)
{
    const std::string longName(300, 'L');
    const struct {
        const char* label;
        std::vector<std::pair<std::string, std::string>> files; // file name, address
        std::string name;
        std::string loadedAddress;
    } cases[] = {
        {"a copy kept as Backup.xml", {{"Backup.xml", "192.0.2.2"}, {"Home.xml", "192.0.2.1"}},
         "Home", "192.0.2.1"},
        {"two copies, neither its own", {{"Zcopy.xml", "192.0.2.3"}, {"Acopy.xml", "192.0.2.2"}},
         "Home", "192.0.2.2"},
        {"a long name under its old and its new file name",
         {{legacyProfileFileName(longName), "192.0.2.1"}, {profileFileName(longName), "192.0.2.2"}},
         longName, "192.0.2.2"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        for (const auto& [file, ip] : c.files)
            writeFile(dir / file, fileOf(c.name, ip));
        testing::internal::CaptureStderr();
        ProfileList profiles;
        loadAllProfiles(profiles, dir.path, "");
        const std::string said = testing::internal::GetCapturedStderr();
        ASSERT_EQ(profiles.size(), 2u) << c.label; // Default and the one profile
        ASSERT_NE(findProfile(profiles, c.name), nullptr) << c.label;
        EXPECT_EQ(findProfile(profiles, c.name)->getIp(), c.loadedAddress) << c.label;
        EXPECT_NE(said.find("not loaded"), std::string::npos) << c.label;
        // The save writes the winner's file; the other file keeps its bytes.
        ASSERT_TRUE(saveAllProfiles(profiles, {}, dir.path));
        for (const auto& [file, ip] : c.files)
            if (ip != c.loadedAddress) {
                EXPECT_EQ(readFile(dir / file), fileOf(c.name, ip)) << c.label;
                EXPECT_NE(said.find(file), std::string::npos) << said;
            }
    }
}

TEST(ProfileStoreFaults, FilesOfTheOldNamingMoveToTheirOwnName)
{
    TempDir dir;
    const std::string longName(300, 'L');
    for (const std::string& name : {std::string("a/b"), longName})
        writeFile(dir / legacyProfileFileName(name), fileOf(name, "192.0.2.1"));
    writeFile(dir / "a_b~.xml", fileOf("a_b~", "192.0.2.9")); // plain name, left alone
    const std::vector<std::string> before = listDirectory(dir.path);
    ProfileList profiles;
    loadAllProfiles(profiles, dir.path, "");
    EXPECT_EQ(listDirectory(dir.path), before); // a reader alone changes nothing
    loadAllProfiles(profiles, dir.path, "", LoadMode::Owner);
    ASSERT_TRUE(saveAllProfiles(profiles, {}, dir.path));
    std::vector<std::string> expected = {"Default.xml", "a_b~.xml", profileFileName("a/b"),
                                         profileFileName(longName)};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listDirectory(dir.path), expected);
    ProfileList again;
    loadAllProfiles(again, dir.path, "");
    EXPECT_EQ(again.size(), 4u);
}

// A file that cannot be loaded under the name a loaded profile saves to: the save would replace
// it, so the owner renames it first; its bytes survive.
TEST(ProfileStoreFaults, UnloadedFilesAreNeverReplacedBySaves)
{
    const std::string crafted = profileFileText("<name>unclosed");
    const struct {
        const char* label;
        std::string file;
        std::string backup; // a loadable file holding the name the bad file is named after
    } cases[] = {
        {"Default.xml rejected: a fresh Default is made", "Default.xml", ""},
        {"Home.xml rejected, Home loaded from Backup.xml", "Home.xml", "Backup.xml"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        writeFile(dir / c.file, crafted);
        if (!c.backup.empty())
            writeFile(dir / c.backup, fileOf("Home", "192.0.2.1"));
        testing::internal::CaptureStderr();
        ProfileList profiles;
        loadAllProfiles(profiles, dir.path, "", LoadMode::Owner);
        const std::string said = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(saveAllProfiles(profiles, {}, dir.path));
        EXPECT_EQ(readFile(dir / (c.file + ".rejected")), crafted) << c.label;
        EXPECT_NE(said.find("kept as"), std::string::npos) << c.label;
        ProfileList again;
        loadAllProfiles(again, dir.path, "", LoadMode::Owner);
        EXPECT_EQ(again.size(), profiles.size()) << c.label;
    }
}

TEST(ProfileStoreFaults, TemporariesOfAKilledSaveAreRemovedAtLoad)
{
    TempDir dir;
    writeFile(dir / "Home.xml", fileOf("Home", "192.0.2.1"));
    writeFile(dir / "Home.xml.tmp", "half a docu");
    writeFile(dir / "Gone.xml.tmp", "<?xml");
    // Not of the save's pattern, or not a regular file: kept.
    writeFile(dir / "notes.tmp", "mine");
    writeFile(dir / "Home.xml.tmp.keep", "mine");
    std::filesystem::create_directory(dir / "Dir.xml.tmp");
    std::filesystem::create_symlink("Home.xml", dir / "Link.xml.tmp");
    ProfileList profiles;
    loadAllProfiles(profiles, dir.path, "");
    EXPECT_EQ(listDirectory(dir.path).size(), 7u); // a reader alone changes nothing
    loadAllProfiles(profiles, dir.path, "", LoadMode::Owner);
    EXPECT_EQ(listDirectory(dir.path),
              (std::vector<std::string>{"Dir.xml.tmp", "Home.xml", "Home.xml.tmp.keep",
                                        "Link.xml.tmp", "notes.tmp"}));
}

TEST(ProfileStoreFaults, SaveKeepsPermissionBits)
{
    TempDir dir;
    const mode_t modes[] = {0444, 0600, 0640, 0664};
    ProfileList profiles;
    for (const mode_t mode : modes) {
        const std::string name = "P" + std::to_string(mode);
        writeFile(dir / (name + ".xml"), fileOf(name, "192.0.2.1"));
        ASSERT_EQ(::chmod((dir / (name + ".xml")).c_str(), mode), 0);
        profiles.push_back(makeDefaultProfile("192.0.2.2"));
        profiles.back().setName(name);
    }
    ASSERT_TRUE(saveAllProfiles(profiles, {}, dir.path));
    for (const mode_t mode : modes) {
        struct stat info {};
        const std::string name = "P" + std::to_string(mode);
        ASSERT_EQ(::stat((dir / (name + ".xml")).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode) << name;
        EXPECT_NE(readFile(dir / (name + ".xml")).find("192.0.2.2"), std::string::npos);
    }
}

TEST(ProfileStoreFaults, FailuresNameTheFileAndTheReason)
{
    TempDir dir;
    writeFile(dir / "file", "a regular file");
    std::filesystem::create_directories(dir / "profiles" / "Default.xml.tmp" / "inside");
    const ProfileList profiles = {makeDefaultProfile("")};
    const struct {
        std::filesystem::path directory;
        std::filesystem::path failedFile;
        std::string reason;
    } cases[] = {
        {dir / "file" / "profiles", dir / "file" / "profiles", "Not a directory"},
        {dir / "profiles", dir / "profiles" / "Default.xml", "File exists"},
    };
    for (const auto& c : cases) {
        SaveFailures failures;
        EXPECT_FALSE(saveAllProfiles(profiles, {}, c.directory, &failures));
        ASSERT_EQ(failures.size(), 1u) << c.directory;
        EXPECT_EQ(failures[0].file, c.failedFile);
        EXPECT_EQ(failures[0].reason, c.reason);
    }
}
