#include "capture/socket_errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace {

struct CodeCase {
    int code;
    const char* text;
};

TEST(SocketErrors, TableGivesNameLineFeedAndDescription)
{
    const CodeCase cases[] = {
        {6, "WSA_INVALID_HANDLE\nSpecified event object handle is invalid"},
        {997, "WSA_IO_PENDING\nOverlapped operations will complete later"},
        {10013, "WSAEACCES\nPermission Denied: Access in use"},
        {10045, "WSAEOPNOTSUPP\nOperation not supported"},
        {10058, "WSAESHUTDOWN\nCannot send after socket shutdown"},
        {10060, "WSAETIMEDOUT\nConnection timed out"},
        {10093, "WSANOTINITIALISED\nSuccessful WSAStartup not yet performed"},
        {11004, "WSANO_DATA\nValid name, no data record of requested type"},
    };
    EXPECT_EQ(socketErrorTableSize(), 50);
    for (const CodeCase& row : cases) {
        setLastSocketError(row.code);
        EXPECT_EQ(errorText(), row.text) << row.code;
        EXPECT_EQ(lastSocketError(), row.code) << "a known code stays the thread's last error";
    }
}

TEST(SocketErrors, UnknownCodeGivesEmptyTextAndClearsTheLastError)
{
    for (int code : {10059, 0, 10000, 11005, -1}) {
        setLastSocketError(code);
        EXPECT_EQ(errorText(), "") << code;
        EXPECT_EQ(lastSocketError(), 0) << code;
    }
}

TEST(SocketErrors, LinuxErrorsMapToTheirSocketCodes)
{
    const std::pair<int, int> cases[] = {
        {EOPNOTSUPP, 10045}, {EACCES, 10013},       {EPERM, 10013},     {EADDRNOTAVAIL, 10049},
        {ENETDOWN, 10050},   {EINVAL, 10022},       {EMSGSIZE, 10040},  {EINTR, 10004},
        {EBADF, 10038},      {ENOTSOCK, 10038},     {EADDRINUSE, 10048}, {ECONNREFUSED, 10061},
        {ENOTCONN, 10057},   {EAGAIN, 10035},       {ENODEV, 10050},    {ENOENT, 10107},
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
