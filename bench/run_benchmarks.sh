#!/usr/bin/env bash
# Builds the benchmarks (Release) and runs them all, printing their figures.
# BUILD_DIR chooses the build directory (default: build-bench beside the sources).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${BUILD_DIR:-$ROOT/build-bench}"
BENCHES=(bench_request_ack bench_curve_download bench_silent_wait bench_network_presence
         bench_quick_scan bench_ui_stall bench_history_record bench_history_chart
         bench_zarnd_presence bench_zarnd_idle bench_zarnd_busy_line bench_zarnd_mqtt
         bench_history_exit bench_zarnctl_calls)

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD" -j2 --target "${BENCHES[@]}" zarnctl

status=0
for bench in "${BENCHES[@]}"; do
    "$BUILD/bin/$bench" || status=1
done
# zarnctl against misbehaving device servers: time to fail and peak memory.
python3 "$ROOT/bench/hostile_servers.py" "$BUILD/bin/zarnctl" || status=1
exit $status
