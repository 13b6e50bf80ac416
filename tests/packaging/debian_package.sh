#!/usr/bin/env bash
# Makes the Debian package of a build in a temporary folder and checks its control data, its
# files and, unpacked, its menu entry and AppStream data (and lintian's verdict when lintian is
# installed).
#
#   debian_package.sh BUILD_DIR VERSION
set -euo pipefail
build="$1"
version="$2"

fail() {
    echo "debian_package: $*" >&2
    exit 1
}

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out") >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log" >&2
    fail "cpack failed"
}
deb="$work/out/clipvane_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $(basename "$deb"); made: $(ls "$work/out")"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = clipvane ] || fail "package name $(field Package)"
[ "$(field Version)" = "$version" ] || fail "version $(field Version)"
[ "$(field Architecture)" = amd64 ] || fail "architecture $(field Architecture)"
depends="$(field Depends)"
# Computed from the shared libraries, plus the window's font.
for needed in libqt6webenginewidgets6 libqt6widgets6 libpcre2-8-0 libc6 fonts-liberation2; do
    [[ ", $depends" == *", $needed"* ]] || fail "Depends lacks $needed: $depends"
done

dpkg-deb --contents "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' >"$work/contents"
expected=(
    /usr/bin/clipvane
    /usr/lib/clipvane/clipvane
    /usr/share/applications/clipvane.desktop
    /usr/share/icons/hicolor/scalable/apps/clipvane.svg
    /usr/share/metainfo/org.clipvane.clipvane.metainfo.xml
    /usr/share/man/man1/clipvane.1.gz
)
grep -q '^CLIPVANE_BUILD_DEMO_SITE:BOOL=OFF' "$build/CMakeCache.txt" ||
    expected+=(/usr/lib/clipvane/clipvane-demo-site)
command -v convert >/dev/null && expected+=(/usr/share/icons/hicolor/{48x48,128x128,256x256}/apps/clipvane.png)
for path in "${expected[@]}"; do
    grep -qx "$path" "$work/contents" || fail "the package lacks $path"
done
if grep -v -e '^/usr/' -e '^/$' "$work/contents"; then
    fail "files outside /usr"
fi

root="$work/root"
dpkg-deb -x "$deb" "$root"
grep -qx 'Exec="/usr/bin/clipvane"' "$root/usr/share/applications/clipvane.desktop" ||
    fail "menu entry: $(grep Exec= "$root/usr/share/applications/clipvane.desktop")"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/usr/share/applications/clipvane.desktop" || fail "menu entry invalid"
fi
appstreamcli validate --no-net --strict "$root/usr/share/metainfo/org.clipvane.clipvane.metainfo.xml" ||
    fail "AppStream data invalid"

if command -v lintian >/dev/null; then
    # The project has no licence text or changelog to ship yet.
    suppressed=no-copyright-file,no-changelog
    if ! lintian --fail-on error,warning --suppress-tags "$suppressed" "$deb" >"$work/lintian" 2>&1; then
        cat "$work/lintian" >&2
        fail "lintian found errors or warnings"
    fi
fi
echo "$(basename "$deb"): $(wc -l <"$work/contents") entries; Depends: $depends"
