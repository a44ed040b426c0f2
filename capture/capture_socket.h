#pragma once
// The machine's one packet socket, opened first thing in main while the process may still hold
// CAP_NET_RAW, before any library can load code it was told to load. The socket is then handed,
// as this object, to whoever runs the capture (CPacketCapture::open); after that the program
// drops every capability (privilege.h) and never needs one again.
//
//   int main(int argc, char** argv)
//   {
//       CaptureSocket socket = CaptureSocket::open();   // may be refused: capture stays off
//       if (!dropAllCapabilities()) return 1;
//       ... create the application, move `socket` into its capture ...
//   }
//
// Move-only; destroying an object that still holds the socket closes it.

#include <memory>

class CNetSocket;

class CaptureSocket {
public:
    // No socket: a capture handed this stays off.
    CaptureSocket() = default;
    CaptureSocket(CaptureSocket&& other) noexcept;
    CaptureSocket& operator=(CaptureSocket&& other) noexcept;
    ~CaptureSocket();

    // Opens a packet socket (AF_PACKET, SOCK_RAW, protocol 0: it receives nothing until the
    // capture binds it). When it is refused for want of CAP_NET_RAW, one line on stderr (once
    // per run) says how to grant it.
    static CaptureSocket open();

    bool isOpen() const { return handle >= 0; }
    // errno of the refused socket call; 0 when open or never tried.
    int openError() const { return error; }
    // Hands the socket over (null when there is none); this object is empty afterwards.
    std::unique_ptr<CNetSocket> release();

private:
    int handle = -1;
    int error = 0;
};
