// Loading the profile list from its directory and writing it back.

#include "profile/profile_store.h"
#include "profile/profile_writer.h"
#include "support/profile_files.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

std::string namedProfile(const std::string& name, const std::string& ip = "10.0.0.1")
{
    return profileFileText("<name>" + name + "</name><ip>" + ip + "</ip>");
}

std::vector<std::string> namesOf(const ProfileList& profiles)
{
    std::vector<std::string> names;
    for (const CProfile& profile : profiles)
        names.push_back(profile.getName());
    return names;
}

// The stems of the ".xml" files of a directory, in plain byte order.
std::vector<std::string> sortedXmlStems(const std::filesystem::path& directory)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        if (entry.path().extension() == ".xml" || entry.path().filename() == ".xml")
            names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

void expectDefaultProfile(const CProfile& profile, const std::string& ip)
{
    EXPECT_EQ(profile.getName(), "Default");
    EXPECT_EQ(profile.getIp(), ip);
    ASSERT_EQ(profile.ipFilter.size(), 1u);
    EXPECT_EQ(profile.ipFilter[0].pattern, "*.*.*.*");
    EXPECT_TRUE(profile.ipFilter[0].allow);
    ASSERT_EQ(profile.portFilter.size(), 1u);
    EXPECT_EQ(profile.portFilter[0].port, 0);
    EXPECT_TRUE(profile.portFilter[0].allow);
    EXPECT_TRUE(profile.history.empty());
}

} // namespace

TEST(ProfileStore, EmptyOrMissingDirectoryGivesOnlyTheDefaultProfile)
{
    TempDir dir;
    ProfileList profiles(3);
    loadAllProfiles(profiles, dir.path, "192.0.2.7");
    ASSERT_EQ(profiles.size(), 1u);
    expectDefaultProfile(profiles[0], "192.0.2.7");

    loadAllProfiles(profiles, dir / "missing", "");
    ASSERT_EQ(profiles.size(), 1u);
    expectDefaultProfile(profiles[0], "");
}

// The directory's own order is arbitrary; the profiles come by file name, ignoring case,
// after a Default made because no file names it.
TEST(ProfileStore, ProfilesComeByFileNameIgnoringCaseAfterAMadeDefault)
{
    TempDir dir;
    for (const char* stem : {"work", "Zoo", "b", "A", "Default", "B", "apple"})
        writeFile(dir / (std::string(stem) + ".xml"), namedProfile(stem == std::string("Default") ? "Other" : stem));
    ProfileList profiles;
    loadAllProfiles(profiles, dir.path, "192.0.2.7");
    const std::vector<std::string> expected = {"Default", "A", "apple", "B", "b", "Other", "work", "Zoo"};
    EXPECT_EQ(namesOf(profiles), expected);
    expectDefaultProfile(profiles[0], "192.0.2.7");
}

TEST(ProfileStore, OnlyReadableXmlFilesBecomeProfiles)
{
    TempDir dir;
    const std::string broken = "<Profiles><Profile><name>Broken</name>";
    writeFile(dir / "broken.xml", broken);
    writeFile(dir / "empty.xml", "");
    std::filesystem::create_directory(dir / "folder.xml");
    writeFile(dir / "folder.xml" / "inner.xml", namedProfile("Inner"));
    writeFile(dir / "Work.xml.tmp", namedProfile("Tmp"));
    writeFile(dir / "Work.xml.removed", namedProfile("Removed"));
    writeFile(dir / "upper.XML", namedProfile("Upper"));
    writeFile(dir / "notes.txt", namedProfile("Notes"));
    writeFile(dir / "Default.xml", namedProfile("Default"));
    ProfileList profiles;
    loadAllProfiles(profiles, dir.path, "192.0.2.7");
    EXPECT_EQ(namesOf(profiles), std::vector<std::string>{"Default"});
    EXPECT_EQ(readFile(dir / "broken.xml"), broken); // skipped, never rewritten
}

TEST(ProfileStore, FileWithoutProfileElementComesBackAsDotXml)
{
    TempDir dir;
    writeFile(dir / "odd.xml", "<?xml version=\"1.0\"?><Settings/>");
    ProfileList profiles;
    loadAllProfiles(profiles, dir.path, "");
    EXPECT_EQ(namesOf(profiles), (std::vector<std::string>{"Default", ""}));
    ASSERT_TRUE(saveAllProfiles(profiles, {}, dir.path));
    EXPECT_EQ(listDirectory(dir.path),
              (std::vector<std::string>{".xml", "Default.xml", "odd.xml"}));
    // ".xml" itself is a profile file; it holds the same (empty) name as odd.xml and, being
    // that name's own file, is the one loaded.
    loadAllProfiles(profiles, dir.path, "");
    EXPECT_EQ(profiles.size(), 2u);
}

TEST(ProfileStore, PathsHaveNoLengthLimit)
{
    TempDir dir;
    std::filesystem::path deep = dir.path;
    for (int i = 0; i < 6; ++i)
        deep /= std::string(60, 'd');
    const std::string name(200, 'n');
    ProfileList profiles = {makeDefaultProfile("")};
    profiles.emplace_back().setName(name);
    ASSERT_TRUE(saveAllProfiles(profiles, {}, deep));
    ASSERT_GT((deep / (name + ".xml")).string().size(), 512u);
    ProfileList loaded;
    loadAllProfiles(loaded, deep, "");
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_TRUE(loaded[0].getName() == name || loaded[1].getName() == name);
}

TEST(ProfileStore, SaveCreatesTheDirectoryAndRoundTrips)
{
    TempDir dir;
    const std::filesystem::path profilesDir = dir / "home" / "profiles";
    ProfileList profiles = {makeDefaultProfile("192.0.2.7")};
    CProfile work;
    work.setName("Work");
    work.setIp("192.0.2.8");
    work.addIpFilter("10.*.*.*", false);
    work.addToDayHistory(777, false, LocalDate{2024, 11, 31});
    profiles.push_back(work);
    ASSERT_TRUE(saveAllProfiles(profiles, {}, profilesDir));
    ProfileList loaded;
    loadAllProfiles(loaded, profilesDir, "unused");
    ASSERT_EQ(loaded.size(), 2u);
    for (const CProfile& profile : loaded) {
        const CProfile& original = profile.getName() == "Work" ? profiles[1] : profiles[0];
        EXPECT_EQ(profileDocument(profile), profileDocument(original));
    }
}

TEST(ProfileStore, RemovedProfilesAreSetAsideNotDeleted)
{
    TempDir dir;
    CProfile work;
    work.setName("Work");
    work.addToDayHistory(123, true, LocalDate{2024, 0, 1});
    CProfile slash;
    slash.setName("a/b");
    ProfileList profiles = {makeDefaultProfile(""), work, slash};
    ASSERT_TRUE(saveAllProfiles(profiles, {}, dir.path));
    const std::string workFile = readFile(dir / "Work.xml");

    profiles = {makeDefaultProfile("")};
    ASSERT_TRUE(saveAllProfiles(profiles, {"Work", "a/b", "NeverSaved"}, dir.path));
    const std::string slashFile = profileFileName("a/b");
    EXPECT_EQ(listDirectory(dir.path),
              (std::vector<std::string>{"Default.xml", "Work.xml.removed", slashFile + ".removed"}));
    EXPECT_EQ(readFile(dir / "Work.xml.removed"), workFile);
    ProfileList loaded;
    loadAllProfiles(loaded, dir.path, "");
    EXPECT_EQ(namesOf(loaded), std::vector<std::string>{"Default"});

    // Saving again with the same list changes nothing; a second Work removed later does
    // not overwrite the first one's history.
    ASSERT_TRUE(saveAllProfiles(profiles, {"Work"}, dir.path));
    profiles.push_back(work);
    ASSERT_TRUE(saveAllProfiles(profiles, {}, dir.path));
    profiles.pop_back();
    ASSERT_TRUE(saveAllProfiles(profiles, {"Work"}, dir.path));
    EXPECT_EQ(listDirectory(dir.path),
              (std::vector<std::string>{"Default.xml", "Work.xml.removed", "Work.xml.removed.2",
                                        slashFile + ".removed"}));
    EXPECT_EQ(readFile(dir / "Work.xml.removed"), workFile);
}

TEST(ProfileStore, RemovedNameStillCarriedKeepsItsFile)
{
    TempDir dir;
    CProfile work;
    work.setName("Work");
    work.setIp("192.0.2.5");
    // "Work" was removed and a new profile of that name added afterwards.
    const ProfileList profiles = {makeDefaultProfile(""), work};
    ASSERT_TRUE(saveAllProfiles(profiles, {"Work", "Default"}, dir.path));
    EXPECT_EQ(listDirectory(dir.path), (std::vector<std::string>{"Default.xml", "Work.xml"}));
}

TEST(ProfileStore, ManyFilesKeepFileNameOrder)
{
    // Enough files for the load to be shared between threads.
    TempDir dir;
    for (int i = 0; i < 70; ++i) {
        const std::string name = "P" + std::to_string(i);
        writeFile(dir / (name + ".xml"), i % 9 == 4 ? "<broken" : namedProfile(name));
    }
    // Default read from a file of another name keeps its place and its own address.
    writeFile(dir / "Home.xml", namedProfile("Default", "192.0.2.99"));
    std::vector<std::string> expected;
    for (const std::string& stem : sortedXmlStems(dir.path))
        if (stem == "Home")
            expected.push_back("Default");
        else if (std::stoi(stem.substr(1)) % 9 != 4)
            expected.push_back(stem);
    ProfileList profiles;
    loadAllProfiles(profiles, dir.path, "");
    EXPECT_EQ(namesOf(profiles), expected);
    for (const CProfile& profile : profiles)
        if (profile.getName() == "Default") {
            EXPECT_EQ(profile.getIp(), "192.0.2.99");
        }
    EXPECT_EQ(readFile(dir / "P4.xml"), "<broken");
}

TEST(ProfileStore, SavesMoreProfilesThanFilesHeldOpenAtOnce)
{
    TempDir dir;
    ProfileList profiles;
    for (int i = 0; i < 150; ++i)
        profiles.push_back(makeDefaultProfile("192.0.2." + std::to_string(i)));
    profiles[0].setName("Default");
    for (int i = 1; i < 150; ++i)
        profiles[i].setName("N" + std::to_string(i % 140)); // N0 to N9 twice: later wins
    ASSERT_TRUE(saveAllProfiles(profiles, {}, dir.path));
    ProfileList loaded;
    loadAllProfiles(loaded, dir.path, "");
    ASSERT_EQ(loaded.size(), 141u); // Default, N0 to N139
    for (const CProfile& profile : loaded)
        if (profile.getName() == "N5") {
            EXPECT_EQ(profile.getIp(), "192.0.2.145");
        }
}
