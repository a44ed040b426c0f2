// The window while its saves fail: what the user is told, and that nothing counted is lost
// once the disk takes the files again.
#include "app/main_dlg.h"
#include "profile/profile_store.h"
#include "profile/profile_writer.h"

#include <QMessageBox>
#include <fstream>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const LocalDate kDay{2026, 5, 17};

std::size_t countOf(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

void count(CMainDlg& window, long long bytes)
{
    std::unique_lock lock(window.sharedProfiles().guard);
    for (CProfile& profile : window.sharedProfiles().profiles)
        profile.addToDayHistory(bytes, true, kDay);
}

std::string documentInMemory(CMainDlg& window, const std::string& name)
{
    for (const CProfile& profile : window.sharedProfiles().snapshot())
        if (profile.getName() == name)
            return profileDocument(profile);
    return {};
}

} // namespace

TEST(SaveFailureWindow, ToldOncePerEpisodeAndNothingLostAfterRecovery)
{
    QTemporaryDir temp;
    const std::filesystem::path dir = std::filesystem::path(temp.path().toStdString()) / "profiles";
    const std::filesystem::path away = dir.string() + ".away";
    CProfile home = makeDefaultProfile("192.0.2.1");
    home.setName("Home");
    ASSERT_TRUE(saveAllProfiles({home}, {}, dir));
    MainDlgOptions options;
    options.profileDirectory = dir;
    options.startWorkers = false;
    options.saveInterval = std::chrono::milliseconds(40);
    options.exitSavePatience = std::chrono::milliseconds(300);
    CMainDlg window(options);
    const auto boxes = [&] { return window.findChildren<QMessageBox*>("saveFailureBox").size(); };
    const auto breakDisk = [&] {
        std::filesystem::rename(dir, away);
        std::ofstream(dir) << "profiles/ replaced by a file";
    };
    const auto repairDisk = [&] {
        std::filesystem::remove(dir);
        std::filesystem::rename(away, dir);
    };

    testing::internal::CaptureStderr();
    count(window, 1000);
    breakDisk();
    EXPECT_TRUE(QTest::qWaitFor([&] { return boxes() == 1; }, 5000));
    count(window, 2000);
    QTest::qWait(300); // several more failed saves: no second line, no second box
    repairDisk();
    const std::string home2 = (dir / "Home.xml").string();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            CProfile saved;
            return saved.load(home2) && profileDocument(saved) == documentInMemory(window, "Home");
        },
        5000));
    // A second episode: told again on standard error, but the box came once this run.
    breakDisk();
    QTest::qWait(300);
    EXPECT_EQ(boxes(), 1u);
    window.shutdown();
    const std::string said = testing::internal::GetCapturedStderr();

    EXPECT_EQ(countOf(said, "velmora: could not save " + dir.string() + ": Not a directory;"), 2u)
        << said;
    EXPECT_EQ(countOf(said, "saved again"), 1u) << said;
    EXPECT_EQ(countOf(said, "gave up saving at exit"), 1u) << said;
    EXPECT_TRUE(window.exitSaveFailed());
    CProfile saved;
    ASSERT_TRUE(saved.load(away.string() + "/Home.xml"));
    EXPECT_EQ(saved.findYear(kDay.year)->days[YearHistory::slotOf(kDay.month, kDay.day)].down,
              3000.0);
}
