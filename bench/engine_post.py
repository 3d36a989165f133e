#!/usr/bin/env python3
"""Fills a news server's group with uuencoded articles for the download
benchmark, fed with IHAVE from 127.0.0.2 (a peer address of the private INN).

    engine_post.py PORT GROUP COUNT SIZE_BYTES [SEED] [yenc:FILES]

Each article carries one uuencoded attachment of random bytes, sized so that
the article is about SIZE_BYTES long. With yenc:FILES the articles are
instead the parts of FILES files of random bytes, encoded by python3-yenc
(Debian's /usr/bin/python3), a part of each file in turn; the files'
SHA-256 sums are printed as sha256sum writes them.
"""
import binascii
import random
import socket
import sys


def uuencode(name, data):
    out = [b"begin 644 " + name]
    for i in range(0, len(data), 45):
        out.append(binascii.b2a_uu(data[i:i + 45]).rstrip(b"\n").replace(b" ", b"`"))
    out += [b"`", b"end"]
    return out


def yenc_part(name, data, part, total, begin, whole_size, whole_crc):
    import yenc  # python3-yenc
    e = yenc.Encoder()
    e.feed(data)
    e.terminate()
    out = [b"=ybegin part=%d total=%d line=128 size=%d name=%s" % (part, total, whole_size, name),
           b"=ypart begin=%d end=%d" % (begin, begin + len(data) - 1)]
    out += e.getEncoded().split(b"\r\n")[:-1]
    end = b"=yend size=%d part=%d pcrc32=%s" % (len(data), part, e.getCrc32().encode())
    if part == total:
        end += b" crc32=%08x" % whole_crc
    return out + [end]


def yenc_bodies(rnd, count, size, files):
    """The articles' bodies in posting order, and the files' sums."""
    import hashlib
    import zlib
    per = count // files
    raw = size * 98 // 100  # about 2 % escapes and line ends
    blobs = [rnd.randbytes(raw * per) for _ in range(files)]
    sums = ["%s  yfile%02d.bin" % (hashlib.sha256(b).hexdigest(), k + 1) for k, b in enumerate(blobs)]
    bodies = []
    for p in range(per):
        for k, b in enumerate(blobs):
            bodies.append(yenc_part(b"yfile%02d.bin" % (k + 1), b[p * raw:(p + 1) * raw], p + 1, per,
                                    p * raw + 1, len(b), zlib.crc32(b)))
    return bodies, sums


def main():
    port, group, count, size = int(sys.argv[1]), sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    rnd = random.Random(int(sys.argv[5]) if len(sys.argv) > 5 else 1)
    s = socket.create_connection(("127.0.0.1", port), source_address=("127.0.0.2", 0))
    f = s.makefile("rb")
    greeting = f.readline()
    if not greeting.startswith(b"2"):
        sys.exit("no greeting: %r" % greeting)
    raw = size * 45 // 62  # uuencoding turns 45 bytes into a 62-byte line
    bodies = sums = None
    if len(sys.argv) > 6 and sys.argv[6].startswith("yenc:"):
        bodies, sums = yenc_bodies(rnd, count, size, int(sys.argv[6][5:]))
        count = len(bodies)
    for n in range(1, count + 1):
        mid = b"<bench.%s.%d.%d@kaplo.test>" % (group.encode(), n, rnd.getrandbits(32))
        s.sendall(b"IHAVE " + mid + b"\r\n")
        r = f.readline()
        if not r.startswith(b"335"):
            sys.exit("IHAVE refused: %r" % r)
        body = bodies[n - 1] if bodies else uuencode(b"file%03d.bin" % n, rnd.randbytes(raw))
        head = [b"From: bench <bench@kaplo.test>", b"Newsgroups: " + group.encode(),
                b"Subject: bench " + str(n).encode(), b"Message-ID: " + mid,
                b"Path: bench", b"Date: Sat, 6 Dec 1997 12:34:56 +0900", b""]
        lines = head + body
        data = b"\r\n".join(b"." + l if l.startswith(b".") else l for l in lines)
        s.sendall(data + b"\r\n.\r\n")
        r = f.readline()
        if not r.startswith(b"235"):
            sys.exit("article %d refused: %r" % (n, r))
    s.sendall(b"QUIT\r\n")
    if sums:
        print("\n".join(sums))


if __name__ == "__main__":
    main()
