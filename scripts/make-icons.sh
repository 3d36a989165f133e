#!/usr/bin/env bash
# Redraws the application icon PNGs under resources/icons (committed).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
g++ -std=c++20 -fPIC tools/icongen.cpp -o "$out/icongen" $(pkg-config --cflags --libs Qt6Gui)
QT_QPA_PLATFORM=offscreen "$out/icongen" resources/icons
