// The capture's socket filter is accepted by the kernel at every size, also where its jumps
// span more than a conditional jump can reach; the kernel checks a program when it is attached,
// on any socket.

#include "capture/capture_filter.h"

#include <gtest/gtest.h>

#include <numeric>

#include <sys/socket.h>
#include <unistd.h>

namespace {

TEST(CaptureFilter, TheKernelAcceptsItForAnyNumberOfInterfaces)
{
    const int handle = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(handle, 0);
    for (std::size_t count : {std::size_t(0), std::size_t(1), std::size_t(200), kFilterInterfaceLimit,
                              kFilterInterfaceLimit + 1}) {
        SCOPED_TRACE(count);
        std::vector<int> interfaces(count);
        std::iota(interfaces.begin(), interfaces.end(), 2);
        std::vector<sock_filter> program = captureFilter(interfaces, 192);
        const sock_fprog attached{static_cast<unsigned short>(program.size()), program.data()};
        EXPECT_EQ(setsockopt(handle, SOL_SOCKET, SO_ATTACH_FILTER, &attached, sizeof attached), 0) << program.size();
    }
    ::close(handle);
}

} // namespace
