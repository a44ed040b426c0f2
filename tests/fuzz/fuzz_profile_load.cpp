// Arbitrary bytes as a profile file through the loader. Whatever the file holds, loading
// must neither crash nor leak, and a loaded profile must save and load again.
#include "profile/profile.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

const std::filesystem::path& workDirectory()
{
    static const std::filesystem::path dir = [] {
        std::filesystem::path d = std::filesystem::temp_directory_path() /
                                  ("velmora-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::filesystem::path file = workDirectory() / "input.xml";
    if (std::FILE* out = std::fopen(file.c_str(), "wb")) {
        std::fwrite(data, 1, size, out);
        std::fclose(out);
    }
    CProfile profile;
    if (!profile.load(file.string()))
        return 0;
    // What loads must survive its own save: written into a directory of its own.
    const std::filesystem::path saved = workDirectory() / "saved";
    std::filesystem::remove_all(saved);
    std::filesystem::create_directories(saved);
    if (profile.save(saved.string())) {
        for (const auto& entry : std::filesystem::directory_iterator(saved)) {
            CProfile again;
            if (entry.path().extension() == ".xml" && !again.load(entry.path().string()))
                __builtin_trap(); // a saved profile that cannot be read back
        }
    }
    return 0;
}
