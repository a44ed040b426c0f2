#include "daemon/startup_pages.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <vector>

namespace {

struct Mapping {
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
    bool candidate = false; // private, not writable, backed by a file
    bool changed = false;   // holds an anonymous (copied-on-write) page
};

} // namespace

int releaseStartupPages()
{
    std::FILE* smaps = std::fopen("/proc/self/smaps", "re");
    if (!smaps)
        return 0;
    std::vector<Mapping> mappings;
    char line[4096];
    while (std::fgets(line, sizeof line, smaps)) {
        std::uintptr_t start = 0, end = 0;
        char permissions[8] = {};
        int pathStart = 0;
        if (std::sscanf(line, "%lx-%lx %7s %*s %*s %*s %n", &start, &end, permissions, &pathStart) >= 3 &&
            std::strchr(line, '-') < std::strchr(line, ' ')) {
            Mapping mapping;
            mapping.start = start;
            mapping.end = end;
            mapping.candidate = pathStart > 0 && line[pathStart] == '/' && permissions[1] != 'w' &&
                                permissions[3] == 'p';
            mappings.push_back(mapping);
            continue;
        }
        unsigned long kilobytes = 0;
        if (!mappings.empty() && std::sscanf(line, "Anonymous: %lu kB", &kilobytes) == 1 && kilobytes > 0)
            mappings.back().changed = true;
    }
    std::fclose(smaps);
    int released = 0;
    for (const Mapping& mapping : mappings)
        if (mapping.candidate && !mapping.changed &&
            madvise(reinterpret_cast<void*>(mapping.start), mapping.end - mapping.start, MADV_DONTNEED) == 0)
            ++released;
    return released;
}
