#!/usr/bin/env bash
# Installs what is missing, builds, and then either runs the program on the built-in
# simulated analyser line (run) or runs the whole test suite (test).
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev
          qt6-base-dev qt6-base-dev-tools libgl-dev xvfb xauth imagemagick xdotool ser2net
          clang libclang-rt-dev libsqlite3-dev libpq-dev postgresql ccache clang-format
          libcli11-dev nlohmann-json3-dev locales qt6-charts-dev libqt6opengl6-dev)

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

# The library as another project uses it: installed into a prefix of its own, the example program
# built against it once through its CMake package and once through pkg-config, and both asked
# whether an analyser of a simulated line answers.
check_installed_library() {
    local prefix="$PWD/build-lib/install" work
    build build-lib "lintaro zarnsim" -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_APP=OFF \
        -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX="$prefix"
    rm -rf "$prefix"
    cmake --install build-lib >/dev/null
    work=$(mktemp -d)
    cmake -S examples -B "$work/cmake" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
    cmake --build "$work/cmake" >/dev/null
    local pcdir
    pcdir=$(dirname "$(find "$prefix" -name lintaro.pc)")
    # shellcheck disable=SC2046
    c++ -std=c++20 -o "$work/ask_node_pc" examples/ask_node.cpp \
        $(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs lintaro)
    build-lib/bin/zarnsim --nodes 3 >"$work/sim.out" &
    local sim=$! line="" status=0
    for _ in $(seq 100); do
        line=$(head -n1 "$work/sim.out")
        [ -n "$line" ] && break
        sleep 0.05
    done
    local found missing
    found=$("$work/cmake/ask_node" "$line" 3) || status=1
    # Node 4 is not on the line: the program must say so and fail.
    missing=$(LD_LIBRARY_PATH="$(dirname "$pcdir")" "$work/ask_node_pc" "$line" 4) && status=1
    [ "$found" = "node 3 answers" ] || status=1
    [[ "$missing" == "node 4 does not answer"* ]] || status=1
    echo "$found; $missing"
    kill "$sim"
    wait "$sim" 2>/dev/null || true
    rm -rf "$work"
    if [ $status -ne 0 ]; then
        echo "the example program did not work against the installed library" >&2
        return 1
    fi
    echo "The installed library works for the example program (CMake package and pkg-config)."
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
    # The sources keep the project's format.
    git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
    # A decimal-comma locale for the tests that check numbers keep their dot under one.
    if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
        sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8 ||
            echo "warning: could not generate de_DE.UTF-8; the locale tests will be skipped"
    fi
    # One build with warnings as errors under AddressSanitizer and UndefinedBehaviorSanitizer.
    build build-ci "" -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_WERROR=ON -DQUORVEL_SANITIZE=ON \
        -DQUORVEL_BUILD_BENCH=OFF
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export QT_QPA_PLATFORM=offscreen
    ctest --test-dir build-ci --output-on-failure -j2 --timeout 600
    check_installed_library
    # The line worker and the windows that use it, under ThreadSanitizer.
    build build-tsan "sim_tests quorvel_line_test quorvel_network_view_test quorvel_stats_window_test quorvel_graphs_view_test" \
        -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_WERROR=ON -DQUORVEL_TSAN=ON -DQUORVEL_BUILD_BENCH=OFF
    TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp" \
        ctest --test-dir build-tsan --output-on-failure -j2 --timeout 600 \
        -R '^(LineWorkerTest|ProgramLine|ProgramNoise|ProgramFindAnalysers|NetworkView|StatsWindow|GraphWindows)\.'
    # Then every loader and frame reader under libFuzzer for a short while, built with clang.
    if command -v clang++ >/dev/null; then
        build build-fuzz fuzzers -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
            -DQUORVEL_FUZZ=ON -DQUORVEL_SANITIZE=ON -DQUORVEL_BUILD_APP=OFF -DQUORVEL_BUILD_TESTS=OFF \
            -DQUORVEL_BUILD_BENCH=OFF
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
