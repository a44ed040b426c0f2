// The socket wrapper's error texts, on sockets of this process.

#include "capture/net_socket.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>

namespace {

TEST(NetSocket, RefusedCallsLeaveTheirTextAndCloseReleasesTheHandle)
{
    CNetSocket socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    EXPECT_TRUE(socket.setOption(SOL_SOCKET, SO_REUSEADDR, 1));
    EXPECT_FALSE(socket.setOption(SOL_SOCKET, 4711, 1));
    EXPECT_EQ(socket.lastError(), "WSAENOPROTOOPT\nBad protocol option");
    EXPECT_FALSE(socket.bindInterface(1, 0x0003)) << "a datagram socket takes no interface address";
    EXPECT_EQ(socket.lastError(), "WSAEAFNOSUPPORT\nAddress family not supported by protocol family");

    const int handle = socket.socketHandle();
    EXPECT_TRUE(socket.close());
    EXPECT_EQ(fcntl(handle, F_GETFD), -1);
    EXPECT_EQ(socket.socketHandle(), CNetSocket::kInvalidHandle);
    EXPECT_FALSE(socket.close());
    EXPECT_EQ(socket.lastError(), "WSAENOTSOCK\nSocket operation on nonsocket");
}

} // namespace
