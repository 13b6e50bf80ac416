#!/usr/bin/env bash
# Builds Clipvane (Release, in build/) and runs it. When the build points at the stand-in site on
# this machine (the default), the demo site is started beside it and stopped when the window
# closes; a demo site that is already running on those ports is reused.
#
#   scripts/run.sh                 install what is missing, build, run
#   scripts/run.sh --build-only    install what is missing and build
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"
build_only=0
for arg in "$@"; do
    case "$arg" in
        --build-only) build_only=1 ;;
        -h|--help) sed -n '2,8s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "run.sh: unknown option $arg (try --help)" >&2; exit 2 ;;
    esac
done

"$root/scripts/install-deps.sh"

configure=(-S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release)
[ -f "$build/CMakeCache.txt" ] || configure+=(-G Ninja)
cmake "${configure[@]}" >/dev/null

cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
targets=(clipvane)
[ "$(cache_value CLIPVANE_BUILD_DEMO_SITE)" = "OFF" ] || targets+=(clipvane-demo-site)
cmake --build "$build" --target "${targets[@]}" --parallel "$(nproc)"
[ "$build_only" = 1 ] && exit 0

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run.sh: no display (DISPLAY and WAYLAND_DISPLAY are empty), so Clipvane cannot open its" >&2
    echo "window. It is built: $build/src/clipvane. Run it from a desktop session, or take a" >&2
    echo "picture under Xvfb with scripts/screenshot.sh." >&2
    exit 1
fi
# The browser engine's sandbox refuses to run as root.
[ "$(id -u)" -ne 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1

# "localhost:18080" -> 18080 when the host is this machine; empty otherwise.
local_port() {
    case "$1" in
        localhost:[0-9]*|127.0.0.1:[0-9]*) echo "${1##*:}" ;;
    esac
}
port_open() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
http_get() {
    (
        exec 3<>"/dev/tcp/127.0.0.1/$1" || exit 1
        printf 'GET %s HTTP/1.1\r\nHost: localhost:%s\r\nConnection: close\r\n\r\n' "$2" "$1" >&3
        timeout 5 cat <&3
    ) 2>/dev/null
}
is_demo_site() {
    http_get "$2" /v.0 | grep -q '^Clipvane ' && http_get "$1" '/watch?v=x' | grep -q '^HTTP/1.1 200'
}

video_port="$(local_port "$(cache_value CLIPVANE_VIDEO_HOST)")"
vendor_port="$(local_port "$(cache_value CLIPVANE_VENDOR_HOST)")"
site_pid=""
stop_site() {
    if [ -n "$site_pid" ]; then
        kill "$site_pid" 2>/dev/null || true
        wait "$site_pid" 2>/dev/null || true
    fi
}
trap stop_site EXIT
trap 'exit 130' INT TERM

site="$build/tools/demo-site/clipvane-demo-site"
if [ -n "$video_port" ] && [ -n "$vendor_port" ] && [ -x "$site" ]; then
    if port_open "$video_port" || port_open "$vendor_port"; then
        if is_demo_site "$video_port" "$vendor_port"; then
            echo "Using the demo site that is already running on ports $video_port and $vendor_port."
        else
            echo "run.sh: port $video_port or $vendor_port is taken by another program." >&2
            exit 1
        fi
    else
        args=(--video-port "$video_port" --vendor-port "$vendor_port")
        data="$root/../shared/data/related-2007.tsv"
        [ -f "$data" ] && args+=(--data "$data")
        "$site" "${args[@]}" >"$build/demo-site.log" 2>&1 &
        site_pid=$!
        for _ in $(seq 50); do
            is_demo_site "$video_port" "$vendor_port" && break
            kill -0 "$site_pid" 2>/dev/null || { cat "$build/demo-site.log" >&2; exit 1; }
            sleep 0.1
        done
        echo "Demo site: http://localhost:$video_port/ and http://localhost:$vendor_port/ (log: $build/demo-site.log)"
    fi
fi

"$build/src/clipvane"
