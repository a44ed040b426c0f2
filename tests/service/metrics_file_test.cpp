// The metrics file on a real file system: whole replacement, and failures told once.

#include "service/metrics_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <stdlib.h>
#include <sys/stat.h>

namespace {

struct TempDirectory {
    TempDirectory()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-metrics-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TempDirectory()
    {
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        std::filesystem::remove_all(path);
    }
    std::filesystem::path path;
};

std::string contentOf(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST(MetricsFile, ReplacesTheFileAndNeverWritesThroughALinkAtTheTemporaryName)
{
    TempDirectory dir;
    const std::filesystem::path target = dir.path / "velmora.prom";
    const std::filesystem::path victim = dir.path / "victim";
    std::ofstream(victim) << "keep";
    std::filesystem::create_symlink(victim, dir.path / "velmora.prom.tmp");
    MetricsFile file(target);
    EXPECT_EQ(file.write("a 1\n# EOF\n"), "");
    EXPECT_EQ(file.write("a 2\n# EOF\n"), "");
    EXPECT_EQ(contentOf(target), "a 2\n# EOF\n");
    EXPECT_EQ(contentOf(victim), "keep");
    EXPECT_FALSE(std::filesystem::exists(dir.path / "velmora.prom.tmp"));
    struct stat info{};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_TRUE(info.st_mode & S_IROTH) << "the collector runs as another user";
}

TEST(MetricsFile, AFailureIsToldOnceWithItsReasonAndTheRecoveryOnce)
{
    TempDirectory dir;
    MetricsFile file(dir.path / "missing" / "velmora.prom");
    const std::string first = file.write("a 1\n");
    EXPECT_NE(first.find("cannot create the temporary file: No such file or directory"), std::string::npos)
        << first;
    EXPECT_EQ(file.write("a 1\n"), "");
    std::filesystem::create_directory(dir.path / "missing");
    EXPECT_NE(file.write("a 1\n").find("written again"), std::string::npos);
    EXPECT_EQ(file.write("a 1\n"), "");
}
