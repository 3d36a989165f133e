// The second baseline for the download benchmark: the same GROUP / ARTICLE /
// NEXT conversation as a download run, one command at a time, and every
// uuencoded attachment decoded and written to a file in DIR before the next
// command goes out (receiving, decoding and writing never overlap). A yEnc
// part ("=ybegin" ... "=yend") is decoded a byte at a time into memory, its
// CRC32 taken by zlib and compared with "pcrc32=", and written into its file
// at its "=ypart" offset. Plain POSIX sockets and stdio, no Qt.
//
//   engine_serialfetch HOST PORT GROUP DIR
//
// Prints the number of articles, of bytes received, of files and of bytes
// written.
#include "rawnntp.h"

#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace rawnntp;

namespace {

inline unsigned uu(char c)
{
    return (static_cast<unsigned>(c) - 0x20) & 0x3F;
}

// One uuencoded line decoded into out; false for a line that is no data line.
bool uudecodeLine(const std::string &line, unsigned char *out, size_t &n)
{
    if (line.empty())
        return false;
    n = uu(line[0]);
    const size_t need = (n + 2) / 3 * 4 + 1;
    if (line.size() < need)
        return false;
    const char *p = line.data() + 1;
    size_t o = 0;
    for (size_t i = 0; i < n; i += 3, p += 4) {
        const unsigned v = uu(p[0]) << 18 | uu(p[1]) << 12 | uu(p[2]) << 6 | uu(p[3]);
        out[o++] = static_cast<unsigned char>(v >> 16);
        if (o < n)
            out[o++] = static_cast<unsigned char>(v >> 8);
        if (o < n)
            out[o++] = static_cast<unsigned char>(v);
    }
    return true;
}

// The number after " key" in a yEnc keyword line, 0 when absent.
unsigned long long yencValue(const std::string &line, const char *key, int base)
{
    const size_t at = line.find(key);
    return at == std::string::npos
               ? 0
               : std::strtoull(line.c_str() + at + std::strlen(key), nullptr, base);
}

struct Totals {
    unsigned files = 0;
    unsigned long long written = 0;
};

// The rest of an article after its 220 line: header, then the body with
// "begin MODE NAME" ... "end" attachments written to DIR/NAME.
bool readArticle(const std::string &dir, Totals &t)
{
    std::string line;
    bool header = true;
    std::FILE *f = nullptr;
    unsigned char out[64];
    std::string part; // a yEnc part's decoded bytes
    unsigned long long begin = 0;
    bool yenc = false, escaped = false;
    for (;;) {
        if (!readLine(line))
            return false;
        if (line == ".")
            break;
        if (!line.empty() && line[0] == '.')
            line.erase(0, 1); // dot-stuffing (RFC 3977 section 3.1.1)
        if (header) {
            header = !line.empty();
            continue;
        }
        if (yenc) {
            if (line.compare(0, 7, "=ypart ") == 0) {
                begin = yencValue(line, " begin=", 10);
            } else if (line.compare(0, 5, "=yend") == 0) {
                const auto crc = ::crc32(0, reinterpret_cast<const Bytef *>(part.data()),
                                         static_cast<uInt>(part.size()));
                if (crc != yencValue(line, " pcrc32=", 16))
                    std::fprintf(stderr, "CRC mismatch\n");
                if (begin > 0)
                    std::fseek(f, static_cast<long>(begin - 1), SEEK_SET);
                std::fwrite(part.data(), 1, part.size(), f);
                t.written += part.size();
                std::fclose(f);
                f = nullptr;
                yenc = false;
            } else {
                for (const char c : line) {
                    if (escaped)
                        part += static_cast<char>(c - 64 - 42);
                    else if (c != '=')
                        part += static_cast<char>(c - 42);
                    escaped = !escaped && c == '=';
                }
                escaped = false;
            }
            continue;
        }
        if (!f && line.compare(0, 8, "=ybegin ") == 0) {
            const size_t at = line.find(" name=");
            std::string name = at == std::string::npos ? std::string() : line.substr(at + 6);
            if (name.empty() || name.find('/') != std::string::npos || name[0] == '.')
                name = "noname";
            const std::string path = dir + '/' + name;
            f = std::fopen(path.c_str(), "r+b");
            if (!f) {
                f = std::fopen(path.c_str(), "wb");
                ++t.files;
            }
            if (!f) {
                std::perror(name.c_str());
                std::exit(1);
            }
            yenc = true;
            part.clear();
            begin = 0;
            continue;
        }
        if (!f) {
            if (line.compare(0, 6, "begin ") != 0)
                continue;
            const size_t sp = line.find(' ', 6);
            std::string name = sp == std::string::npos ? std::string() : line.substr(sp + 1);
            if (name.empty() || name.find('/') != std::string::npos || name[0] == '.')
                name = "noname";
            f = std::fopen((dir + '/' + name).c_str(), "wb");
            if (!f) {
                std::perror(name.c_str());
                std::exit(1);
            }
            ++t.files;
            continue;
        }
        if (line == "end") {
            std::fclose(f);
            f = nullptr;
            continue;
        }
        size_t n = 0;
        if (uudecodeLine(line, out, n) && n > 0) {
            std::fwrite(out, 1, n, f);
            t.written += n;
        }
    }
    if (f)
        std::fclose(f);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: engine_serialfetch HOST PORT GROUP DIR\n");
        return 2;
    }
    if (!connectTo(argv[1], argv[2]))
        return 1;
    const std::string dir = argv[4];

    std::string line;
    if (!readLine(line)) // greeting
        return 1;
    sendLine(std::string("GROUP ") + argv[3]);
    if (!readLine(line) || line[0] != '2')
        return 1;
    unsigned articles = 0;
    Totals t;
    sendLine("ARTICLE");
    for (;;) {
        if (!readLine(line))
            return 1;
        if (line[0] != '2')
            break;
        if (!readArticle(dir, t))
            return 1;
        ++articles;
        sendLine("NEXT");
        if (!readLine(line) || line[0] != '2')
            break;
        sendLine("ARTICLE");
    }
    ::close(g_fd);
    std::printf("%u %llu %u %llu\n", articles, g_bytes, t.files, t.written);
    return 0;
}
