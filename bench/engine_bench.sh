#!/usr/bin/env bash
# Download benchmark: kaplo-cli download against a private INN server holding
# 200 articles of about 100 KB (one uuencoded attachment each), compared with
# engine_rawfetch, which sends the same GROUP / ARTICLE / NEXT sequence one
# command at a time and throws the bytes away. Then the peak memory of a run
# over one article of about 50 MB.
#
#   cmake -S . -B build -G Ninja -DKAPLO_BUILD_BENCH=ON
#   cmake --build build --target kaplo-cli engine_rawfetch
#   bench/engine_bench.sh build [RUNS] [--no-sync]
#
# --no-sync runs kaplo-cli with fsync/fdatasync turned into no-ops (an
# LD_PRELOAD shim), to tell the cost of making every LAST write and every
# output file durable from the rest.
#
# Needs root or password-less sudo for innd (scripts/inn-test-server.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: engine_bench.sh BUILD_DIR [RUNS]}" && pwd)
runs=${2:-3}
nosync=${3:-}
cli=$build/kaplo-cli
raw=$build/bench/engine_rawfetch
[ -x "$cli" ] && [ -x "$raw" ] || { echo "build kaplo-cli and engine_rawfetch first" >&2; exit 1; }

work=$(mktemp -d)
chmod 0755 "$work"
inn=$work/inn
server=$root/scripts/inn-test-server.sh
cleanup() {
    "$server" purge "$inn" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

preload=()
if [ "$nosync" = --no-sync ]; then
    printf 'int fsync(int fd){(void)fd;return 0;}\nint fdatasync(int fd){(void)fd;return 0;}\n' >"$work/nosync.c"
    cc -shared -fPIC -o "$work/nosync.so" "$work/nosync.c"
    preload=(env LD_PRELOAD="$work/nosync.so")
fi

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$server" start "$inn" "$port" >/dev/null
"$server" newgroup "$inn" kaplo.bench kaplo.big >/dev/null
echo "posting 200 articles of ~100 KB and one of ~50 MB ..." >&2
python3 "$root/bench/engine_post.py" "$port" kaplo.bench 200 102400
python3 "$root/bench/engine_post.py" "$port" kaplo.big 1 52428800

now() { date +%s.%N; }

# A fresh settings file and save directory: every run fetches everything.
settings() {
    local group=$1 dir=$work/run
    rm -rf "$dir"
    mkdir -p "$dir/save"
    cat >"$dir/KAPLO.ini" <<INI
[SERVER]
SERVERNAME=127.0.0.1
SERVERPORT=$port
[SAVE]
DIR=$dir/save
[GROUP]
GROUPNAME1=$group
INI
    echo "$dir/KAPLO.ini"
}

# run_timed OUTVAR_SECONDS OUTVAR_KB command...: wall time and peak memory.
run_timed() {
    local t0 t1
    t0=$(now)
    /usr/bin/time -v -o "$work/time.txt" "${@:3}" >"$work/out.txt" 2>"$work/err.txt" || {
        cat "$work/err.txt" >&2
        return 1
    }
    t1=$(now)
    printf -v "$1" '%s' "$(echo "$t1 - $t0" | bc -l)"
    printf -v "$2" '%s' "$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")"
}

best_raw=999999 best_cli=999999 raw_kb=0 cli_kb=0
for i in $(seq "$runs"); do
    run_timed s kb "$raw" 127.0.0.1 "$port" kaplo.bench
    read -r articles bytes <"$work/out.txt"
    if (($(echo "$s < $best_raw" | bc -l))); then best_raw=$s; fi
    ((kb > raw_kb)) && raw_kb=$kb
    ini=$(settings kaplo.bench)
    run_timed s kb "${preload[@]}" "$cli" download --settings "$ini"
    grep -q 'ﾌｧｲﾙ数=200$' "$work/out.txt" || { echo "kaplo-cli did not save 200 files:" >&2; cat "$work/out.txt" >&2; exit 1; }
    if (($(echo "$s < $best_cli" | bc -l))); then best_cli=$s; fi
    ((kb > cli_kb)) && cli_kb=$kb
done

ini=$(settings kaplo.big)
run_timed big_s big_kb "${preload[@]}" "$cli" download --settings "$ini"
run_timed bigraw_s bigraw_kb "$raw" 127.0.0.1 "$port" kaplo.big
read -r _ big_bytes <"$work/out.txt"

mbps() { echo "scale=1; $1 / $2 / 1048576" | bc -l; }
echo "articles: $articles, bytes received: $bytes (best of $runs runs)"
printf '%-22s %8s s %8s MB/s  peak %6d KB\n' engine_rawfetch "$best_raw" "$(mbps "$bytes" "$best_raw")" "$raw_kb"
printf '%-22s %8s s %8s MB/s  peak %6d KB\n' "kaplo-cli download" "$best_cli" "$(mbps "$bytes" "$best_cli")" "$cli_kb"
echo "ratio (kaplo-cli / raw throughput): $(echo "scale=3; $best_raw / $best_cli" | bc -l)"
printf '%-22s %8s s %8s MB/s  peak %6d KB\n' "kaplo-cli, 50 MB art." "$big_s" "$(mbps "$big_bytes" "$big_s")" "$big_kb"
printf '%-22s %8s s %8s MB/s  peak %6d KB\n' "raw, 50 MB article" "$bigraw_s" "$(mbps "$big_bytes" "$bigraw_s")" "$bigraw_kb"
