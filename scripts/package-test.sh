#!/usr/bin/env bash
# Builds KAPLO's Debian package, installs it on this machine and tries the
# installed programs: kaplo-cli --help, one kaplo-cli download from a private
# INN news server holding one uuencoded article (the saved file must match
# the posted bytes), the desktop program drawing its windows offscreen, and
# the desktop file, icons and manual pages. Afterwards the server is stopped
# and the package removed again.
#
#   scripts/package-test.sh [BUILD_DIR]     (default: build)
#
# Needs root (apt-get install, innd), as on CI; scripts/setup.sh installs
# what it uses.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd -P)
build=${1:-build}

say() { echo "package-test: $*"; }
fail() {
  echo "package-test: FAILED: $*" >&2
  exit 1
}

if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    exec sudo -n -- "$0" "$@"
  fi
  fail "must run as root (it installs the package with apt-get)"
fi

# Quiet unless something fails.
quietly() {
  local log
  if ! log=$("$@" 2>&1); then
    printf '%s\n' "$log" >&2
    return 1
  fi
}

# --- build the package ---------------------------------------------------
if [ ! -f "$build/build.ninja" ]; then
  quietly cmake -S . -B "$build" -G Ninja
fi
quietly cmake --build "$build" -j"$(nproc)" --target kaplo kaplo-cli
build=$(cd "$build" && pwd -P)
rm -f "$build"/kaplo_*.deb
(cd "$build" && quietly cpack -G DEB) || fail "cpack -G DEB"
debs=("$build"/kaplo_*.deb)
[ -f "${debs[0]}" ] || fail "cpack made no kaplo_*.deb in $build"
[ ${#debs[@]} -eq 1 ] || fail "more than one package in $build: ${debs[*]}"
deb=${debs[0]}
say "built $(basename "$deb")"

# --- install it; everything after this is undone on exit ----------------
tmp=$(mktemp -d)
# The news user must reach the server's folder: one of its own under /tmp.
inn=$(mktemp -d)
installed=""
cleanup() {
  local rc=$?
  if [ -f "$inn/.kaplo-inn-test" ]; then
    "$root/scripts/inn-test-server.sh" purge "$inn" >/dev/null 2>&1 || true
  fi
  rm -rf "$inn"
  if [ -n "$installed" ]; then
    DEBIAN_FRONTEND=noninteractive dpkg -r kaplo >/dev/null 2>&1 ||
      echo "package-test: could not remove the kaplo package" >&2
  fi
  rm -rf "$tmp"
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if dpkg-query -W -f='${Status}' kaplo 2>/dev/null | grep -q "install ok installed"; then
  say "note: a kaplo package is installed already; it is replaced and removed afterwards"
fi
installed=yes
# apt-get (not dpkg -i) so that the package's dependencies are resolved;
# what it only recommends (fonts, certificates) is left to the user.
(cd "$build" && quietly env DEBIAN_FRONTEND=noninteractive apt-get install -y \
  --no-install-recommends "./$(basename "$deb")") || fail "apt-get install ./$(basename "$deb")"
dpkg-query -W -f='${Status}' kaplo | grep -q "install ok installed" || fail "kaplo is not installed"
say "installed"

# --- what the package put in place --------------------------------------
for f in /usr/bin/kaplo /usr/bin/kaplo-cli; do
  [ -x "$f" ] || fail "$f is missing"
done
for size in 16 22 24 32 48 64 128 256; do
  icon=/usr/share/icons/hicolor/${size}x${size}/apps/kaplo.png
  [ -s "$icon" ] || fail "icon $icon is missing"
done
desktop=/usr/share/applications/kaplo.desktop
[ -f "$desktop" ] || fail "$desktop is missing"
if command -v desktop-file-validate >/dev/null 2>&1; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
else
  say "note: desktop-file-validate is not installed (package desktop-file-utils); not validated"
fi
grep -qx 'Exec=kaplo' "$desktop" || fail "$desktop does not start kaplo"
grep -qx 'Icon=kaplo' "$desktop" || fail "$desktop does not name the kaplo icon"
for page in kaplo kaplo-cli; do
  man=$(dpkg -L kaplo | grep -E "/man1/$page\.1(\.gz)?$" || true)
  [ -n "$man" ] || fail "the manual page $page(1) is not installed"
  # The page must format without warnings from groff (-k: preconv reads the
  # UTF-8 text, as man does).
  if command -v groff >/dev/null 2>&1; then
    warnings=$({ if [[ "$man" == *.gz ]]; then zcat "$man"; else cat "$man"; fi; } |
      groff -k -man -Tutf8 -ww -z 2>&1 || true)
    [ -z "$warnings" ] || fail "$page(1): $warnings"
  fi
done
for f in kaplo-download.service kaplo-download.timer; do
  [ -f "/usr/share/doc/kaplo/systemd/$f" ] || fail "/usr/share/doc/kaplo/systemd/$f is missing"
done
say "files in place"

# --- kaplo-cli --help ------------------------------------------------------
help=$(/usr/bin/kaplo-cli --help) || fail "kaplo-cli --help exited $?"
for cmd in download catalogue groups config; do
  grep -q "^  $cmd" <<<"$help" || fail "kaplo-cli --help does not list $cmd"
done
say "kaplo-cli --help"

# --- a download from a private INN server ---------------------------------
port=$(python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])')
group=kaplo.test.package
"$root/scripts/inn-test-server.sh" start "$inn" "$port" >/dev/null || fail "INN did not start"
"$root/scripts/inn-test-server.sh" newgroup "$inn" "$group" || fail "newgroup $group"

# One article with one uuencoded attachment: 4000 bytes of every value.
python3 -c 'import sys; sys.stdout.buffer.write(bytes(i * 7 % 256 for i in range(4000)))' \
  >"$tmp/payload.bin"
(cd "$tmp" && uuencode payload.bin payload.bin) >"$tmp/payload.uu"
msgid="<package-test.$$.$(date +%s)@kaplo.test>"
{
  printf 'From: Package Test <test@kaplo.test>\n'
  printf 'Newsgroups: %s\n' "$group"
  printf 'Subject: package test payload.bin\n'
  printf 'Message-ID: %s\n' "$msgid"
  printf 'Date: %s\n' "$(LC_ALL=C date -u '+%a, %d %b %Y %H:%M:%S +0000')"
  printf 'Path: kaplo.test!not-for-mail\n'
  printf '\n'
  printf 'The attachment follows.\n\n'
  cat "$tmp/payload.uu"
} >"$tmp/article"

# Fed as a peer (IHAVE from 127.0.0.2), which keeps the article's bytes as
# they are; readers connect from 127.0.0.1.
python3 - "$port" "$msgid" "$tmp/article" <<'PY' || fail "posting the article"
import socket, sys
port, msgid, path = int(sys.argv[1]), sys.argv[2], sys.argv[3]
lines = open(path, "rb").read().split(b"\n")
if lines and lines[-1] == b"":
    lines.pop()
wire = b"".join((b"." + l if l.startswith(b".") else l) + b"\r\n" for l in lines) + b".\r\n"
s = socket.socket()
s.settimeout(30)
s.bind(("127.0.0.2", 0))
s.connect(("127.0.0.1", port))
f = s.makefile("rb")
def expect(prefix):
    line = f.readline()
    if not line.startswith(prefix):
        sys.exit("unexpected reply: %r" % line)
expect(b"2")
s.sendall(b"IHAVE " + msgid.encode() + b"\r\n")
expect(b"335")
s.sendall(wire)
expect(b"235")
s.sendall(b"QUIT\r\n")
s.close()
PY

save="$tmp/save"
mkdir -p "$save"
settings="$tmp/KAPLO.ini"
cat >"$settings" <<INI
[SERVER]
SERVERNAME=127.0.0.1
SERVERPORT=$port

[SAVE]
DIR=$save
LOG=TRUE

[GROUP]
GROUPNAME1=$group
INI

set +e
/usr/bin/kaplo-cli download --settings "$settings" >"$tmp/download.out" 2>&1
rc=$?
set -e
if [ "$rc" -ne 0 ]; then
  cat "$tmp/download.out" >&2
  fail "kaplo-cli download exited $rc"
fi
[ -f "$save/payload.bin" ] || {
  cat "$tmp/download.out" >&2
  ls -lR "$save" >&2
  fail "payload.bin was not saved"
}
cmp "$tmp/payload.bin" "$save/payload.bin" || fail "the saved payload.bin differs from the posted one"
log="$save/$(date +%y%m%d).LOG"
grep -q "payload.bin" "$log" 2>/dev/null || fail "the summary log $log does not name the file"
# The number of the article fetched last is stored: the next run starts there.
grep -qx 'LAST=1' "$settings" || fail "the group's article number was not stored"
say "kaplo-cli download saved payload.bin ($(stat -c %s "$save/payload.bin") bytes, identical)"

# --- the installed programs carry no development hooks -------------------
[ ! -e /usr/bin/kaplo-screenshots ] || fail "the screenshot tool was installed"
for prog in /usr/bin/kaplo /usr/bin/kaplo-cli; do
  ! grep -aq -e '--screenshot' -e 'KAPLO_TEST_' "$prog" || fail "$prog carries a development hook"
done
say "no screenshot tool or test hook in the installed programs"

say "all checks passed"
