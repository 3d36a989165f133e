#!/usr/bin/env python3
"""Articles made by real encoders, for the INN tests: reads one article a
line (tests/data/engine/inn.txt explains the notation) and writes them,
CR LF line ends, separated by NUL bytes. argv[1] is the newsgroup."""
import email.policy, re, shlex, subprocess, sys, tempfile
from email.charset import BASE64, QP, Charset
from email.header import Header
from email.message import EmailMessage
from email.mime.application import MIMEApplication
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText


def data(size, seed):  # the tests' sample bytes (xorshift32, low byte)
    x, out = 2463534242 + seed, bytearray()
    for _ in range(size):
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        out.append(x & 0xFF)
    return bytes(out)


def run(args, stdin=b""):
    return subprocess.run(args, input=stdin, capture_output=True, check=True).stdout


def word(text):  # "jis:", "sjis:", "euc:", "latin:" prefixes make an encoded word
    kind, _, rest = text.partition(":")
    if kind in ("sjis", "euc"):
        return run(["nkf", "-s" if kind == "sjis" else "-e", "-M"], rest.encode()).strip()
    if kind in ("jis", "latin"):
        c = Charset("iso-2022-jp" if kind == "jis" else "iso-8859-1")
        c.header_encoding = BASE64 if kind == "jis" else QP
        return Header(rest, c).encode().encode()
    return text.encode()


def main():
    group, out = sys.argv[1].encode(), []
    for line in sys.stdin.read().splitlines():
        kind, *args = shlex.split(line)
        opt = dict(a.split("=", 1) for a in args if "=" in a and ":" not in a.split("=")[0])
        files = [a.rsplit(":", 2) for a in args if a not in [f"{k}={v}" for k, v in opt.items()]]
        files = [(word(n), data(int(s), int(d))) for n, s, d in files]
        head = b"Newsgroups: %s\r\nFrom: %s\r\nSubject: %s\r\nDate: Sat, 6 Dec 1997 12:34:56 +0900\r\n" % (
            group, opt.get("from", "Tester <t@example.com>").encode(), word(opt.get("subject", kind)))
        if kind == "uu":  # uuencode from sharutils; damage=FILE,LINE,COLUMN puts an "a" there
            body = [b"Here are the files."]
            for i, (name, d) in enumerate(files):
                lines = run(["uuencode", "x"], d).splitlines()
                lines[0] = b"begin 644 " + name
                if opt.get("damage", "").startswith(f"{i},"):
                    _, ln, col = map(int, opt["damage"].split(","))
                    lines[ln] = lines[ln][:col] + b"a" + lines[ln][col + 1:]
                body += (lines[1:] if "nobegin" in opt else lines) + [b"and the next:"]
            out.append(head + b"\r\n" + b"\r\n".join(body) + b"\r\n")
        elif kind == "mime":  # Python's email package, a text part and base64 parts
            m = MIMEMultipart()
            m.attach(MIMEText("Some text about the files.\n", "plain", "us-ascii"))
            for name, d in files:
                p = MIMEApplication(d, name=name.decode())
                p.add_header("Content-Disposition", "attachment")
                m.attach(p)
            out.append(head + m.as_bytes(policy=email.policy.compat32.clone(linesep="\r\n")))
        elif kind == "mpack":  # mpack: 72-character lines, Content-MD5
            (name, d), = files
            with tempfile.TemporaryDirectory() as t:
                open(t + "/kaplo-mpack-in", "wb").write(d)
                run(["mpack", "-s", "x", "-o", t + "/out", t + "/kaplo-mpack-in"])
                m = open(t + "/out", "rb").read().replace(b"kaplo-mpack-in", name)
            m = b"\n".join(l for l in m.split(b"\n") if not l.lower().startswith((b"subject:", b"message-id:")))
            out.append(head + m.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n"))
        elif kind == "today":  # EmailMessage: UTF-8 words, RFC 2231 names; utf8=1 raw UTF-8
            m = EmailMessage()
            m["Newsgroups"], m["From"], m["Subject"] = group.decode(), opt["from"], opt["subject"]
            m["Date"] = "Sat, 06 Dec 1997 12:34:56 +0900"
            m.set_content("Some text about the files.\n")
            for name, d in files:
                m.add_attachment(d, maintype="application", subtype="octet-stream", filename=name.decode())
            a = m.as_bytes(policy=email.policy.default.clone(linesep="\r\n", utf8="utf8" in opt))
            for old, new in [x.split(">", 1) for x in opt.get("replace", "").split("|") if x]:
                # "{N:text}": text N times, "#" in it the count from 0
                new = re.sub(r"\{(\d+):([^}]*)\}", lambda m: "".join(m[2].replace("#", str(i)) for i in range(int(m[1]))), new)
                a = a.replace(old.encode(), new.replace("\\r\\n", "\r\n").encode())
            out.append(a)
        elif kind == "yenc":  # python3-yenc: parts=N post=ORDER damage=PART dots=1 partline=1
            import yenc
            (name, d), = files
            n = int(opt.get("parts", 1))
            step, arts = -(-len(d) // n), []
            whole = yenc.Encoder(); whole.feed(d); crc = whole.getCrc32().encode()
            for k in range(n):
                chunk = d[k * step:(k + 1) * step]
                e = yenc.Encoder(); e.feed(chunk); e.terminate(); body = e.getEncoded()
                if "dots" in opt:
                    body = body.replace(b"\r\n=n", b"\r\n.")
                    body = b"." + body[2:] if body.startswith(b"=n") else body
                if opt.get("damage") == str(k + 1):  # one data character of line 2 changed
                    ls = body.split(b"\r\n"); l = ls[1]
                    i = next(i for i in range(5, len(l)) if l[i] not in b"=." and l[i - 1] != 61)
                    ls[1] = l[:i] + (b"b" if l[i] == 97 else b"a") + l[i + 1:]
                    body = b"\r\n".join(ls)
                if n > 1 or "partline" in opt:
                    y = b"=ybegin part=%d total=%d line=128 size=%d name=%s\r\n=ypart begin=%d end=%d\r\n" % (
                        k + 1, n, len(d), name, k * step + 1, k * step + len(chunk))
                    t = b"=yend size=%d part=%d pcrc32=%s" % (len(chunk), k + 1, e.getCrc32().encode())
                    t += b" crc32=" + crc if k == n - 1 else b""
                else:
                    y, t = b"=ybegin line=128 size=%d name=%s\r\n" % (len(d), name), b"=yend size=%d crc32=%s" % (len(d), crc)
                arts.append(head + b"\r\n" + y + body + t + b"\r\n")
            out += [arts[int(p) - 1] for p in opt.get("post", ",".join(str(k + 1) for k in range(n))).split(",")]
    sys.stdout.buffer.write(b"\0".join(out))


main()
