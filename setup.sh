#!/usr/bin/env bash
# Installs what is missing, builds, and then either runs the program on the built-in
# simulated analyser line (run), runs the whole test suite (test) or makes the Debian packages
# in dist/ (package).
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev
          qt6-base-dev qt6-base-dev-tools libgl-dev xvfb xauth imagemagick xdotool ser2net
          clang libclang-rt-dev libsqlite3-dev libpq-dev postgresql ccache clang-format
          libcli11-dev nlohmann-json3-dev locales qt6-charts-dev libqt6opengl6-dev python3-serial
          qtkeychain-qt6-dev qt6-svg-dev help2man lintian desktop-file-utils appstream qt6-qpa-plugins
          libsystemd-dev libmosquitto-dev mosquitto)

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

# The Debian packages (liblintaro1, liblintaro-dev, quorvel, zarn-tools) in dist/: a Release
# build with the icons and manual pages, packed by CPack.
make_packages() {
    build build-pkg "" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DQUORVEL_PACKAGE=ON \
        -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=OFF
    rm -f build-pkg/*.deb
    (cd build-pkg && cpack -G DEB >/dev/null)
    rm -rf dist
    mkdir dist
    mv build-pkg/*.deb dist/
}

# The packages as a plant's IT gets them: checked by lintian and the desktop validators,
# installed with apt, the programs and the example program (CMake package and pkg-config)
# asked to work against a simulated line, then purged without a trace.
check_packages() {
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    make_packages
    desktop-file-validate packaging/com.velmora.Quorvel.desktop
    appstreamcli validate --no-net build-pkg/packaging/com.velmora.Quorvel.metainfo.xml
    lintian --fail-on error dist/*.deb
    local debs=(dist/*.deb) names=() deb status=0
    for deb in "${debs[@]}"; do
        names+=("$(dpkg-deb -f "$deb" Package)")
        # A component whose install rules name it wrongly comes out as documents only.
        if ! dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$' | grep -qv '^\./usr/share/doc/'; then
            echo "$deb holds nothing but its documents" >&2
            status=1
        fi
    done
    local version
    version=$(dpkg-deb -f "${debs[0]}" Version)
    # Packages that someone installed for use stay; ones left over from an interrupted check
    # (the marker tells) would hide what this one installs.
    local marker=/var/tmp/quorvel-package-check installed=()
    for deb in "${names[@]}"; do
        dpkg-query -W -f='${Status}' "$deb" 2>/dev/null | grep -q "install ok installed" &&
            installed+=("$deb")
    done
    if [ ${#installed[@]} -gt 0 ] && [ ! -e "$marker" ]; then
        echo "warning: ${installed[*]} installed on this machine; the packages were not" \
            "installed, tried and purged, so as to keep them" >&2
        return $status
    fi
    $sudo touch "$marker"
    $sudo dpkg --purge "${names[@]}" >/dev/null 2>&1 || true
    local work
    work=$(mktemp -d)
    for deb in "${debs[@]}"; do
        dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|; s|/$||' | grep -v '^/\?$'
    done | sort -u >"$work/files"
    while read -r path; do
        [ -e "$path" ] && echo "$path"
    done <"$work/files" >"$work/before"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${debs[@]/#/./}" >/dev/null
    local answer line sim
    for program in quorvel zarnctl zarnsim; do
        answer=$("$program" --version) || status=1
        [ "$answer" = "$program $version" ] || { echo "$program --version: $answer" >&2; status=1; }
    done
    zarnctl --help >/dev/null || status=1
    # The program from the package starts (its Qt plug-ins, resources) on its simulated line.
    (cd "$work" && HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
        QT_QPA_PLATFORM=offscreen quorvel --simulate --no-splash --measure-startup) || status=1
    zarnsim --nodes 3 >"$work/sim.out" &
    sim=$!
    for _ in $(seq 100); do
        line=$(head -n1 "$work/sim.out")
        [ -n "$line" ] && break
        sleep 0.05
    done
    zarnctl --port "$line" ping 3 || status=1
    # The packaged service shares that line: a client asks through its socket.
    /usr/sbin/zarnd --version | grep -qxF "zarnd $version" || { echo "zarnd --version" >&2; status=1; }
    /usr/sbin/zarnd --port "$line" --nodes 3 --poll 0 --sweep 0 --socket "$work/line.sock" \
        --history "$work/service.db" 2>"$work/zarnd.log" &
    local service=$!
    for _ in $(seq 100); do
        [ -S "$work/line.sock" ] && break
        sleep 0.05
    done
    zarnctl --port "zarnd://$work/line.sock" ping 3 || { cat "$work/zarnd.log" >&2; status=1; }
    kill "$service"
    wait "$service" 2>/dev/null || true
    cmake -S examples -B "$work/cmake" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$work/cmake" >/dev/null
    # shellcheck disable=SC2046
    c++ -std=c++20 -o "$work/ask_node_pc" examples/ask_node.cpp $(pkg-config --cflags --libs lintaro)
    local found missing
    found=$("$work/cmake/ask_node" "$line" 3) || status=1
    # Node 4 is not on the line: the program must say so and fail.
    missing=$("$work/ask_node_pc" "$line" 4) && status=1
    [ "$found" = "node 3 answers" ] || status=1
    [[ "$missing" == "node 4 does not answer"* ]] || status=1
    echo "$found; $missing"
    kill "$sim"
    wait "$sim" 2>/dev/null || true
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${names[@]}" >/dev/null
    $sudo rm -f "$marker"
    # Nothing of theirs stays behind: no file, and no folder that was not there before.
    while read -r path; do
        if [ -e "$path" ] && ! grep -qxF "$path" "$work/before"; then
            echo "left after purging: $path" >&2
            status=1
        fi
    done <"$work/files"
    rm -rf "$work"
    if [ $status -ne 0 ]; then
        echo "the packages did not install, work or purge cleanly" >&2
        return 1
    fi
    echo "The packages ($version) install, work (programs, example program by CMake and pkg-config) and purge cleanly."
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
    check_packages
    # The line worker, the windows that use it and the line service, under ThreadSanitizer.
    build build-tsan "sim_tests quorvel_line_test quorvel_network_view_test quorvel_stats_window_test quorvel_graphs_view_test zarnd_tests" \
        -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_WERROR=ON -DQUORVEL_TSAN=ON -DQUORVEL_BUILD_BENCH=OFF
    TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp" \
        ctest --test-dir build-tsan --output-on-failure -j2 --timeout 600 \
        -R '^(LineWorkerTest|ProgramLine|ProgramNoise|ProgramFindAnalysers|NetworkView|StatsWindow|GraphWindows|ZarndService|ZarndSharing|ZarndMqtt)\.'
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
service)
    # The line service on a simulated line of twelve analysers, in the foreground until Ctrl-C;
    # clients reach the line through its socket.
    install_packages
    build build "zarnd zarnsim zarnctl" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_BUILD_TESTS=OFF \
        -DQUORVEL_BUILD_BENCH=OFF
    demo="${TMPDIR:-/tmp}/zarnd-demo"
    mkdir -p "$demo"
    build/bin/zarnsim --nodes 1-12 --link "$demo/line" >"$demo/zarnsim.out" &
    sim=$!
    trap 'kill $sim 2>/dev/null || true' EXIT
    for _ in $(seq 50); do [ -s "$demo/zarnsim.out" ] && break; sleep 0.1; done
    echo "Clients: build/bin/zarnctl --port zarnd://$demo/line.sock stats 1-12"
    echo "         build/bin/quorvel --port zarnd://$demo/line.sock"
    build/bin/zarnd --port "$demo/line" --nodes 1-12 --poll 10 --socket "$demo/line.sock" \
        --history "$demo/history.db"
    ;;
package)
    install_packages
    make_packages
    ls -l dist
    ;;
*)
    echo "usage: $0 run|test|package|service" >&2
    exit 2
    ;;
esac
