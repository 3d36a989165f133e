// The baseline for the download benchmark: the same GROUP / ARTICLE / NEXT
// conversation as a download run, one command at a time, with every byte
// received and thrown away. Plain POSIX sockets, no Qt, no decoding.
//
//   engine_rawfetch HOST PORT GROUP
//
// Prints the number of articles and of bytes received.
#include "rawnntp.h"

#include <cstdio>
#include <string>

using namespace rawnntp;

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: engine_rawfetch HOST PORT GROUP\n");
        return 2;
    }
    if (!connectTo(argv[1], argv[2]))
        return 1;

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
