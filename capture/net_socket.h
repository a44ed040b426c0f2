#pragma once
// The program's one kind of socket object: a thin owner of one socket handle (the capture's
// packet socket) that turns each failed call into an error text (socket_errors.h) for the
// windows and the log.

#include <cstdint>
#include <string>

#include <sys/socket.h>

class CNetSocket {
public:
    static constexpr int kInvalidHandle = -1;

    CNetSocket() = default;
    // Adopts `socketHandle`: the object closes it. No option is set on it.
    explicit CNetSocket(int socketHandle) : handle(socketHandle) {}
    CNetSocket(const CNetSocket&) = delete;
    CNetSocket& operator=(const CNetSocket&) = delete;
    ~CNetSocket();

    // Releases the handle: true when it was closed. Without one, false and a text.
    bool close();
    bool setOption(int level, int option, std::int32_t value);
    // An option whose value is a structure (packet rings, socket filters).
    bool setOptionBytes(int level, int option, const void* value, socklen_t size);
    bool readOption(int level, int option, void* value, socklen_t* size);
    // Binds a packet socket to one interface (0: every interface) for `protocol` (host order).
    bool bindInterface(int interfaceIndex, std::uint16_t protocol);

    int socketHandle() const { return handle; }
    // The text of the most recent failure: the socket error's name, a line feed and its words.
    const std::string& lastError() const { return lastErrorText; }

private:
    bool recordFailure();

    int handle = kInvalidHandle;
    std::string lastErrorText;
};
