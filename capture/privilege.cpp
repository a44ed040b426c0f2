#include "capture/privilege.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

#include <linux/capability.h>
#include <linux/securebits.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::string describe(const char* step)
{
    return std::string(step) + ": " + std::strerror(errno);
}

// The highest capability number this kernel knows: PR_CAPBSET_READ fails with EINVAL beyond it.
int lastCapability()
{
    int last = 0;
    while (last < 127 && prctl(PR_CAPBSET_READ, last + 1, 0, 0, 0) >= 0)
        ++last;
    return last;
}

} // namespace

bool dropAllCapabilities(std::string* failure)
{
    // Bounding set first: dropping from it needs CAP_SETPCAP, gone after the capset below.
    // Refused (EPERM) for an unprivileged process holding file capabilities only; that is fine.
    const int last = lastCapability();
    for (int capability = 0; capability <= last; ++capability)
        if (prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0 && errno != EPERM && errno != EINVAL) {
            if (failure != nullptr)
                *failure = describe("PR_CAPBSET_DROP");
            return false;
        }
    // As root, an exec would give back every capability: forbid it (needs CAP_SETPCAP too).
    if (geteuid() == 0 || getuid() == 0)
        prctl(PR_SET_SECUREBITS, SECBIT_NOROOT | SECBIT_NOROOT_LOCKED, 0, 0, 0);
    if (prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0 && errno != EINVAL) {
        if (failure != nullptr)
            *failure = describe("PR_CAP_AMBIENT_CLEAR_ALL");
        return false;
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct empty[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capset, &header, empty) != 0) {
        if (failure != nullptr)
            *failure = describe("capset");
        return false;
    }
    // Check what the kernel now holds rather than trusting the call.
    __user_cap_data_struct held[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, held) != 0) {
        if (failure != nullptr)
            *failure = describe("capget");
        return false;
    }
    for (const __user_cap_data_struct& word : held)
        if (word.permitted != 0 || word.effective != 0 || word.inheritable != 0) {
            if (failure != nullptr)
                *failure = "capabilities remain after capset";
            return false;
        }
    return true;
}

bool keepOnlyCapabilities(std::initializer_list<int> kept, std::string* failure)
{
    const auto fail = [failure](std::string text) {
        if (failure != nullptr)
            *failure = std::move(text);
        return false;
    };
    std::uint64_t mask = 0;
    for (int capability : kept)
        mask |= std::uint64_t(1) << capability;
    const int last = lastCapability();
    for (int capability = 0; capability <= last; ++capability)
        if ((mask & (std::uint64_t(1) << capability)) == 0 && prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0 &&
            errno != EPERM && errno != EINVAL)
            return fail(describe("PR_CAPBSET_DROP"));
    if (prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0 && errno != EINVAL)
        return fail(describe("PR_CAP_AMBIENT_CLEAR_ALL"));
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return fail(describe("PR_SET_NO_NEW_PRIVS"));
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct sets[_LINUX_CAPABILITY_U32S_3] = {};
    for (int word = 0; word < _LINUX_CAPABILITY_U32S_3; ++word)
        sets[word].permitted = sets[word].effective = std::uint32_t(mask >> (32 * word));
    if (syscall(SYS_capset, &header, sets) != 0)
        return fail(describe("capset"));
    return true;
}
