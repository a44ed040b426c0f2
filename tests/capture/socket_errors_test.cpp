#include "capture/socket_errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace {

// A known code gives "NAME\nDescription" and stays the thread's last error; an unknown one
// gives an empty text and clears it.
TEST(SocketErrors, TableGivesNameLineFeedAndDescription)
{
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {6, "WSA_INVALID_HANDLE\nSpecified event object handle is invalid"}, // first row
        {10013, "WSAEACCES\nPermission Denied: Access in use"},
        {11004, "WSANO_DATA\nValid name, no data record of requested type"}, // last row
        {10059, ""}, {0, ""}, {10000, ""}, {11005, ""}, {-1, ""},
    };
    EXPECT_EQ(socketErrorTableSize(), 50);
    for (const auto& c : cases) {
        setLastSocketError(c.code);
        EXPECT_EQ(errorText(), c.text) << c.code;
        EXPECT_EQ(lastSocketError(), *c.text ? c.code : 0) << c.code;
    }
}

TEST(SocketErrors, LinuxErrorsMapToTheirSocketCodes)
{
    const std::pair<int, int> cases[] = {
        {EOPNOTSUPP, 10045}, {EACCES, 10013}, {EPERM, 10013},  {EADDRNOTAVAIL, 10049},
        {ENETDOWN, 10050},   {EINVAL, 10022}, {EMSGSIZE, 10040}, {EINTR, 10004},
        {EBADF, 10038},      {ENOTSOCK, 10038}, {ENOENT, 10107}, // no counterpart
    };
    for (const auto& [errnoValue, code] : cases)
        EXPECT_EQ(socketErrorFromErrno(errnoValue), code) << errnoValue;
}

TEST(SocketErrors, EveryLinuxErrorHasAText)
{
    for (int errnoValue = 1; errnoValue < 134; ++errnoValue) {
        EXPECT_FALSE(recordErrno(errnoValue).empty()) << errnoValue;
        EXPECT_EQ(lastSocketError(), socketErrorFromErrno(errnoValue));
    }
}

TEST(SocketErrors, LastErrorBelongsToTheThread)
{
    setLastSocketError(10050);
    int seenByOther = -1;
    std::thread other([&] {
        seenByOther = lastSocketError();
        setLastSocketError(10013);
    });
    other.join();
    EXPECT_EQ(seenByOther, 0);
    EXPECT_EQ(errorText(), "WSAENETDOWN\nNetwork is down");
}

} // namespace
