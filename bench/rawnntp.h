#pragma once
// The plain POSIX side of the benchmark's reference clients: one connection,
// lines read from a 64 KB buffer, commands sent one at a time. No Qt.
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace rawnntp {

inline int g_fd = -1;
inline char g_buf[1 << 16];
inline size_t g_pos = 0, g_len = 0;
inline unsigned long long g_bytes = 0;

inline bool fill()
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
inline bool readLine(std::string &line)
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

inline void sendLine(const std::string &s)
{
    const std::string t = s + "\r\n";
    if (::send(g_fd, t.data(), t.size(), 0) != static_cast<ssize_t>(t.size())) {
        std::perror("send");
        std::exit(1);
    }
}

// Connects g_fd to HOST PORT; false (with the reason on stderr) when it cannot.
inline bool connectTo(const char *host, const char *port)
{
    addrinfo hints = {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *ai = nullptr;
    if (::getaddrinfo(host, port, &hints, &ai) != 0) {
        std::fprintf(stderr, "cannot resolve %s\n", host);
        return false;
    }
    g_fd = ::socket(ai->ai_family, SOCK_STREAM, 0);
    const bool ok = ::connect(g_fd, ai->ai_addr, ai->ai_addrlen) == 0;
    if (!ok)
        std::perror("connect");
    ::freeaddrinfo(ai);
    return ok;
}

} // namespace rawnntp
