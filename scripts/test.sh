#!/usr/bin/env bash
# Installs what is missing, builds Clipvane with its tests and runs the test suite.
#   bash scripts/test.sh             the normal suite, then the sanitizer suite, then each fuzz
#                                    target for 5 s (what CI runs)
#   bash scripts/test.sh --normal    the normal suite only
#   bash scripts/test.sh --sanitize  the sanitizer suite only: the whole suite built with clang,
#                                    AddressSanitizer and UndefinedBehaviorSanitizer
# Tests that drive the embedded browser need an X display: they run under xvfb-run.
set -euo pipefail
cd "$(dirname "$0")/.."

normal=1 sanitize=1 fuzz=1
case "${1:-}" in
    "") ;;
    --normal) sanitize=0 fuzz=0 ;;
    --sanitize) normal=0 fuzz=0 ;;
    *)
        echo "usage: bash scripts/test.sh [--normal | --sanitize]" >&2
        exit 2
        ;;
esac

bash scripts/install-deps.sh

# Qt WebEngine refuses to run its sandbox as root; the test processes get this, the program never.
export QTWEBENGINE_DISABLE_SANDBOX=1
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
under_x=(xvfb-run -a -s "-screen 0 1280x1024x24")

if [ $normal -eq 1 ]; then
    build=${CLIPVANE_TEST_BUILD_DIR:-build-tests}
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCLIPVANE_BUILD_TESTS=ON -DCLIPVANE_BUILD_BENCH=ON -DCLIPVANE_BUILD_DEMO_SITE=ON
    cmake --build "$build" -j2
    "${under_x[@]}" ctest --test-dir "$build" --output-on-failure -j2 --timeout 300
fi

if [ $sanitize -eq 1 ]; then
    source scripts/sanitize-build.sh
    configure_sanitize_build
    cmake --build "$sanitize_build" -j2
    strict=detect_leaks=1:check_initialization_order=1:strict_init_order=1
    suppressions=suppressions=$PWD/tests/sanitize/lsan.supp
    ASAN_OPTIONS=$strict LSAN_OPTIONS=$suppressions \
        ctest --test-dir "$sanitize_build" --output-on-failure -j2 --timeout 300 -L offscreen
    # Tests that send real input through the X server. On X, system libraries load (D-Bus, the
    # GL driver) whose leaks only a full stack can tell apart from ours: the slow unwinder.
    ASAN_OPTIONS=$strict LSAN_OPTIONS=$suppressions:fast_unwind_on_malloc=0 \
        "${under_x[@]}" ctest --test-dir "$sanitize_build" --output-on-failure --timeout 300 -L x11
    # The pane tests run Chromium (inside Qt WebEngine) in the test process. Chromium, built
    # without ASan, frees some objects with a smaller size than it allocated them with and keeps
    # allocations for the life of the process that it never frees; neither is this program's
    # doing. So for these tests alone ASan does not compare delete sizes and does not look for
    # leaks; every other check stays on.
    ASAN_OPTIONS=detect_leaks=0:new_delete_type_mismatch=0 \
        "${under_x[@]}" ctest --test-dir "$sanitize_build" --output-on-failure -j2 --timeout 300 -L pane
fi

if [ $fuzz -eq 1 ]; then
    # A few seconds each, so that the fuzz targets keep building and their seeds keep passing.
    bash scripts/fuzz.sh 5
fi
