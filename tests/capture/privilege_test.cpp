// Giving up privilege: after dropAllCapabilities() the process holds no capability and cannot
// open a packet socket, while a socket opened before keeps working. Run in a child process,
// since the drop cannot be undone.

#include "capture/capture_socket.h"
#include "capture/net_socket.h"
#include "capture/privilege.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The capability lines of /proc/self/status whose value is not all zero.
std::string heldCapabilities()
{
    std::ifstream status("/proc/self/status");
    std::string held;
    for (std::string line; std::getline(status, line);)
        for (const char* name : {"CapInh:", "CapPrm:", "CapEff:", "CapAmb:"})
            if (line.rfind(name, 0) == 0 && line.find_first_not_of("0\t ", std::string(name).size()) != std::string::npos)
                held += line + "\n";
    return held;
}

TEST(Privilege, DroppingLeavesNoCapabilityAndTheSocketOpenedBefore)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs a capability to drop (root)";
    ASSERT_NE(heldCapabilities(), "") << "nothing to drop: the test would prove nothing";
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(channel[0]);
        CaptureSocket opened = CaptureSocket::open();
        std::string failure;
        std::string report = dropAllCapabilities(&failure) ? "" : "drop failed: " + failure + "\n";
        report += heldCapabilities();
        if (CaptureSocket::open().isOpen())
            report += "a packet socket opened after the drop\n";
        std::unique_ptr<CNetSocket> socket = opened.release();
        if (socket == nullptr || !socket->setOption(SOL_SOCKET, SO_RCVBUF, 1 << 16))
            report += "the socket opened before the drop is unusable\n";
        if (write(channel[1], report.data(), report.size()) < 0)
            _exit(2);
        _exit(0);
    }
    ::close(channel[1]);
    std::string report;
    char chunk[256];
    for (ssize_t n; (n = read(channel[0], chunk, sizeof chunk)) > 0;)
        report.append(chunk, std::size_t(n));
    ::close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(report, "");
}

} // namespace
