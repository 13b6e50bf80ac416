# Sourced by test.sh and fuzz.sh: the one configuration of the sanitizer build, so that both
# scripts share a build folder without reconfiguring it back and forth.
# clang, because the fuzz targets need libFuzzer; UBSan stops at its first finding.

sanitize_build=${CLIPVANE_SANITIZE_BUILD_DIR:-build-sanitize}

configure_sanitize_build() {
    local launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    cmake -S . -B "$sanitize_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" \
        "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
        -DCLIPVANE_BUILD_TESTS=ON -DCLIPVANE_BUILD_BENCH=OFF -DCLIPVANE_BUILD_DEMO_SITE=ON \
        -DCLIPVANE_BUILD_FUZZERS=ON
}

export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
