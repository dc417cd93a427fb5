#!/usr/bin/env bash
# Times the image toolkit on one machine in one run: a 12-megapixel JPEG (4000x3000, 4:2:0,
# quality 90) that the benchmark makes itself, decoded by the toolkit and by a minimal libjpeg
# loop; ScaleTo 1280x720 fast and smooth, and the fast scale as a per-pixel loop; RotateByAngle(90).
#
#   bench/run-toolkit.sh [--runs N]
#
# PIXREEL_BENCH_BUILD_DIR (default build-bench) and PIXREEL_BENCH_BUILD_TYPE (default Release)
# choose the build; PIXREEL_JOBS the parallel compile jobs (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${PIXREEL_BENCH_BUILD_DIR:-build-bench}
type=${PIXREEL_BENCH_BUILD_TYPE:-Release}
jobs=${PIXREEL_JOBS:-2}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="$type" -DPIXREEL_TESTS=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target toolkit_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "machine: $(uname -m), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo 2>/dev/null | cut -d: -f2- | sed 's/^ //')"
echo "build: $type in $build"
"$build/bench/toolkit_bench" --jpeg "$work/photo.jpg" "$@"
