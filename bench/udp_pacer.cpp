// Sends UDP datagrams at a steady rate, for the capture and load benchmarks. Only ever run it
// inside the benchmarks' own network namespaces, towards their documentation-range addresses.
//   udp_pacer DEST-ADDR PORT PACKETS-PER-SECOND SECONDS [PAYLOAD-BYTES]
// Prints the number of datagrams sent.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s DEST-ADDR PORT PACKETS-PER-SECOND SECONDS [PAYLOAD-BYTES]\n", argv[0]);
        return 2;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[2])));
    if (inet_pton(AF_INET, argv[1], &to.sin_addr) != 1) {
        std::fprintf(stderr, "not an IPv4 address: %s\n", argv[1]);
        return 2;
    }
    const double rate = std::atof(argv[3]);
    const double seconds = std::atof(argv[4]);
    const std::size_t payload = argc > 5 ? std::size_t(std::atoi(argv[5])) : 18;
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        std::perror("socket");
        return 1;
    }

    // Batches of up to 64 datagrams per sendmmsg, released on a steady-clock schedule.
    constexpr unsigned kBatch = 64;
    std::vector<char> buffer(payload, 'v');
    iovec io{buffer.data(), buffer.size()};
    std::vector<mmsghdr> messages(kBatch);
    for (mmsghdr& m : messages) {
        m.msg_hdr = msghdr{};
        m.msg_hdr.msg_iov = &io;
        m.msg_hdr.msg_iovlen = 1;
    }
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    unsigned long long sent = 0;
    for (auto now = start; now < end; now = Clock::now()) {
        const double due = std::chrono::duration<double>(now - start).count() * rate;
        if (double(sent) >= due) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            continue;
        }
        const unsigned count = unsigned(std::min<double>(kBatch, due - double(sent) + 1));
        const int done = sendmmsg(fd, messages.data(), count, 0);
        if (done > 0)
            sent += unsigned(done);
    }
    close(fd);
    std::printf("%llu\n", sent);
    return 0;
}
