#!/usr/bin/env bash
# A private INN news server for the integration tests.
#
#   inn-test-server.sh start DIR PORT [--tls TLSPORT CERT KEY] [--passwd FILE]
#                                         build a fresh instance under DIR and
#                                         start innd on 127.0.0.1:PORT
#   inn-test-server.sh stop DIR           stop it (innd and its nnrpd children)
#   inn-test-server.sh newgroup DIR NAME...  create newsgroups
#   inn-test-server.sh status DIR         exit 0 when innd answers
#   inn-test-server.sh purge DIR          stop it and remove DIR
#
# The instance has its own tree under DIR (configuration, history, active,
# spool, logs), owned by the news user, and listens on the loopback address
# only. Readers on 127.0.0.1 may read and post. Nothing outside DIR is
# touched.
#
# Optional, for secure and authenticated readers:
#   --tls TLSPORT CERT KEY  nnrpd also serves implicit TLS (nnrpd -D -S) on
#                           127.0.0.1:TLSPORT with this PEM certificate and key
#   --passwd FILE           readers (on every port) must authenticate with
#                           AUTHINFO USER/PASS against FILE, lines of
#                           "user:crypt(3) hash" as ckpasswd -f reads them
# Without them the instance is exactly the plain one. innd must be started as root (it drops to news by itself): when
# not root, the script runs itself again through sudo.
set -euo pipefail

INN_BIN=/usr/lib/news/bin
INN_ETC=/etc/news

die() {
    echo "inn-test-server: $*" >&2
    exit 1
}

need_root() {
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
            exec sudo -n -- "$0" "$@"
        fi
        die "must run as root (or with password-less sudo): innd starts as root and drops to news"
    fi
}

check_installed() {
    [ -x "$INN_BIN/innd" ] || die "INN is not installed ($INN_BIN/innd missing): run scripts/setup.sh"
    id news >/dev/null 2>&1 || die "there is no news user: is inn2 installed?"
}

as_news() {
    runuser -u news -- env INNCONF="$DIR/etc/inn.conf" HOME="$DIR" "$@"
}

# True when innd on 127.0.0.1:$1 sends its greeting.
answers() {
    [[ "${1:-}" =~ ^[0-9]+$ ]] || return 1
    # shellcheck disable=SC2016 # expanded by the inner shell
    timeout 5 bash -c 'exec 3<>"/dev/tcp/127.0.0.1/$1" && read -r line <&3 && [[ "$line" == 2* ]]' \
        _ "$1" 2>/dev/null
}

write_conf() {
    local port=$1
    # Our values replace the installed ones; everything else is kept.
    local keys='domain|pathhost|port|bindaddress|bindaddress6|artcutoff|maxartsize|localmaxartsize|pgpverify|doinnwatch|nnrpdloadlimit|nnrpdpostport|status|timer|htmlstatus|organization|path[a-z]*'
    grep -vE "^[[:space:]]*($keys)[[:space:]]*:" "$INN_ETC/inn.conf" >"$DIR/etc/inn.conf" || true
    cat >>"$DIR/etc/inn.conf" <<EOF

# Private test instance.
domain:                      localdomain
pathhost:                    kaplo.test
port:                        $port
bindaddress:                 127.0.0.1
artcutoff:                   0
maxartsize:                  0
localmaxartsize:             0
pgpverify:                   false
doinnwatch:                  false
nnrpdloadlimit:              0
nnrpdpostport:               $port
status:                      0
timer:                       0
htmlstatus:                  false
pathnews:                    /usr/lib/news
pathbin:                     /usr/lib/news/bin
pathcontrol:                 /usr/lib/news/bin/control
pathetc:                     $DIR/etc
pathfilter:                  $DIR/etc/filter
pathdb:                      $DIR/db
pathrun:                     $DIR/run
pathlog:                     $DIR/log
pathhttp:                    $DIR/http
pathspool:                   $DIR/spool
patharticles:                $DIR/spool/articles
pathoverview:                $DIR/spool/overview
pathincoming:                $DIR/spool/incoming
pathtmp:                     $DIR/spool/incoming/tmp
pathoutgoing:                $DIR/spool/outgoing
patharchive:                 $DIR/spool/archive
EOF

    # A client whose address is a peer talks to innd itself, where GROUP
    # fails: 127.0.0.1 must stay a reader. Articles are fed with IHAVE from
    # 127.0.0.2 (all of 127/8 is loopback), which keeps their bytes exact.
    cat >"$DIR/etc/incoming.conf" <<'EOF'
streaming:          true
max-connections:    8
peer feeder {
    hostname:       "127.0.0.2"
}
EOF
    if [ -n "$PASSWD_FILE" ]; then
        local users
        users=$(cut -d: -f1 "$DIR/etc/passwd" | paste -sd, -)
        cat >"$DIR/etc/readers.conf" <<EOF
auth "users" {
    hosts: "localhost, 127.0.0.1, ::1"
    auth: "ckpasswd -f $DIR/etc/passwd"
}
access "users" {
    users: "$users"
    newsgroups: "*"
    access: RPA
}
EOF
    else
        cat >"$DIR/etc/readers.conf" <<'EOF'
auth "local" {
    hosts: "localhost, 127.0.0.1, ::1, stdin"
    default: "<local>"
}
access "local" {
    users: "<local>"
    newsgroups: "*"
    access: RPA
}
EOF
    fi
    if [ -n "$TLS_PORT" ]; then
        cat >>"$DIR/etc/inn.conf" <<EOF
tlscapath:                   $DIR/etc/tls
tlscertfile:                 $DIR/etc/tls/cert.pem
tlskeyfile:                  $DIR/etc/tls/key.pem
EOF
    fi
    # Store locally, feed nobody, run no control-message channel.
    cat >"$DIR/etc/newsfeeds" <<'EOF'
ME:*::
EOF
    cat >"$DIR/etc/storage.conf" <<'EOF'
method tradspool {
    newsgroups: *
    class: 0
}
EOF
}

TLS_PORT=""
TLS_CERT=""
TLS_KEY=""
PASSWD_FILE=""

do_start() {
    local port=$2
    DIR=$1
    [[ "$port" =~ ^[0-9]+$ ]] || die "bad port: $port"
    need_root start "$@"
    shift 2
    while [ $# -gt 0 ]; do
        case "$1" in
        --tls)
            [ $# -ge 4 ] || die "usage: --tls TLSPORT CERT KEY"
            TLS_PORT=$2 TLS_CERT=$3 TLS_KEY=$4
            [[ "$TLS_PORT" =~ ^[0-9]+$ ]] || die "bad TLS port: $TLS_PORT"
            { [ -r "$TLS_CERT" ] && [ -r "$TLS_KEY" ]; } || die "cannot read $TLS_CERT or $TLS_KEY"
            shift 4
            ;;
        --passwd)
            [ $# -ge 2 ] || die "usage: --passwd FILE"
            PASSWD_FILE=$2
            [ -r "$PASSWD_FILE" ] || die "cannot read $PASSWD_FILE"
            shift 2
            ;;
        *) die "unknown option: $1" ;;
        esac
    done
    check_installed
    mkdir -p "$DIR"
    DIR=$(cd "$DIR" && pwd -P)
    [ "$DIR" != / ] || die "refusing to use / as the server folder"
    if alive "$(cat "$DIR/run/innd.pid" 2>/dev/null)" && answers "$port"; then
        return 0 # already running
    fi
    # A mktemp folder is 0700: news must be able to enter it.
    chmod 0755 "$DIR"
    : >"$DIR/.kaplo-inn-test"
    rm -rf "${DIR:?}/etc" "${DIR:?}/db" "${DIR:?}/run" "${DIR:?}/log" "${DIR:?}/spool" "${DIR:?}/http"
    cp -a "$INN_ETC" "$DIR/etc"
    mkdir -p "$DIR/db" "$DIR/run" "$DIR/log" "$DIR/http" \
        "$DIR/spool/articles" "$DIR/spool/overview" "$DIR/spool/incoming/tmp" \
        "$DIR/spool/outgoing" "$DIR/spool/archive"
    if [ -n "$PASSWD_FILE" ]; then
        install -m 0600 "$PASSWD_FILE" "$DIR/etc/passwd"
    fi
    if [ -n "$TLS_PORT" ]; then
        mkdir -p "$DIR/etc/tls"
        install -m 0644 "$TLS_CERT" "$DIR/etc/tls/cert.pem"
        install -m 0600 "$TLS_KEY" "$DIR/etc/tls/key.pem"
    fi
    write_conf "$port"
    printf '%s\n' \
        'control 0000000000 0000000001 n' \
        'control.cancel 0000000000 0000000001 n' \
        'junk 0000000000 0000000001 n' >"$DIR/db/active"
    : >"$DIR/db/active.times"
    : >"$DIR/db/newsgroups"
    : >"$DIR/db/history"
    chown -R news:news "$DIR"
    as_news test -w "$DIR/db" ||
        die "the news user cannot reach $DIR: every parent folder must be traversable (chmod o+x)"
    (cd "$DIR/db" && as_news "$INN_BIN/makedbz" -i -o -s 10000 -f history) >"$DIR/log/makedbz.out" 2>&1 ||
        die "makedbz failed: $(cat "$DIR/log/makedbz.out")"

    # Started as root, innd binds the port and drops to news.
    cd "$DIR"
    INNCONF="$DIR/etc/inn.conf" setsid "$INN_BIN/innd" -f -P "$port" \
        </dev/null >"$DIR/log/innd.out" 2>&1 &
    echo $! >"$DIR/innd.launcher.pid"
    local _
    local launcher
    launcher=$(cat "$DIR/innd.launcher.pid")
    for _ in $(seq 1 200); do
        # innd writes its pid file once it listens; without it an answer
        # could come from another server on the same port.
        if [ "$(cat "$DIR/run/innd.pid" 2>/dev/null)" = "$launcher" ] && answers "$port"; then
            start_tls
            return 0
        fi
        if ! alive "$launcher"; then
            die "innd exited: $(tail -n 20 "$DIR/log/innd.out" "$DIR/log/errlog" 2>/dev/null)"
        fi
        sleep 0.05
    done
    die "innd does not answer on 127.0.0.1:$port"
}

# True when something accepts TCP connections on 127.0.0.1:$1.
listening() {
    # shellcheck disable=SC2016 # expanded by the inner shell
    timeout 5 bash -c 'exec 3<>"/dev/tcp/127.0.0.1/$1"' _ "$1" 2>/dev/null
}

# nnrpd as a daemon of its own for implicit TLS (innd does not listen for
# it). Started as root, it binds the port and drops to news; it carries this
# instance's INNCONF, so stopping the instance stops it too.
start_tls() {
    [ -n "$TLS_PORT" ] || return 0
    local pidfile="$DIR/run/nnrpd-$TLS_PORT.pid"
    rm -f "$pidfile"
    INNCONF="$DIR/etc/inn.conf" setsid "$INN_BIN/nnrpd" -D -f -p "$TLS_PORT" -b 127.0.0.1 -S \
        </dev/null >"$DIR/log/nnrpd-tls.out" 2>&1 &
    local launcher=$! _
    for _ in $(seq 1 200); do
        # The pid file is written once the port is bound.
        if [ -s "$pidfile" ] && alive "$(cat "$pidfile")" && listening "$TLS_PORT"; then
            return 0
        fi
        if ! alive "$launcher" && ! { [ -s "$pidfile" ] && alive "$(cat "$pidfile")"; }; then
            die "nnrpd -S exited: $(tail -n 20 "$DIR/log/nnrpd-tls.out" 2>/dev/null)"
        fi
        sleep 0.05
    done
    die "nnrpd does not listen on 127.0.0.1:$TLS_PORT"
}

# Processes of this instance: innd, its children, and anything started with
# this instance's INNCONF.
instance_pids() {
    local conf="INNCONF=$DIR/etc/inn.conf" pid p
    # shellcheck disable=SC2013 # one number per file
    for pid in $(cat "$DIR/run/innd.pid" "$DIR/innd.launcher.pid" "$DIR"/run/nnrpd-*.pid 2>/dev/null); do
        [[ "$pid" =~ ^[0-9]+$ ]] || continue
        alive "$pid" || continue
        echo "$pid"
        # Its children (nnrpd for each reader); no procps needed.
        grep -lsE "^PPid:[[:space:]]+$pid\$" /proc/[0-9]*/status 2>/dev/null |
            sed -E 's|^/proc/([0-9]+)/status$|\1|' || true
    done
    grep -lsazxF "$conf" /proc/[0-9]*/environ 2>/dev/null | sed -E 's|^/proc/([0-9]+)/environ$|\1|' || true
}

# True while the process exists and is not a zombie.
alive() {
    local state
    state=$({ sed -nE 's/^[0-9]+ \(.*\) ([A-Za-z]).*/\1/p' "/proc/$1/stat"; } 2>/dev/null) || return 1
    [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}

do_stop() {
    DIR=$1
    [ -d "$DIR" ] || return 0
    need_root stop "$DIR"
    DIR=$(cd "$DIR" && pwd -P)
    local pids
    pids=$(instance_pids | sort -u | grep -vx "$$" || true)
    pids=$(for p in $pids; do alive "$p" && echo "$p"; done || true)
    [ -n "$pids" ] || return 0
    # The instance is thrown away, so nothing is lost by killing it outright
    # (innd would act on SIGTERM or ctlinnd shutdown only after half a second
    # or more).
    # shellcheck disable=SC2086
    kill -KILL $pids 2>/dev/null || true
    for _ in $(seq 1 100); do
        pids=$(for p in $pids; do alive "$p" && echo "$p"; done || true)
        [ -n "$pids" ] || break
        sleep 0.02
    done
    [ -z "$pids" ] || die "could not stop processes $pids"
    rm -f "$DIR/innd.launcher.pid"
}

do_newgroup() {
    DIR=$1
    shift
    need_root newgroup "$DIR" "$@"
    DIR=$(cd "$DIR" && pwd -P)
    local name
    for name in "$@"; do
        as_news "$INN_BIN/ctlinnd" -s -t 10 newgroup "$name" y kaplo ||
            die "ctlinnd newgroup $name failed"
    done
}

do_purge() {
    DIR=$1
    [ -d "$DIR" ] || return 0
    need_root purge "$DIR"
    [ -f "$DIR/.kaplo-inn-test" ] || die "$DIR is not a test server folder: not removed"
    do_stop "$DIR"
    rm -rf "$DIR"
}

do_status() {
    DIR=$1
    answers "$(sed -nE 's/^port:[[:space:]]*([0-9]+).*/\1/p' "$DIR/etc/inn.conf" | tail -n 1)"
}

case "${1:-}" in
start)
    [ $# -ge 3 ] || die "usage: $0 start DIR PORT [--tls TLSPORT CERT KEY] [--passwd FILE]"
    shift
    do_start "$@"
    ;;
stop)
    [ $# -eq 2 ] || die "usage: $0 stop DIR"
    do_stop "$2"
    ;;
newgroup)
    [ $# -ge 3 ] || die "usage: $0 newgroup DIR NAME..."
    shift
    do_newgroup "$@"
    ;;
purge)
    [ $# -eq 2 ] || die "usage: $0 purge DIR"
    do_purge "$2"
    ;;
status)
    [ $# -eq 2 ] || die "usage: $0 status DIR"
    do_status "$2"
    ;;
*)
    die "usage: $0 start DIR PORT [--tls TLSPORT CERT KEY] [--passwd FILE] | stop DIR | newgroup DIR NAME... | status DIR | purge DIR"
    ;;
esac
