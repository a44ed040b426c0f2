#pragma once
// The program's only access to sockets: a thin object around one socket handle that turns each
// failed call into an error text (socket_errors.h), plus the host lookups the program needs.

#include <cstdint>
#include <string>
#include <vector>

#include <sys/socket.h>

// The operations every socket object offers, and the fields they share.
class CNetSocketBase {
public:
    static constexpr std::uint16_t kBacklog = 10;

    CNetSocketBase() = default;
    CNetSocketBase(const CNetSocketBase&) = delete;
    CNetSocketBase& operator=(const CNetSocketBase&) = delete;
    virtual ~CNetSocketBase() = default;

    virtual void markOpen() = 0;
    virtual void reset() = 0;
    virtual bool connect(const std::string& address, std::uint16_t port) = 0;
    virtual bool bindAny(std::uint16_t port) = 0;
    virtual bool bind(const std::string& address, std::uint16_t port) = 0;
    virtual bool close() = 0;
    virtual std::int32_t send(const std::uint8_t* data, std::int32_t length) = 0;
    virtual std::int32_t receive(std::uint8_t* buffer, std::int32_t size) = 0;
    virtual std::string resolve(const std::string& name) = 0;
    virtual std::string hostNameOf(const std::string& address) = 0;
    virtual std::string hostName() = 0;
    virtual std::string localAddresses() = 0;
    virtual std::string peerAddress() = 0;

    bool isOpen() const { return openFlag; }
    const std::string& address() const { return addressText; }
    std::uint16_t port() const { return portNumber; }
    std::uint16_t backlog() const { return backlogLength; }
    const std::string& lastError() const { return lastErrorText; }

protected:
    bool openFlag = false;         // after a successful connect or bind, until close
    std::string addressText;       // the address given to the last connect or bind
    std::uint16_t portNumber = 0;  // the port of the last successful connect or bind
    std::uint16_t backlogLength = kBacklog;
    std::string lastErrorText;     // text of the most recent failure that records one
};

// One IPv4 address of this machine and the interface that owns it.
struct LocalAddress {
    std::string address;    // dotted text as inet_ntoa writes it
    int interfaceIndex = 0; // if_nametoindex(3) of the owning interface
    std::string interfaceName;
};

// The IPv4 addresses of the interfaces that are up, loopback left out, in the order
// getifaddrs(3) lists them, each address once.
std::vector<LocalAddress> listLocalAddresses();

// Whether the interface `index` still exists under `name` (an interface that was deleted and
// created again gets a new index).
bool interfaceExists(int index, const std::string& name);

class CNetSocket : public CNetSocketBase {
public:
    static constexpr int kInvalidHandle = -1;

    CNetSocket() = default;
    // Adopts `socketHandle`: the object closes it. No option is set on it.
    explicit CNetSocket(int socketHandle) : handle(socketHandle) {}
    ~CNetSocket() override;

    void markOpen() override;
    void reset() override;
    // Dotted text only: no name lookup is made (see resolve).
    bool connect(const std::string& address, std::uint16_t port) override;
    bool bindAny(std::uint16_t port) override;
    // Binds to the address (any address for empty text), then listens; a refused listen is
    // recorded in lastError but does not make bind fail.
    bool bind(const std::string& address, std::uint16_t port) override;
    // Releases the handle whatever shutdown says: true when the handle was closed.
    bool close() override;
    std::int32_t send(const std::uint8_t* data, std::int32_t length) override;
    std::int32_t receive(std::uint8_t* buffer, std::int32_t size) override;
    std::string resolve(const std::string& name) override;
    std::string hostNameOf(const std::string& address) override;
    std::string hostName() override;
    // Each local address followed by one space: "a.b.c.d e.f.g.h ".
    std::string localAddresses() override;
    std::string peerAddress() override;

    bool ioctl(unsigned long command, std::int32_t argument);
    bool setOption(int level, int option, std::int32_t value);
    // An option whose value is a structure (packet rings, socket filters).
    bool setOptionBytes(int level, int option, const void* value, socklen_t size);
    bool readOption(int level, int option, void* value, socklen_t* size);
    // Binds a packet socket to one interface for `protocol` (host order), keeping `address`
    // as the address text of the socket.
    bool bindInterface(const std::string& address, int interfaceIndex, std::uint16_t protocol);

    int socketHandle() const { return handle; }

private:
    bool recordFailure();

    int handle = kInvalidHandle;
};
