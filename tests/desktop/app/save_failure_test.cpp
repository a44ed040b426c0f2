// The window while its saves fail: what the user is told, and that nothing counted is lost
// once the disk takes the files again.
#include "desktop/app/main_dlg.h"
#include "profile/profile_store.h"
#include "profile/profile_writer.h"

#include <QMessageBox>
#include <cstdio>
#include <fcntl.h>
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
    std::unique_lock lock(window.monitorEngine().profiles().guard);
    for (CProfile& profile : window.monitorEngine().profiles().profiles)
        profile.addToDayHistory(bytes, true, kDay);
}

std::string documentInMemory(CMainDlg& window, const std::string& name)
{
    for (const CProfile& profile : window.monitorEngine().profiles().snapshot())
        if (profile.getName() == name)
            return profileDocument(profile);
    return {};
}

// Swaps two paths in one step: the engine saves on a thread of its own, and must never find
// the profile directory missing (it would create a new one).
void exchangePaths(const std::filesystem::path& a, const std::filesystem::path& b)
{
    ASSERT_EQ(::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE), 0);
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
        std::ofstream(away) << "profiles/ replaced by a file";
        exchangePaths(dir, away);
    };
    const auto repairDisk = [&] {
        exchangePaths(dir, away);
        std::filesystem::remove(away);
    };

    testing::internal::CaptureStderr();
    count(window, 1000);
    breakDisk();
    EXPECT_TRUE(QTest::qWaitFor([&] { return boxes() == 1; }, 5000));
    count(window, 2000);
    QTest::qWait(300); // several more failed saves: no second line, no second box
    repairDisk();
    const std::string home2 = (dir / "Home.xml").string();
    // Saves run on the engine's own thread: wait until the window has heard that one succeeded,
    // so the disk is not taken away again in the middle of it.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            CProfile saved;
            return !window.trayController().tooltipText().contains(QStringLiteral("Not saved: ")) &&
                   saved.load(home2) && profileDocument(saved) == documentInMemory(window, "Home");
        },
        5000));
    // A second episode: told again on standard error, but the box came once this run.
    breakDisk();
    QTest::qWait(300);
    EXPECT_EQ(boxes(), 1u);
    window.shutdown();
    const std::string said = testing::internal::GetCapturedStderr();

    // One line per episode. The first names the directory; the second may name a file of
    // a save the break caught half-way (saves run on the engine's thread).
    EXPECT_EQ(countOf(said, "velmora: could not save "), 2u) << said;
    const std::string firstLine = "velmora: could not save " + dir.string() + ": Not a directory;";
    EXPECT_EQ(said.find("velmora: could not save "), said.find(firstLine)) << said;
    EXPECT_EQ(countOf(said, "saved again"), 1u) << said;
    EXPECT_EQ(countOf(said, "gave up saving at exit"), 1u) << said;
    EXPECT_TRUE(window.exitSaveFailed());
    CProfile saved;
    ASSERT_TRUE(saved.load(away.string() + "/Home.xml"));
    EXPECT_EQ(saved.findYear(kDay.year)->days[YearHistory::slotOf(kDay.month, kDay.day)].down,
              3000.0);
}
