#!/usr/bin/env python3
"""Builds the ISO-2022-JP fixtures of the header decoding tests.

jis0208.txt: every JIS X 0208 code (rows 0x21..0x74) that an independent
converter defines, with the character glibc's iconv gives for
ESC $ B <code> ESC ( B. Python's own codec decides which codes are defined
and must agree with iconv. One line per code: "HILO U+XXXX".

encoded_words.txt: header texts encoded by real encoders (Python's
email.header in B and Q form, nkf -M), with the text a reader should get
back. One line per case: "source<TAB>encoded<TAB>expected".

Run from this folder: python3 make_fixtures.py
"""
import subprocess
import sys
from email.charset import QP, Charset
from email.header import Header

ESC = b"\x1b"


def jis0208():
    codes = []
    for hi in range(0x21, 0x75):
        for lo in range(0x21, 0x7F):
            raw = ESC + b"$B" + bytes([hi, lo]) + ESC + b"(B"
            try:
                ch = raw.decode("iso2022_jp")
            except UnicodeDecodeError:
                continue
            if len(ch) == 1:
                codes.append((hi, lo, ch))
    stream = b"".join(ESC + b"$B" + bytes([hi, lo]) + ESC + b"(B\n" for hi, lo, _ in codes)
    out = subprocess.run(["iconv", "-f", "ISO-2022-JP", "-t", "UTF-8"], input=stream,
                         capture_output=True, check=True).stdout.decode("utf-8")
    lines = out.split("\n")[:-1]
    if len(lines) != len(codes):
        sys.exit("iconv and Python disagree on the number of codes")
    rows = []
    differ = 0
    for (hi, lo, py), gl in zip(codes, lines):
        if len(gl) != 1:
            sys.exit("iconv gave %r for %02X%02X" % (gl, hi, lo))
        if gl != py:
            differ += 1
            print("%02X%02X: iconv U+%04X, Python U+%04X" % (hi, lo, ord(gl), ord(py)))
        rows.append("%02X%02X U+%04X" % (hi, lo, ord(gl)))
    with open("jis0208.txt", "w", encoding="ascii") as f:
        f.write("# JIS X 0208 code, character from glibc iconv (ISO-2022-JP). Made by make_fixtures.py\n")
        f.write("\n".join(rows) + "\n")
    print("jis0208.txt: %d codes, %d where the two converters differ" % (len(rows), differ))


# Characters JIS converters map differently from CP932: the reader gets
# CP932's character for the same JIS code.
TO_CP932 = str.maketrans({0x301C: 0xFF5E, 0x2016: 0x2225, 0x2212: 0xFF0D, 0x00A2: 0xFFE0,
                          0x00A3: 0xFFE1, 0x00AC: 0xFFE2, 0x2014: 0x2015})

TEXTS = [
    "日本語の件名",
    "写真.jpg",
    "壁紙 1024x768 その２.zip",
    "【画像】夏の海〜沖縄",
    "ひらがな カタカナ 漢字 ＡＢＣ １２３",
    "記号「」・ー＋×÷ 温度−5℃ ￥100",
    "test",
    "Re: 質問です",
]


def one_word(encoded):
    if encoded.lower().count("=?iso-2022-jp?") != 1 or "\n" in encoded:
        sys.exit("not a single encoded word: %r" % encoded)
    return encoded


def encoded_words():
    rows = []
    q = Charset("iso-2022-jp")
    q.header_encoding = QP
    for text in TEXTS:
        want = text.translate(TO_CP932)
        b = one_word(Header(text, "iso-2022-jp").encode(maxlinelen=10000))
        rows.append(("python-b", b, want))
        qw = one_word(Header(text, q).encode(maxlinelen=10000))
        # An underscore in a Q word stays an underscore.
        rows.append(("python-q", qw, want.replace(" ", "_")))
        nkf = subprocess.run(["nkf", "-j", "-M"], input=text.encode("utf-8"),
                             capture_output=True, check=True).stdout.decode("ascii").strip()
        # nkf encodes each run of Japanese as its own word: only texts it
        # writes as one word are usable here.
        if nkf.lower().count("=?iso-2022-jp?") == 1 and "\n" not in nkf:
            rows.append(("nkf", nkf, want))
    # In context: text around the word stays.
    b = Header("日本語", "iso-2022-jp").encode()
    rows.append(("python-b", "Re: " + b + " (2)", "Re: 日本語 (2)"))
    with open("encoded_words.txt", "w", encoding="utf-8") as f:
        f.write("# source, encoded header text, decoded text (TAB separated). Made by make_fixtures.py\n")
        for row in rows:
            if any("\t" in x for x in row):
                sys.exit("TAB in a fixture")
            f.write("\t".join(row) + "\n")
    print("encoded_words.txt: %d cases" % len(rows))


if __name__ == "__main__":
    jis0208()
    encoded_words()
