#include "capture/socket_errors.h"

#include <cerrno>
#include <iterator>

namespace {

struct ErrorRow {
    int code;
    const char* text;
};

// Winsock error codes with their constant names and short descriptions.
constexpr ErrorRow kErrorTable[] = {
    {6, "WSA_INVALID_HANDLE\nSpecified event object handle is invalid"},
    {8, "WSA_NOT_ENOUGH_MEMORY\nInsufficient memory available"},
    {87, "WSA_INVALID_PARAMETER\nOne or more parameters are invalid"},
    {995, "WSA_OPERATION_ABORTED\nOverlapped operation aborted"},
    {996, "WSA_IO_INCOMPLETE\nOverlapped I/O event object not in signaled state"},
    {997, "WSA_IO_PENDING\nOverlapped operations will complete later"},
    {10004, "WSAEINTR\nInterrupted function call"},
    {10013, "WSAEACCES\nPermission Denied: Access in use"},
    {10014, "WSAEFAULT\nBad address"},
    {10022, "WSAEINVAL\nInvalid argument"},
    {10024, "WSAEMFILE\nToo many open files"},
    {10035, "WSAEWOULDBLOCK\nResource temporarily unavailable"},
    {10036, "WSAEINPROGRESS\nOperation now in progress"},
    {10037, "WSAEALREADY\nOperation already in progress"},
    {10038, "WSAENOTSOCK\nSocket operation on nonsocket"},
    {10039, "WSAEDESTADDRREQ\nDestination address required"},
    {10040, "WSAEMSGSIZE\nMessage too long"},
    {10041, "WSAEPROTOTYPE\nProtocol wrong type for socket"},
    {10042, "WSAENOPROTOOPT\nBad protocol option"},
    {10043, "WSAEPROTONOSUPPORT\nProtocol not supported"},
    {10044, "WSAESOCKTNOSUPPORT\nSocket type not supported"},
    {10045, "WSAEOPNOTSUPP\nOperation not supported"},
    {10046, "WSAEPFNOSUPPORT\nProtocol family not supported"},
    {10047, "WSAEAFNOSUPPORT\nAddress family not supported by protocol family"},
    {10048, "WSAEADDRINUSE\nAddress already in use"},
    {10049, "WSAEADDRNOTAVAIL\nCannot assign requested address"},
    {10050, "WSAENETDOWN\nNetwork is down"},
    {10051, "WSAENETUNREACH\nNetwork is unreachable"},
    {10052, "WSAENETRESET\nNetwork dropped connection on reset"},
    {10053, "WSAECONNABORTED\nSoftware caused connection abort"},
    {10054, "WSAECONNRESET\nConnection reset by peer"},
    {10055, "WSAENOBUFS\nNo buffer space available"},
    {10056, "WSAEISCONN\nSocket is already connected"},
    {10057, "WSAENOTCONN\nSocket is not connected"},
    {10058, "WSAESHUTDOWN\nCannot send after socket shutdown"},
    {10060, "WSAETIMEDOUT\nConnection timed out"},
    {10061, "WSAECONNREFUSED\nConnection refused"},
    {10064, "WSAEHOSTDOWN\nHost is down"},
    {10065, "WSAEHOSTUNREACH\nNo route to host"},
    {10067, "WSAEPROCLIM\nToo many processes"},
    {10091, "WSASYSNOTREADY\nNetwork subsystem is unavailable"},
    {10092, "WSAVERNOTSUPPORTED\nWinsock.dll version out of range"},
    {10093, "WSANOTINITIALISED\nSuccessful WSAStartup not yet performed"},
    {10101, "WSAEDISCON\nGraceful shutdown in progress"},
    {10107, "WSASYSCALLFAILURE\nSystem call failure"},
    {10109, "WSATYPE_NOT_FOUND\nClass type not found"},
    {11001, "WSAHOST_NOT_FOUND\nHost not found"},
    {11002, "WSATRY_AGAIN\nNonauthoritative host not found"},
    {11003, "WSANO_RECOVERY\nThis is a nonrecoverable error"},
    {11004, "WSANO_DATA\nValid name, no data record of requested type"},
};

struct ErrnoRow {
    int errnoValue;
    int code;
};

// Linux errno values (errno(3)) and the socket error each corresponds to. ENODEV comes from
// binding a packet socket to an interface that is gone, which is a network that is down;
// ENOTTY from an ioctl command the socket does not know, which Winsock calls invalid.
constexpr ErrnoRow kErrnoTable[] = {
    {EBADF, 10038},          {ENOTSOCK, 10038},     {ENOMEM, 8},
    {EINTR, 10004},          {EACCES, 10013},       {EPERM, 10013},
    {EFAULT, 10014},         {EINVAL, 10022},       {EMFILE, 10024},
    {ENFILE, 10024},         {EAGAIN, 10035},       {EINPROGRESS, 10036},
    {EALREADY, 10037},       {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},     {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},  {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},   {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},       {ENODEV, 10050},       {ENETUNREACH, 10051},
    {ENETRESET, 10052},      {ECONNABORTED, 10053}, {ECONNRESET, 10054},
    {ENOBUFS, 10055},        {EISCONN, 10056},      {ENOTCONN, 10057},
    {ENOTTY, 10022},
    {ESHUTDOWN, 10058},      {EPIPE, 10058},        {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},   {EHOSTDOWN, 10064},    {EHOSTUNREACH, 10065},
};

constexpr int kSystemCallFailure = 10107;

thread_local int threadLastError = 0;

} // namespace

int lastSocketError()
{
    return threadLastError;
}

void setLastSocketError(int code)
{
    threadLastError = code;
}

std::string errorTextOf(int code)
{
    for (const ErrorRow& row : kErrorTable)
        if (row.code == code)
            return row.text;
    return {};
}

std::string errorText()
{
    std::string text = errorTextOf(threadLastError);
    if (text.empty())
        threadLastError = 0;
    return text;
}

int socketErrorFromErrno(int errnoValue)
{
    for (const ErrnoRow& row : kErrnoTable)
        if (row.errnoValue == errnoValue)
            return row.code;
    return kSystemCallFailure;
}

std::string recordErrno(int errnoValue)
{
    setLastSocketError(socketErrorFromErrno(errnoValue));
    return errorText();
}

int socketErrorTableSize()
{
    return int(std::size(kErrorTable));
}
