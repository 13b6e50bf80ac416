#!/usr/bin/env bash
# Builds the Debian package of Clipvane: installs what is missing, configures and builds a
# Release build in build-package/ (its own folder, so that build/ and its install manifest stay
# as they are) and runs CPack there. Options after -- go to CMake, e.g. other site hosts.
#
#   scripts/package.sh                                  build-package/clipvane_VERSION_amd64.deb
#   scripts/package.sh -- -DCLIPVANE_VIDEO_HOST=videos.example.org
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-package"
cmake_args=()
while [ $# -gt 0 ]; do
    case "$1" in
        --) shift; cmake_args=("$@"); break ;;
        -h|--help) sed -n '2,8s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "package.sh: unknown option $1 (try --help)" >&2; exit 2 ;;
    esac
done

"$root/scripts/install-deps.sh"

configure=(-S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCLIPVANE_BUILD_TESTS=OFF
    -DCLIPVANE_BUILD_BENCH=OFF)
[ -f "$build/CMakeCache.txt" ] || configure+=(-G Ninja)
cmake "${configure[@]}" "${cmake_args[@]}" >/dev/null
cmake --build "$build" --parallel "$(nproc)"
rm -f "$build"/clipvane_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls "$build"/clipvane_*.deb)"
echo "Built $deb"
echo "Install it with: sudo apt install $deb"
