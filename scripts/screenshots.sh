#!/usr/bin/env bash
# Saves pictures of KAPLO's windows into docs/images (form1.png, form2.png,
# form3.png, frmabout.png, frmoptions.png, frmoptions1.png, frmoptions2.png
# and the start-up messages), drawn from a temporary settings file with a few
# sample groups and a small newsgroup catalogue: under Xvfb (a real X server,
# a 1366x768 screen at 100 dpi) when xvfb-run is installed, offscreen
# otherwise; at 100 % into OUTDIR and at 150 % (QT_SCALE_FACTOR=1.5) into
# OUTDIR/150.
#
#   scripts/screenshots.sh [OUTDIR]      (KAPLO_BUILD_DIR: the build folder)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KAPLO_BUILD_DIR:-build}
out=${1:-docs/images}

# Quiet unless something fails.
quietly() {
  local log
  if ! log=$("$@" 2>&1); then
    printf '%s\n' "$log" >&2
    return 1
  fi
}
if [ ! -f "$build/build.ninja" ] || [ -n "${KAPLO_REBUILD:-}" ]; then
  quietly cmake -S . -B "$build" -G Ninja
fi
quietly cmake --build "$build" --target kaplo-screenshots

# The save directory shows in the save dialog's folder list, so its path is
# the same on every run: a fixed folder, made afresh and removed afterwards.
base=/tmp/kaplo-screenshots
if [ -e "$base" ] && [ ! -f "$base/.kaplo-screenshots" ]; then
  echo "screenshots: $base exists and is not ours" >&2
  exit 1
fi
rm -rf "$base"
trap 'rm -rf "$base"' EXIT
save="$base/KAPLO"
mkdir -p "$save/fj.binaries" "$save/japan.binaries.misc"
: >"$base/.kaplo-screenshots"

# The catalogue as the catalogue window writes it: one name per line, CR LF.
printf '%s\r\n' \
  alt.binaries.pictures.misc fj.binaries fj.binaries.d fj.comp.misc \
  fj.news.misc fj.rec.animation japan.binaries.misc japan.comp.misc \
  japan.rec.music tnn.binaries >"$save/newsgroups.dat"

cat >"$base/KAPLO.ini" <<INI
[SERVER]
SERVERNAME=news.example.net
SERVERPORT=119

[SAVE]
DIR=$save
DATEDIR=TRUE
USERDIR=FALSE
GROUPDIR=TRUE
LOG=TRUE
REWRITE=FALSE
SEIGEN=2
SEIGENTIME=06:30
SEIGENFILE=500
SEIGENSIZE=50

[REMOTE]
ADDRESS=ppp-プロバイダ
INTERVAL=5

[GROUP]
GROUPNAME1=fj.binaries
GROUPNAME2=fj.binaries.d
GROUPNAME3=japan.binaries.misc
GROUPNAME4=alt.binaries.pictures.misc
GROUPNAME5=新しいﾆｭｰｽｸﾞﾙｰﾌﾟ

[GROUP1]
LAST=12840
SUBJECT=YES
DATEDIR=YES
USERDIR=NO
DOWNLOAD=YES
REWRITE=NO

[GROUP2]
LAST=3021
SUBJECT=NO
DATEDIR=NO
USERDIR=NO
DOWNLOAD=NO
REWRITE=NO

[GROUP3]
LAST=771
SUBJECT=NO
DATEDIR=YES
USERDIR=YES
DOWNLOAD=YES
REWRITE=YES
INI

if command -v xvfb-run >/dev/null 2>&1; then
  draw() { xvfb-run -a -s "-screen 0 1366x768x24 -dpi 100" env QT_QPA_PLATFORM=xcb "$@"; }
else
  draw() { env QT_QPA_PLATFORM=offscreen "$@"; }
fi
mkdir -p "$out" "$out/150"
draw env KAPLO_SETTINGS="$base/KAPLO.ini" "$build/kaplo-screenshots" "$out"
draw env KAPLO_SETTINGS="$base/KAPLO.ini" QT_SCALE_FACTOR=1.5 "$build/kaplo-screenshots" "$out/150"
