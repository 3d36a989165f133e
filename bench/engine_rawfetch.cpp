// The baseline for the download benchmark: the same GROUP / ARTICLE / NEXT
// conversation as a download run, one command at a time, with every byte
// received and thrown away. Plain POSIX sockets, no Qt, no decoding.
//
//   engine_rawfetch HOST PORT GROUP
//
// Prints the number of articles and of bytes received.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int g_fd = -1;
char g_buf[1 << 16];
size_t g_pos = 0, g_len = 0;
unsigned long long g_bytes = 0;

bool fill()
{
    const ssize_t n = ::recv(g_fd, g_buf, sizeof g_buf, 0);
    if (n <= 0)
        return false;
    g_pos = 0;
    g_len = static_cast<size_t>(n);
    g_bytes += static_cast<unsigned long long>(n);
    return true;
}

// One line without its line end; false at the end of the connection.
bool readLine(std::string &line)
{
    line.clear();
    for (;;) {
        if (g_pos == g_len && !fill())
            return false;
        const char *start = g_buf + g_pos;
        const void *lf = std::memchr(start, '\n', g_len - g_pos);
        if (!lf) {
            line.append(start, g_len - g_pos);
            g_pos = g_len;
            continue;
        }
        const size_t n = static_cast<const char *>(lf) - start;
        line.append(start, n);
        g_pos += n + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return true;
    }
}

void sendLine(const std::string &s)
{
    const std::string t = s + "\r\n";
    if (::send(g_fd, t.data(), t.size(), 0) != static_cast<ssize_t>(t.size())) {
        std::perror("send");
        std::exit(1);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: engine_rawfetch HOST PORT GROUP\n");
        return 2;
    }
    addrinfo hints = {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *ai = nullptr;
    if (::getaddrinfo(argv[1], argv[2], &hints, &ai) != 0) {
        std::fprintf(stderr, "cannot resolve %s\n", argv[1]);
        return 1;
    }
    g_fd = ::socket(ai->ai_family, SOCK_STREAM, 0);
    if (::connect(g_fd, ai->ai_addr, ai->ai_addrlen) != 0) {
        std::perror("connect");
        return 1;
    }
    ::freeaddrinfo(ai);

    std::string line;
    if (!readLine(line)) // greeting
        return 1;
    sendLine(std::string("GROUP ") + argv[3]);
    if (!readLine(line) || line[0] != '2')
        return 1;
    unsigned articles = 0;
    sendLine("ARTICLE");
    for (;;) {
        if (!readLine(line))
            return 1;
        if (line[0] == '2') {
            while (readLine(line) && line != ".") {
            }
            ++articles;
        } else if (line[0] != '2') {
            break;
        }
        sendLine("NEXT");
        if (!readLine(line) || line[0] != '2')
            break;
        sendLine("ARTICLE");
    }
    ::close(g_fd);
    std::printf("%u %llu\n", articles, g_bytes);
    return 0;
}
