#!/usr/bin/env bash
# Download benchmark. A private INN server holds COUNT articles of about
# 100 KB (one uuencoded attachment of random bytes each) and one article of
# about 50 MB. Timed, in interleaved rounds, each run into a save directory
# of its own made before the rounds begin (deleting a thousand files just
# before a run slows the next run's file creations):
#
#   raw      engine_rawfetch: GROUP / ARTICLE / NEXT one command at a time,
#            every byte thrown away (plain POSIX sockets, no Qt)
#   serial   engine_serialfetch: the same conversation, every attachment
#            uudecoded and written before the next command goes out
#   cli      kaplo-cli download with a fresh settings file
#
# then kaplo-cli through bench/delayproxy (each direction delayed 0 and
# 10 ms; with 10 ms also one run with SERVER/PIPELINE=1, one command at a
# time), the main window's run (bench_window, Form1 offscreen), a run over
# implicit TLS, and the peak memory of a run over the 50 MB article.
#
# The yEnc case: COUNT articles of about 100 KB holding the parts of ten
# files (made by python3-yenc, a part of each file in turn), fetched by
# engine_rawfetch, by engine_serialfetch (which decodes yEnc too, checks
# each part's CRC32 and writes it at its offset) and by kaplo-cli, whose
# files are then compared with the originals. CASES "yenc" runs only these
# and the uuencoded articles' raw, serial and kaplo-cli rows.
#
#   cmake -S . -B build -G Ninja -DKAPLO_BUILD_BENCH=ON
#   cmake --build build --target kaplo-cli engine_rawfetch engine_serialfetch \
#       delayproxy bench_window
#   bench/engine_bench.sh build [ROUNDS] [COUNT] [CASES: all or yenc]
#
# Rates are bytes received over wall time (1 MB = 1 000 000 bytes), the
# median of ROUNDS (default 5) with the lowest and highest; ratios are of
# medians, with the lowest and highest of the per-round ratios. Peak memory
# is /usr/bin/time's maximum resident set size.
#
# Needs root or password-less sudo for innd (scripts/inn-test-server.sh)
# and openssl for the TLS server's certificate.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: engine_bench.sh BUILD_DIR [ROUNDS] [COUNT]}" && pwd)
rounds=${2:-5}
count=${3:-1000}
cases=${4:-all}
all() { [ "$cases" = all ]; }
cli=$build/kaplo-cli
raw=$build/bench/engine_rawfetch
serial=$build/bench/engine_serialfetch
proxy=$build/bench/delayproxy
window=$build/bench/bench_window
needed=("$cli" "$raw" "$serial")
all && needed+=("$proxy" "$window")
for x in "${needed[@]}"; do
    [ -x "$x" ] || { echo "build $(basename "$x") first" >&2; exit 1; }
done

work=$(mktemp -d)
chmod 0755 "$work"
inn=$work/inn
server=$root/scripts/inn-test-server.sh
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    "$server" purge "$inn" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

freeport() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
port=$(freeport)
tlsport=$(freeport)
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost \
    -addext subjectAltName=DNS:localhost -keyout "$work/server.key" -out "$work/server.pem" 2>/dev/null
chmod 0644 "$work/server.key" "$work/server.pem"
"$server" start "$inn" "$port" --tls "$tlsport" "$work/server.pem" "$work/server.key" >/dev/null
"$server" newgroup "$inn" kaplo.bench kaplo.big kaplo.yenc >/dev/null
echo "posting $count articles of ~100 KB ..." >&2
python3 "$root/bench/engine_post.py" "$port" kaplo.bench "$count" 102400
if all; then
    echo "posting one article of ~50 MB ..." >&2
    python3 "$root/bench/engine_post.py" "$port" kaplo.big 1 52428800
fi
echo "posting $count yEnc parts of ~100 KB ..." >&2
/usr/bin/python3 "$root/bench/engine_post.py" "$port" kaplo.yenc "$count" 102400 1 yenc:10 >"$work/yenc.sha"

# The delaying proxies, ended by the trap (and by themselves after an hour).
proxy0=$(freeport)
proxy10=$(freeport)
if all; then
    "$proxy" "$proxy0" "$port" 0 3600 &
    pids+=($!)
    "$proxy" "$proxy10" "$port" 10 3600 &
    pids+=($!)
    sleep 0.5
fi

now() { date +%s.%N; }

# settings DIR PORT GROUP [EXTRA SERVER LINES]: a fresh settings file in DIR
# saving into DIR/save; prints its path.
settings() {
    local dir=$1
    mkdir -p "$dir/save"
    cat >"$dir/KAPLO.ini" <<INI
[SERVER]
SERVERNAME=${HOST:-127.0.0.1}
SERVERPORT=$2
${4:-}
[SAVE]
DIR=$dir/save
[GROUP]
GROUPNAME1=$3
INI
    echo "$dir/KAPLO.ini"
}

# run_timed OUTVAR_SECONDS OUTVAR_KB command...: wall time and peak memory.
run_timed() {
    local t0 t1
    t0=$(now)
    /usr/bin/time -v -o "$work/time.txt" "${@:3}" >"$work/out.txt" 2>"$work/err.txt" || {
        echo "failed: ${*:3}" >&2
        cat "$work/err.txt" >&2
        return 1
    }
    t1=$(now)
    printf -v "$1" '%s' "$(echo "$t1 - $t0" | bc -l)"
    printf -v "$2" '%s' "$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")"
}

saved() { # DIR FILES: the run saved that many files
    local n
    n=$(find "$1" -type f -name '*.bin' | wc -l)
    [ "$n" -eq "$2" ] || { echo "expected $2 files in $1, found $n" >&2; cat "$work/out.txt" "$work/err.txt" >&2; exit 1; }
}

declare -A secs peak size
record() { # NAME SECONDS KB
    secs[$1]="${secs[$1]:-} $2"
    if [ "${3:-0}" -gt "${peak[$1]:-0}" ]; then peak[$1]=$3; fi
}

# Every round's directories first: no deleting or creating of many files
# right before a timed run.
for r in $(seq "$rounds"); do
    for k in serial cli p0 p10 win tls yserial ycli; do mkdir -p "$work/r$r/$k/save"; done
done
mkdir -p "$work/p10one/save" "$work/big/save"

bytes=0
load_start=$(cut -d' ' -f1-3 /proc/loadavg)
echo "rounds ..." >&2
for r in $(seq "$rounds"); do
    run_timed s kb "$raw" 127.0.0.1 "$port" kaplo.yenc
    read -r articles size[yraw] <"$work/out.txt"
    [ "$articles" -eq "$count" ] || { echo "raw client fetched $articles yEnc articles" >&2; exit 1; }
    record yraw "$s" "$kb"

    run_timed s kb "$serial" 127.0.0.1 "$port" kaplo.yenc "$work/r$r/yserial/save"
    (cd "$work/r$r/yserial/save" && sha256sum --quiet -c "$work/yenc.sha")
    record yserial "$s" "$kb"

    ini=$(settings "$work/r$r/ycli" "$port" kaplo.yenc)
    run_timed s kb "$cli" download --settings "$ini"
    (cd "$work/r$r/ycli/save" && sha256sum --quiet -c "$work/yenc.sha")
    record ycli "$s" "$kb"

    run_timed s kb "$raw" 127.0.0.1 "$port" kaplo.bench
    read -r articles bytes <"$work/out.txt"
    [ "$articles" -eq "$count" ] || { echo "raw client fetched $articles articles" >&2; exit 1; }
    record raw "$s" "$kb"

    run_timed s kb "$serial" 127.0.0.1 "$port" kaplo.bench "$work/r$r/serial/save"
    saved "$work/r$r/serial/save" "$count"
    record serial "$s" "$kb"

    ini=$(settings "$work/r$r/cli" "$port" kaplo.bench)
    run_timed s kb "$cli" download --settings "$ini"
    saved "$work/r$r/cli/save" "$count"
    record cli "$s" "$kb"
    all || continue

    ini=$(settings "$work/r$r/p0" "$proxy0" kaplo.bench)
    run_timed s kb "$cli" download --settings "$ini"
    saved "$work/r$r/p0/save" "$count"
    record p0 "$s" "$kb"

    ini=$(settings "$work/r$r/p10" "$proxy10" kaplo.bench)
    run_timed s kb "$cli" download --settings "$ini"
    saved "$work/r$r/p10/save" "$count"
    record p10 "$s" "$kb"

    ini=$(settings "$work/r$r/win" "$port" kaplo.bench)
    run_timed s kb "$window" "$ini"
    saved "$work/r$r/win/save" "$count"
    record win "$s" "$kb"

    ini=$(HOST=localhost settings "$work/r$r/tls" "$tlsport" kaplo.bench SSL=TRUE)
    run_timed s kb env KAPLO_TEST_CA_FILE="$work/server.pem" "$cli" download --settings "$ini"
    saved "$work/r$r/tls/save" "$count"
    record tls "$s" "$kb"
done

size[yserial]=${size[yraw]}
size[ycli]=${size[yraw]}
if all; then
# One command at a time through the 10 ms proxy: once (it is slow).
ini=$(settings "$work/p10one" "$proxy10" kaplo.bench PIPELINE=1)
run_timed s kb "$cli" download --settings "$ini"
saved "$work/p10one/save" "$count"
record p10one "$s" "$kb"

ini=$(settings "$work/big" "$port" kaplo.big)
run_timed big_s big_kb "$cli" download --settings "$ini"
run_timed bigraw_s bigraw_kb "$raw" 127.0.0.1 "$port" kaplo.big
read -r _ big_bytes <"$work/out.txt"
fi

# stats NAME: "median min max" of its rates in MB/s.
rates() { for s in ${secs[$1]}; do echo "${size[$1]:-$bytes} / $s / 1000000" | bc -l; done | sort -g; }
stats() {
    local -a v
    mapfile -t v < <(rates "$1")
    local n=${#v[@]}
    local med
    if ((n % 2)); then med=${v[n / 2]}; else med=$(echo "(${v[n / 2 - 1]} + ${v[n / 2]}) / 2" | bc -l); fi
    printf '%.1f %.1f %.1f' "$med" "${v[0]}" "${v[n - 1]}"
}
# ratio A B: median rate of A over that of B, and the range of per-round ratios.
ratio() {
    local -a a b
    read -r -a a <<<"${secs[$1]}"
    read -r -a b <<<"${secs[$2]}"
    local lo=999 hi=0 q i
    for i in "${!a[@]}"; do
        q=$(echo "${b[i]} / ${a[i]}" | bc -l)
        if (($(echo "$q < $lo" | bc -l))); then lo=$q; fi
        if (($(echo "$q > $hi" | bc -l))); then hi=$q; fi
    done
    local ma mb
    read -r ma _ <<<"$(stats "$1")"
    read -r mb _ <<<"$(stats "$2")"
    printf '%.2f (rounds %.2f-%.2f)' "$(echo "$ma / $mb" | bc -l)" "$lo" "$hi"
}
line() { # NAME LABEL
    local med lo hi
    read -r med lo hi <<<"$(stats "$1")"
    printf '%-34s %7s MB/s  (%s-%s)  peak %6d KB\n' "$2" "$med" "$lo" "$hi" "${peak[$1]}"
}

echo "load average: $load_start at the start, $(cut -d' ' -f1-3 /proc/loadavg) at the end"
echo "$count yEnc articles (parts of 10 files), ${size[yraw]} bytes received per run"
line yraw "yEnc: engine_rawfetch (discard)"
line yserial "yEnc: engine_serialfetch"
line ycli "yEnc: kaplo-cli download"
echo "yEnc kaplo-cli / serial:     $(ratio ycli yserial)"
echo "yEnc kaplo-cli / raw:        $(ratio ycli yraw)"
echo "$count articles, $bytes bytes received per run; median of $rounds rounds (lowest-highest)"
line raw "engine_rawfetch (discard)"
line serial "engine_serialfetch (decode, write)"
line cli "kaplo-cli download"
echo "kaplo-cli / serial:          $(ratio cli serial)"
echo "kaplo-cli / raw:             $(ratio cli raw)"
all || exit 0
line p0 "kaplo-cli, proxy 0 ms"
line p10 "kaplo-cli, proxy 10 ms"
line win "window (Form1 offscreen)"
line tls "kaplo-cli, TLS"
printf '%-34s %7.1f MB/s  (one run)\n' "kaplo-cli, proxy 10 ms, PIPELINE=1" \
    "$(echo "$bytes / ${secs[p10one]} / 1000000" | bc -l)"
echo "serial / raw:                $(ratio serial raw)"
echo "proxy 10 ms / proxy 0 ms:    $(ratio p10 p0)"
echo "window / kaplo-cli:          $(ratio win cli)"
echo "TLS / plain:                 $(ratio tls cli)"
printf '%-34s %7.2f s  %7.1f MB/s  peak %6d KB\n' "kaplo-cli, 50 MB article" "$big_s" \
    "$(echo "$big_bytes / $big_s / 1000000" | bc -l)" "$big_kb"
printf '%-34s %7.2f s  %7.1f MB/s  peak %6d KB\n' "engine_rawfetch, 50 MB article" "$bigraw_s" \
    "$(echo "$big_bytes / $bigraw_s / 1000000" | bc -l)" "$bigraw_kb"
