#!/usr/bin/env bash
# Catalogue benchmark: a LIST of COUNT newsgroups (default 100 000) from a
# private INN server, received into the catalogue window's sorted lists and
# saved as newsgroups.dat, with the window (offscreen) and with the core
# alone; then kaplo-cli catalogue end to end with its peak memory.
#
#   cmake -S . -B build -G Ninja -DKAPLO_BUILD_BENCH=ON
#   cmake --build build --target kaplo-cli bench_catalogue
#   bench/catalogue_bench.sh build [RUNS] [COUNT]
#
# Needs root or password-less sudo for innd (scripts/inn-test-server.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: catalogue_bench.sh BUILD_DIR [RUNS] [COUNT]}" && pwd)
runs=${2:-3}
count=${3:-100000}
cli=$build/kaplo-cli
bench=$build/bench/bench_catalogue
[ -x "$cli" ] && [ -x "$bench" ] || { echo "build kaplo-cli and bench_catalogue first" >&2; exit 1; }

work=$(mktemp -d)
chmod 0755 "$work"
inn=$work/inn
server=$root/scripts/inn-test-server.sh
cleanup() {
    "$server" purge "$inn" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$server" start "$inn" "$port" >/dev/null

# COUNT groups in random order, written straight into the active file while
# the server is throttled (creating them one by one takes far longer).
echo "adding $count groups ..." >&2
python3 - "$count" >"$work/active.add" <<'PY'
import random, sys
random.seed(1)
words = ["alt", "binaries", "comp", "fj", "japan", "test", "pictures", "sounds",
         "misc", "rec", "sci", "soc", "talk", "news", "local"]
names = set()
while len(names) < int(sys.argv[1]):
    names.add(".".join(random.choice(words) for _ in range(random.randint(2, 4)))
              + ".g%d" % random.randint(0, 999999))
for n in names:
    print("%s 0000000000 0000000001 y" % n)
PY
ctl() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u news -- env INNCONF="$inn/etc/inn.conf" /usr/lib/news/bin/ctlinnd -s "$@"
    else
        sudo -n runuser -u news -- env INNCONF="$inn/etc/inn.conf" /usr/lib/news/bin/ctlinnd -s "$@"
    fi
}
ctl throttle bench
if [ "$(id -u)" -eq 0 ]; then
    cat "$work/active.add" >>"$inn/db/active"
else
    sudo -n tee -a "$inn/db/active" <"$work/active.add" >/dev/null
fi
ctl reload active bench
ctl go bench

for mode in window core; do
    for _ in $(seq 1 "$runs"); do
        rm -rf "$work/save"
        mkdir -p "$work/save"
        flag=()
        [ "$mode" = core ] && flag=(--core)
        "$bench" 127.0.0.1 "$port" "$work/save" "${flag[@]}"
    done
done

for _ in $(seq 1 "$runs"); do
    rm -rf "$work/save"
    mkdir -p "$work/save"
    printf '[SERVER]\nSERVERNAME=127.0.0.1\nSERVERPORT=%s\n[SAVE]\nDIR=%s\n' "$port" "$work/save" \
        >"$work/KAPLO.ini"
    t0=$(date +%s.%N)
    /usr/bin/time -v -o "$work/time.txt" "$cli" catalogue --settings "$work/KAPLO.ini" \
        >"$work/out.txt" 2>"$work/err.txt" || { cat "$work/err.txt" >&2; exit 1; }
    t1=$(date +%s.%N)
    printf 'kaplo-cli catalogue: %s names, %.2f s, peak %s KB\n' "$(cat "$work/out.txt")" \
        "$(echo "$t1 - $t0" | bc -l)" \
        "$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")"
done
