#pragma once
// One running Velmora per data directory. Two copies writing the same profiles/ would each
// overwrite the other's day totals, so every program that counts into a data directory holds
// an exclusive flock(2) on "<directory>/velmora.lock" for its whole run. The kernel drops the
// lock when the holder ends, however it ends, so a killed copy's lock is simply taken over;
// the file itself stays and only carries the holder's pid for people reading it.

#include <filesystem>
#include <string>

class InstanceLock {
public:
    enum class State {
        Acquired,    // this process holds the lock until it is destroyed
        HeldByOther, // another process holds it: a copy already runs on this directory
        Failed,      // the lock file could not be opened or locked; see lastError()
    };

    static constexpr const char* kFileName = "velmora.lock";

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Tries once, without waiting. Calling it again after Acquired changes nothing.
    State acquire(const std::filesystem::path& dataDirectory);
    bool isHeld() const { return fd >= 0; }
    const std::string& lastError() const { return error; }

private:
    int fd = -1;
    std::string error;
};
