#!/usr/bin/env bash
# Installs a build into a temporary prefix, starts the installed launcher and waits for the
# Clipvane window. Needs an X display, like the pane tests (ctest runs under xvfb-run).
#
#   installed_launcher.sh BUILD_DIR VERSION
set -euo pipefail
build="$1"
version="$2"

fail() {
    echo "installed_launcher: $*" >&2
    [ -f "${log:-}" ] && sed 's/^/  launcher: /' "$log" >&2
    exit 1
}
[ -n "${DISPLAY:-}" ] || fail "no X display; run ctest under xvfb-run"

work="$(mktemp -d)"
launcher_pid=""
cleanup() {
    if [ -n "$launcher_pid" ]; then
        kill "$launcher_pid" 2>/dev/null || true
        wait "$launcher_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
    cat "$work/install.log" >&2
    fail "cmake --install failed"
}
for file in bin/clipvane lib/clipvane/clipvane share/applications/clipvane.desktop \
    share/icons/hicolor/scalable/apps/clipvane.svg share/metainfo/org.clipvane.clipvane.metainfo.xml; do
    [ -e "$prefix/$file" ] || fail "$file is not installed"
done
grep -qx "Exec=\"$prefix/bin/clipvane\"" "$prefix/share/applications/clipvane.desktop" ||
    fail "the menu entry does not start $prefix/bin/clipvane"

# A home of its own, so that nothing of the user's is read or written.
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$HOME"
log="$work/launcher.log"
"$prefix/bin/clipvane" >"$log" 2>&1 &
launcher_pid=$!

window=""
for _ in $(seq 120); do
    window="$(xdotool search --onlyvisible --name "^Clipvane $version - " 2>/dev/null | head -n 1 || true)"
    [ -n "$window" ] && break
    kill -0 "$launcher_pid" 2>/dev/null || fail "the launcher ended before a window showed"
    sleep 0.5
done
[ -n "$window" ] || fail "no Clipvane window within 60 s"
# The installed folder is writable here, so the program keeps its scratch files in it.
[ -f "$prefix/lib/clipvane/v.0" ] || fail "no scratch file v.0 beside the installed program"
echo "window $window: $(xdotool getwindowname "$window")"
