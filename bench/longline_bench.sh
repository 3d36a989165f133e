#!/usr/bin/env bash
# Peak memory of kaplo-cli download while a server sends one article with a
# body line of 150 MB and no line end inside it (then a normal article).
# The goal: under 64 MB resident, and the second article saved whole.
#
#   cmake --build build --target kaplo-cli
#   bench/longline_bench.sh build [MEGABYTES]
set -euo pipefail
build=${1:?usage: longline_bench.sh BUILD_DIR [MEGABYTES]}
mb=${2:-150}
cli=$build/kaplo-cli
[ -x "$cli" ] || cli=$build/src/kaplo-cli
work=$(mktemp -d)
trap 'kill $server 2>/dev/null || true; rm -rf "$work"' EXIT

# A scripted server on 127.0.0.1: GROUP, two articles, the first with the
# long line inside its uuencoded attachment.
python3 - "$work/port" "$mb" <<'PY' &
import socket, sys
port_file, mb = sys.argv[1], int(sys.argv[2])
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(1)
open(port_file, "w").write(str(s.getsockname()[1]))
c, _ = s.accept(); f = c.makefile("rb")
c.sendall(b"200 bench ready\r\n")
good = b"begin 644 whole.bin\r\n" + b"M" + b"86)C" * 15 + b"\r\n`\r\nend\r\n"
nexts = 0
for line in f:
    cmd = line.strip()
    if cmd.startswith(b"GROUP"):
        c.sendall(b"211 2 1 2 " + cmd[6:] + b"\r\n")
    elif cmd == b"ARTICLE" and nexts == 0:
        c.sendall(b"220 1 <a@x>\r\nSubject: a\r\n\r\nbegin 644 cut.bin\r\n")
        chunk = b"M" * (1 << 20)
        for _ in range(mb):
            c.sendall(chunk)
        c.sendall(b"\r\n.\r\n")
    elif cmd == b"ARTICLE":
        c.sendall(b"220 2 <b@x>\r\nSubject: b\r\n\r\n" + good + b".\r\n")
    elif cmd == b"NEXT":
        nexts += 1
        c.sendall(b"223 2 <b@x>\r\n" if nexts == 1 else b"421 no next\r\n")
    elif cmd == b"QUIT":
        c.sendall(b"205 bye\r\n"); break
    else:
        c.sendall(b"500 what\r\n")
c.close()
PY
server=$!
while [ ! -s "$work/port" ]; do sleep 0.1; done
mkdir -p "$work/save"
cat >"$work/KAPLO.ini" <<INI
[SERVER]
SERVERNAME=127.0.0.1
SERVERPORT=$(cat "$work/port")
[SAVE]
DIR=$work/save
[GROUP]
GROUPNAME1=bench.long
INI
/usr/bin/time -v -o "$work/time.txt" "$cli" download --settings "$work/KAPLO.ini" >/dev/null
kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
echo "peak resident set: $((kb / 1024)) MB for a line of $mb MB"
[ -s "$work/save/whole.bin" ] || { echo "the article after the long line was not saved"; exit 1; }
[ "$kb" -lt $((64 * 1024)) ] || { echo "over 64 MB"; exit 1; }
