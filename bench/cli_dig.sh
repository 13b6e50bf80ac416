#!/usr/bin/env bash
# Wall time of command-line digs against the demo site holding every response back, as a distant
# server would: with and without thumbnails, on 8 connections and on 1.
#
#   bench/cli_dig.sh [--build DIR] [--delay-ms N] [--depth N] [--start ID] [--window]
#
#   --build DIR     the build to take clipvane and the demo site from (default build-release)
#   --delay-ms N    how long the demo site holds every response (default 20)
#   --depth N       explorer depth (default 3)
#   --start ID      the video to dig from (default dQw4w9WgXcQ, as bench_dig)
#   --window        also time the window's dig (bench_dig, started with the same delay)
#
# The command line talks to the hosts the build was configured with, so the demo site is started
# on the default ports 18080 and 18081; they must be free. Each run's table is compared with the
# first one of the same kind: the number of connections must not change it.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-release" delay=20 depth=3 start=dQw4w9WgXcQ window=0
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build="${2:?--build needs a folder}"; shift 2 ;;
        --delay-ms) delay="${2:?--delay-ms needs milliseconds}"; shift 2 ;;
        --depth) depth="${2:?--depth needs 1 to 5}"; shift 2 ;;
        --start) start="${2:?--start needs an identifier}"; shift 2 ;;
        --window) window=1; shift ;;
        -h|--help) sed -n '2,15s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "cli_dig.sh: unknown option $1 (try --help)" >&2; exit 2 ;;
    esac
done
clipvane="$build/src/clipvane"
site_exe="$build/tools/demo-site/clipvane-demo-site"
for exe in "$clipvane" "$site_exe"; do
    [ -x "$exe" ] || { echo "cli_dig.sh: $exe is not built" >&2; exit 1; }
done
for port in 18080 18081; do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
        echo "cli_dig.sh: something already listens on port $port" >&2
        exit 1
    fi
done

work="$(mktemp -d)"
"$site_exe" --quiet --delay-ms "$delay" >"$work/site.log" 2>&1 &
site=$!
trap 'kill "$site" 2>/dev/null; wait "$site" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do
    (exec 3<>/dev/tcp/127.0.0.1/18080) 2>/dev/null && break
    sleep 0.1
done

address="http://localhost:18080/watch?v=$start"
echo "depth $depth from $start, every response held $delay ms"
# name, then the options of the run
run() {
    local name="$1"
    shift
    local begin end
    begin=$(date +%s.%N)
    "$clipvane" --dig "$address" --depth "$depth" --quiet --output "$work/$name.csv" "$@"
    end=$(date +%s.%N)
    printf '%-32s %7.2f s  %6d rows\n' "$name" "$(echo "$end - $begin" | bc)" \
        "$(($(wc -l <"$work/$name.csv") - 1))"
}
run "thumbnails, 8 connections" --connections 8 --thumbnails "$work/t8"
run "thumbnails, 1 connection" --connections 1 --thumbnails "$work/t1"
run "no thumbnails, 8 connections" --connections 8
run "no thumbnails, 1 connection" --connections 1
cmp -s "$work/thumbnails, 8 connections.csv" "$work/thumbnails, 1 connection.csv" ||
    echo "cli_dig.sh: the tables with thumbnails differ between 8 connections and 1" >&2
cmp -s "$work/no thumbnails, 8 connections.csv" "$work/no thumbnails, 1 connection.csv" ||
    echo "cli_dig.sh: the tables without thumbnails differ between 8 connections and 1" >&2

if [ "$window" = 1 ]; then
    kill "$site"
    wait "$site" 2>/dev/null || true
    echo "the window's dig (bench_dig):"
    # Its own exit status judges its own goals, which are not this script's.
    "$build/bench/bench_dig" --depth "$depth" --start "$start" --delay-ms "$delay" --no-peer \
        2>/dev/null | grep -E '^  (rows|wall time) ' || true
fi
