// The stream operations of the socket wrapper over TCP and UDP on 127.0.0.1.

#include "capture/net_socket.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <netinet/in.h>
#include <unistd.h>

namespace {

CNetSocket makeSocket(int type)
{
    return CNetSocket(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
}

sockaddr_in localName(const CNetSocket& socket)
{
    sockaddr_in name{};
    socklen_t size = sizeof name;
    getsockname(socket.socketHandle(), reinterpret_cast<sockaddr*>(&name), &size);
    return name;
}

bool handleIsOpen(int handle)
{
    return fcntl(handle, F_GETFD) != -1;
}

TEST(NetSocket, StreamRoundTripOnLoopback)
{
    CNetSocket server = makeSocket(SOCK_STREAM);
    ASSERT_TRUE(server.bind("127.0.0.1", 0));
    EXPECT_TRUE(server.isOpen());
    EXPECT_EQ(server.address(), "127.0.0.1");
    EXPECT_EQ(server.lastError(), "") << "a stream socket listens";
    const std::uint16_t port = ntohs(localName(server).sin_port);

    CNetSocket client = makeSocket(SOCK_STREAM);
    ASSERT_TRUE(client.connect("127.0.0.1", port)) << client.lastError();
    EXPECT_TRUE(client.isOpen());
    EXPECT_EQ(client.port(), port);
    EXPECT_EQ(client.peerAddress(), "127.0.0.1");

    CNetSocket accepted(::accept4(server.socketHandle(), nullptr, nullptr, SOCK_CLOEXEC));
    const std::uint8_t message[] = {'v', 'e', 'l', 'm', 'o'};
    EXPECT_EQ(client.send(message, 5), 5);
    std::uint8_t buffer[16];
    std::memset(buffer, 0xff, sizeof buffer);
    ASSERT_EQ(accepted.receive(buffer, 16), 5);
    EXPECT_EQ(std::memcmp(buffer, message, 5), 0);
    for (int i = 5; i < 16; ++i)
        EXPECT_EQ(buffer[i], 0) << "receive zero-fills the whole buffer, byte " << i;
    EXPECT_EQ(accepted.peerAddress(), "127.0.0.1");

    EXPECT_TRUE(client.close());
    EXPECT_FALSE(client.isOpen());
    EXPECT_EQ(client.address(), "");
    EXPECT_EQ(client.port(), 0);
    EXPECT_EQ(accepted.receive(buffer, 16), 0) << "the peer sees the end of the stream";
    // Closed twice: fails quietly and says why.
    EXPECT_FALSE(client.close());
    EXPECT_EQ(client.lastError(), "WSAENOTSOCK\nSocket operation on nonsocket");
    EXPECT_EQ(client.peerAddress(), "");
    EXPECT_EQ(client.send(message, 5), -1);
}

TEST(NetSocket, BindWithoutAddressBindsAnyAddress)
{
    CNetSocket socket = makeSocket(SOCK_STREAM);
    ASSERT_TRUE(socket.bindAny(0));
    EXPECT_EQ(localName(socket).sin_addr.s_addr, htonl(INADDR_ANY));
    EXPECT_EQ(socket.address(), "");
}

TEST(NetSocket, DatagramSocketBindsAlthoughItCannotListen)
{
    CNetSocket socket = makeSocket(SOCK_DGRAM);
    EXPECT_TRUE(socket.bind("127.0.0.1", 0));
    EXPECT_TRUE(socket.isOpen());
    EXPECT_EQ(socket.lastError(), "WSAEOPNOTSUPP\nOperation not supported");
}

TEST(NetSocket, FailedCallsChangeNothingButTheErrorText)
{
    CNetSocket taken = makeSocket(SOCK_STREAM);
    ASSERT_TRUE(taken.bind("127.0.0.1", 0));
    const std::uint16_t port = ntohs(localName(taken).sin_port);

    CNetSocket second = makeSocket(SOCK_STREAM);
    EXPECT_FALSE(second.bind("127.0.0.1", port));
    EXPECT_EQ(second.lastError(), "WSAEADDRINUSE\nAddress already in use");
    EXPECT_FALSE(second.isOpen());
    EXPECT_EQ(second.address(), "127.0.0.1") << "the address is kept even when bind fails";

    CNetSocket named = makeSocket(SOCK_STREAM);
    EXPECT_FALSE(named.connect("localhost", port)) << "connect takes dotted text only";
    EXPECT_EQ(named.lastError(), "WSAEADDRNOTAVAIL\nCannot assign requested address");
    EXPECT_FALSE(named.isOpen());
    EXPECT_EQ(named.address(), "");

    taken.close(); // nothing listens on the port any more
    CNetSocket refused = makeSocket(SOCK_STREAM);
    EXPECT_FALSE(refused.connect("127.0.0.1", port));
    EXPECT_EQ(refused.lastError(), "WSAECONNREFUSED\nConnection refused");
    EXPECT_EQ(refused.port(), 0);
}

TEST(NetSocket, CloseReleasesTheHandleEvenWhenShutdownIsRefused)
{
    CNetSocket socket = makeSocket(SOCK_DGRAM);
    ASSERT_TRUE(socket.bind("127.0.0.1", 0));
    const int handle = socket.socketHandle();
    EXPECT_TRUE(socket.close());
    EXPECT_FALSE(handleIsOpen(handle));
    EXPECT_EQ(socket.socketHandle(), CNetSocket::kInvalidHandle);
    EXPECT_EQ(socket.lastError(), "WSAENOTCONN\nSocket is not connected") << "shutdown's refusal is kept";
    EXPECT_FALSE(socket.isOpen());
}

TEST(NetSocket, NeverOpenedSocketFailsQuietly)
{
    CNetSocket socket;
    EXPECT_FALSE(socket.isOpen());
    EXPECT_FALSE(socket.close());
    EXPECT_EQ(socket.lastError(), "WSAENOTSOCK\nSocket operation on nonsocket");
    std::uint8_t buffer[4] = {1, 2, 3, 4};
    EXPECT_EQ(socket.receive(buffer, 4), -1);
    EXPECT_EQ(buffer[0] | buffer[3], 0);
    EXPECT_FALSE(socket.connect("127.0.0.1", 9));
    EXPECT_EQ(socket.lastError(), "WSAENOTSOCK\nSocket operation on nonsocket");
}

TEST(NetSocket, OptionsAndIoctlReportRefusals)
{
    CNetSocket socket = makeSocket(SOCK_STREAM);
    EXPECT_TRUE(socket.setOption(SOL_SOCKET, SO_REUSEADDR, 1));
    EXPECT_FALSE(socket.setOption(SOL_SOCKET, 4711, 1));
    EXPECT_EQ(socket.lastError(), "WSAENOPROTOOPT\nBad protocol option");
    EXPECT_TRUE(socket.ioctl(FIONBIO, 1));
    EXPECT_EQ(fcntl(socket.socketHandle(), F_GETFL) & O_NONBLOCK, O_NONBLOCK);
    EXPECT_FALSE(socket.ioctl(0x98000001, 1)) << "receive-all is not a Linux ioctl";
    EXPECT_EQ(socket.lastError(), "WSAEINVAL\nInvalid argument");
}

TEST(NetSocket, LookupsWithoutTheNetwork)
{
    CNetSocket socket;
    EXPECT_EQ(socket.resolve("198.51.100.7"), "198.51.100.7");
    EXPECT_EQ(socket.hostNameOf("127.0.0.1"), "");
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    EXPECT_EQ(socket.hostName(), name);
    const std::string addresses = socket.localAddresses();
    EXPECT_TRUE(addresses.empty() || addresses.back() == ' ');
    EXPECT_EQ(addresses.find("127."), std::string::npos) << "loopback is left out";
}

} // namespace
