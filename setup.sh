#!/usr/bin/env bash
# Installs what is missing, builds, and then either runs the program on the built-in
# simulated analyser line (run) or runs the whole test suite (test).
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev
          qt6-base-dev qt6-base-dev-tools libgl-dev xvfb xauth imagemagick xdotool ser2net
          clang libclang-rt-dev libsqlite3-dev libpq-dev postgresql ccache qt6-charts-dev
          libqt6opengl6-dev)

install_packages() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() { # dir, targets (empty: all), extra cmake options...
    local dir=$1 targets=$2
    shift 2
    # A machine that builds again (another clone, another run) compiles only what changed.
    export CCACHE_BASEDIR="$PWD"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "$@" >/dev/null
    cmake --build "$dir" ${targets:+--target $targets}
}

case "${1:-}" in
run)
    install_packages
    build build "quorvel zarnsim zarnctl" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_BUILD_TESTS=OFF \
        -DQUORVEL_BUILD_BENCH=OFF
    if [ -x build/bin/quorvel ]; then
        exec build/bin/quorvel --simulate
    fi
    # Without the desktop program: a simulated line of twelve analysers, and every node's
    # statistics read from it.
    build/bin/zarnsim --nodes 1-12 --link "${TMPDIR:-/tmp}/zarn-demo-line" >/tmp/zarnsim.out &
    sim=$!
    trap 'kill $sim 2>/dev/null || true' EXIT
    for _ in $(seq 50); do [ -s /tmp/zarnsim.out ] && break; sleep 0.1; done
    build/bin/zarnctl --port "$(head -n1 /tmp/zarnsim.out)" stats $(seq 1 12)
    ;;
test)
    install_packages
    # One build with warnings as errors under AddressSanitizer and UndefinedBehaviorSanitizer.
    build build-ci "" -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_WERROR=ON -DQUORVEL_SANITIZE=ON \
        -DQUORVEL_BUILD_BENCH=OFF
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export QT_QPA_PLATFORM=offscreen
    ctest --test-dir build-ci --output-on-failure -j2 --timeout 600
    # The line worker and the windows that use it, under ThreadSanitizer.
    build build-tsan "sim_tests quorvel_line_test quorvel_network_view_test quorvel_stats_window_test quorvel_graphs_view_test" \
        -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_WERROR=ON -DQUORVEL_TSAN=ON -DQUORVEL_BUILD_BENCH=OFF
    TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp" \
        ctest --test-dir build-tsan --output-on-failure -j2 --timeout 600 \
        -R '^(LineWorkerTest|ProgramLine|ProgramNoise|NetworkView|StatsWindow|GraphWindows)\.'
    # Then every loader and frame reader under libFuzzer for a short while, built with clang.
    if command -v clang++ >/dev/null; then
        build build-fuzz fuzzers -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
            -DQUORVEL_FUZZ=ON -DQUORVEL_SANITIZE=ON -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=OFF
        ctest --test-dir build-fuzz --output-on-failure -j2 -L fuzz
        grep -E '^[0-9]+/[0-9]+ Testing|^Done [0-9]+ runs' build-fuzz/Testing/Temporary/LastTest.log || true
    else
        echo "clang++ not found: the fuzzers did not run" >&2
    fi
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
