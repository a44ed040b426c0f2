// The metrics file on a real file system: whole replacement, and failures told once.

#include "service/metrics_file.h"

#include "support/profile_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

TEST(MetricsFile, ReplacesTheFileAndNeverWritesThroughALinkAtTheTemporaryName)
{
    TempDir dir;
    const std::filesystem::path target = dir.path / "velmora.prom";
    const std::filesystem::path victim = dir.path / "victim";
    writeFile(victim, "keep");
    std::filesystem::create_symlink(victim, dir.path / "velmora.prom.tmp");
    MetricsFile file(target);
    EXPECT_EQ(file.write("a 1\n# EOF\n"), "");
    EXPECT_EQ(file.write("a 2\n# EOF\n"), "");
    EXPECT_EQ(readFile(target), "a 2\n# EOF\n");
    EXPECT_EQ(readFile(victim), "keep");
    EXPECT_FALSE(std::filesystem::exists(dir.path / "velmora.prom.tmp"));
    struct stat info{};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_TRUE(info.st_mode & S_IROTH) << "the collector runs as another user";
}

TEST(MetricsFile, AFailureIsToldOnceWithItsReasonAndTheRecoveryOnce)
{
    TempDir dir;
    MetricsFile file(dir.path / "missing" / "velmora.prom");
    const std::string first = file.write("a 1\n");
    EXPECT_NE(first.find("velmora.prom: No such file or directory"), std::string::npos)
        << first;
    EXPECT_EQ(file.write("a 1\n"), "");
    std::filesystem::create_directory(dir.path / "missing");
    EXPECT_NE(file.write("a 1\n").find("written again"), std::string::npos);
    EXPECT_EQ(file.write("a 1\n"), "");
}
