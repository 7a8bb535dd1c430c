#!/usr/bin/env bash
# Time from starting the program to its main window on the screen, with a port that takes long
# to open: a device server that takes the connection and never answers, and a missing device.
# Runs the program on an X server of its own (Xvfb) and finds the window with xdotool.
# QUORVEL chooses the program (default: the Release build of run_benchmarks.sh, else build/);
# RUNS the number of starts per case (default 5). Prints the median and the worst, in ms.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
QUORVEL="${QUORVEL:-}"
if [[ -z "$QUORVEL" ]]; then
    for candidate in "$ROOT/build-bench/bin/quorvel" "$ROOT/build/bin/quorvel"; do
        if [[ -x "$candidate" ]]; then
            QUORVEL="$candidate"
            break
        fi
    done
fi
[[ -x "$QUORVEL" ]] || { echo "no quorvel program: build it or set QUORVEL" >&2; exit 1; }
RUNS="${RUNS:-5}"
TITLE='^Zarn Network Controller - Press Stations$'
for tool in Xvfb xdotool python3; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done

WORK="$(mktemp -d)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$WORK"
}
trap cleanup EXIT

# An X server on a free display.
for n in $(seq 90 140); do
    [[ -e "/tmp/.X11-unix/X$n" || -e "/tmp/.X$n-lock" ]] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    export DISPLAY=":$n"
    break
done
for _ in $(seq 100); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.05
done

# The silent device server: listens on a free loopback port, keeps what it accepts, says nothing,
# and ends by itself after ten minutes at the latest.
python3 - "$WORK/port" <<'EOF' &
import socket, sys, time
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(16)
open(sys.argv[1], "w").write(str(s.getsockname()[1]))
held = []
s.settimeout(1.0)
end = time.monotonic() + 600
while time.monotonic() < end:
    try:
        held.append(s.accept()[0])
    except socket.timeout:
        pass
EOF
pids+=($!)
for _ in $(seq 100); do
    [[ -s "$WORK/port" ]] && break
    sleep 0.05
done
SILENT="rfc2217://127.0.0.1:$(cat "$WORK/port")"

# One start: prints the milliseconds until the main window is shown.
measure() {
    local port="$1" home="$WORK/home.$RANDOM"
    mkdir -p "$home/work"
    local begin end pid
    begin=$(date +%s%N)
    (cd "$home/work" && XDG_CONFIG_HOME="$home" XDG_DATA_HOME="$home/data" \
        QT_QPA_PLATFORM=xcb exec "$QUORVEL" --no-splash --port "$port") >"$home/log" 2>&1 &
    pid=$!
    timeout 60 xdotool search --sync --onlyvisible --name "$TITLE" >/dev/null
    end=$(date +%s%N)
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    echo $(((end - begin) / 1000000))
}

report() {
    local name="$1" port="$2" times=()
    for _ in $(seq "$RUNS"); do
        times+=("$(measure "$port")")
    done
    sorted=($(printf '%s\n' "${times[@]}" | sort -n))
    printf '%-34s median %6d ms   worst %6d ms   (%s)\n' "$name" \
        "${sorted[$((RUNS / 2))]}" "${sorted[$((RUNS - 1))]}" "${times[*]}"
}

echo "first window, $RUNS starts each, $QUORVEL"
report "device server that never answers" "$SILENT"
report "missing device" "/dev/quorvel-no-such-port"
