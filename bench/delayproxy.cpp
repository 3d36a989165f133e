// A delaying TCP proxy for the download benchmark: a news server far away,
// made on the local machine. It listens on 127.0.0.1:LISTEN and forwards
// every connection to 127.0.0.1:TARGET; each chunk of bytes, in either
// direction, is passed on DELAY_MS milliseconds after it arrived, in order.
// The link itself is not narrowed: only the round trip grows by twice the
// delay.
//
//   delayproxy LISTEN TARGET DELAY_MS [SECONDS]
//
// Bounded: it ends by itself after SECONDS (default 900), and holds at most
// 64 MB in flight per direction (reading waits while that much is queued).
// Plain POSIX sockets and threads, no Qt.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t ChunkSize = 256 * 1024;
constexpr size_t MaxQueued = 64 * 1024 * 1024;

std::chrono::milliseconds g_delay{0};

struct Chunk {
    Clock::time_point due;
    std::vector<char> bytes; // empty: the sender closed its side
};

// One direction of one connection: a reader thread queues, a writer thread
// passes on when due.
struct Direction {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Chunk> queue;
    size_t queued = 0;
};

void setNoDelay(int fd)
{
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void readSide(int from, Direction &d)
{
    std::vector<char> in(ChunkSize);
    for (;;) {
        const ssize_t n = ::read(from, in.data(), in.size());
        std::vector<char> buf(in.data(), in.data() + (n > 0 ? n : 0));
        std::unique_lock lock(d.mutex);
        d.changed.wait(lock, [&] { return d.queued < MaxQueued; });
        d.queued += buf.size();
        const bool end = buf.empty();
        d.queue.push_back({Clock::now() + g_delay, std::move(buf)});
        d.changed.notify_all();
        if (end)
            return;
    }
}

void writeSide(int to, Direction &d)
{
    bool broken = false;
    for (;;) {
        Chunk c;
        {
            std::unique_lock lock(d.mutex);
            d.changed.wait(lock, [&] { return !d.queue.empty(); });
            c = std::move(d.queue.front());
            d.queue.pop_front();
            d.queued -= c.bytes.size();
            d.changed.notify_all();
        }
        std::this_thread::sleep_until(c.due);
        if (c.bytes.empty()) {
            ::shutdown(to, SHUT_WR);
            return;
        }
        size_t off = 0;
        while (!broken && off < c.bytes.size()) {
            const ssize_t n = ::write(to, c.bytes.data() + off, c.bytes.size() - off);
            if (n <= 0)
                broken = true; // keep draining so the reader never blocks for ever
            else
                off += static_cast<size_t>(n);
        }
    }
}

void serve(int client, int targetPort)
{
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(targetPort));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(server, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        std::perror("delayproxy: connect");
        ::close(server);
        ::close(client);
        return;
    }
    setNoDelay(client);
    setNoDelay(server);
    Direction up, down;
    std::thread r1(readSide, client, std::ref(up)), w1(writeSide, server, std::ref(up));
    std::thread r2(readSide, server, std::ref(down)), w2(writeSide, client, std::ref(down));
    r1.join();
    w1.join();
    r2.join();
    w2.join();
    ::close(server);
    ::close(client);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: delayproxy LISTEN TARGET DELAY_MS [SECONDS]\n");
        return 2;
    }
    const int listenPort = std::atoi(argv[1]);
    const int targetPort = std::atoi(argv[2]);
    g_delay = std::chrono::milliseconds(std::atoi(argv[3]));
    const unsigned seconds = argc > 4 ? static_cast<unsigned>(std::atoi(argv[4])) : 900;
    std::signal(SIGPIPE, SIG_IGN);
    ::alarm(seconds); // the default action ends the process

    const int l = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(l, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(listenPort));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(l, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(l, 16) != 0) {
        std::perror("delayproxy: listen");
        return 1;
    }
    for (;;) {
        const int c = ::accept4(l, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0)
            continue;
        std::thread(serve, c, targetPort).detach();
    }
}
