#!/usr/bin/env bash
# Takes a PNG of Clipvane's window under a virtual X server (Xvfb), running against the demo site
# as scripts/run.sh does.
#
#   scripts/screenshot.sh [--dig ADDRESS] [--depth 1|2|3] [--wait SECONDS] [--out FILE]
#
#   --dig ADDRESS   type ADDRESS into the input box, press Enter and wait for the dig to end
#   --depth N       explorer depth for the dig (default: the window's own "2")
#   --wait SECONDS  longest wait for the dig (default 600)
#   --out FILE      where to save the picture (default build/screenshot.png)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dig="" depth="" wait_max=600 out="$root/build/screenshot.png"
while [ $# -gt 0 ]; do
    case "$1" in
        --dig) dig="${2:?--dig needs an address}"; shift 2 ;;
        --depth) depth="${2:?--depth needs 1, 2 or 3}"; shift 2 ;;
        --wait) wait_max="${2:?--wait needs seconds}"; shift 2 ;;
        --out) out="${2:?--out needs a file}"; shift 2 ;;
        -h|--help) sed -n '2,11s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "screenshot.sh: unknown option $1 (try --help)" >&2; exit 2 ;;
    esac
done
case "$depth" in ""|1|2|3) ;; *) echo "screenshot.sh: --depth is 1, 2 or 3" >&2; exit 2 ;; esac
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac

if [ -z "${CLIPVANE_SCREENSHOT_INNER:-}" ]; then
    "$root/scripts/run.sh" --build-only
    export CLIPVANE_SCREENSHOT_INNER=1
    args=(--wait "$wait_max" --out "$out")
    [ -n "$dig" ] && args+=(--dig "$dig")
    [ -n "$depth" ] && args+=(--depth "$depth")
    exec xvfb-run -a -s "-screen 0 1280x900x24" "$0" "${args[@]}"
fi

# From here on we run inside xvfb-run, with DISPLAY set.
log="$root/build/screenshot-run.log"
"$root/scripts/run.sh" >"$log" 2>&1 &
run_pid=$!
window=""
finish() {
    if [ -n "$window" ]; then
        pid="$(xdotool getwindowpid "$window" 2>/dev/null || true)"
        [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
    fi
    # run.sh stops the demo site once the program is gone.
    wait "$run_pid" 2>/dev/null || true
}
trap finish EXIT

for _ in $(seq 120); do
    window="$(xdotool search --onlyvisible --name '^Clipvane' 2>/dev/null | head -n 1 || true)"
    [ -n "$window" ] && break
    kill -0 "$run_pid" 2>/dev/null || { cat "$log" >&2; echo "screenshot.sh: Clipvane did not start" >&2; exit 1; }
    sleep 0.5
done
[ -n "$window" ] || { cat "$log" >&2; echo "screenshot.sh: no Clipvane window appeared" >&2; exit 1; }
# Let the web panes load their pages.
sleep 4

# Picture of everything below the input row, to tell when the list has stopped growing.
below_input_row() {
    eval "$(xdotool getwindowgeometry --shell "$window")"
    import -window root -crop "${WIDTH}x$((HEIGHT - 110))+${X}+$((Y + 110))" ppm:- 2>/dev/null | md5sum
}

if [ -n "$dig" ]; then
    # The input box sits at the left of the input row (8,50 in the window, 273 by 19).
    xdotool mousemove --window "$window" 120 60 click 1
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 15 -- "$dig"
    if [ -n "$depth" ] && [ "$depth" != 2 ]; then
        # Tab order: input box, Dig, depth selector. It shows "2"; Up and Down step through 1..3.
        xdotool key Tab Tab
        [ "$depth" = 1 ] && xdotool key Up || xdotool key Down
        xdotool mousemove --window "$window" 120 60 click 1
    fi
    before="$(below_input_row)"
    xdotool key Return
    sleep 2
    if [ "$(below_input_row)" = "$before" ]; then
        # Nothing happened on Enter: use the "Dig" button (disabled, and so deaf, while digging).
        echo "screenshot.sh: Enter did not start a dig; clicking Dig" >&2
        xdotool mousemove --window "$window" 441 57 click 1
    fi
    sleep 1
    previous="" steady=0 waited=0
    while [ "$steady" -lt 4 ] && [ "$waited" -lt "$wait_max" ]; do
        sleep 2
        waited=$((waited + 2))
        now="$(below_input_row)"
        if [ "$now" = "$previous" ]; then steady=$((steady + 1)); else steady=0; fi
        previous="$now"
    done
    [ "$steady" -ge 4 ] || echo "screenshot.sh: the dig was still running after ${wait_max}s" >&2
    # Out of the input box, so that the picture has no text cursor in it.
    xdotool mousemove --window "$window" 400 300
fi

mkdir -p "$(dirname "$out")"
import -window "$window" "$out"
echo "Saved $out"
