#!/usr/bin/env bash
# Saves pictures of KAPLO's windows into docs/images (form1.png, …), drawn
# offscreen from a temporary settings file with a few sample groups.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KAPLO_BUILD_DIR:-build}
out=${1:-docs/images}

if [ ! -x "$build/kaplo" ] || [ -n "${KAPLO_REBUILD:-}" ]; then
  cmake -S . -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target kaplo >/dev/null

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/save"
cat >"$tmp/KAPLO.ini" <<INI
[SERVER]
SERVERNAME=news.example.net
SERVERPORT=119

[SAVE]
DIR=$tmp/save

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

mkdir -p "$out"
KAPLO_SETTINGS="$tmp/KAPLO.ini" QT_QPA_PLATFORM=offscreen "$build/kaplo" --screenshot "$out"
