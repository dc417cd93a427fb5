#!/usr/bin/env bash
# Times the image toolkit on one machine in one run: a 12-megapixel JPEG (4000x3000, 4:2:0,
# quality 90) that the benchmark makes itself, decoded by the toolkit and by a minimal libjpeg
# loop; ScaleTo 1280x720 fast and smooth, and the fast scale as a per-pixel loop; RotateByAngle(90).
# Each figure is a median of several runs, wall clock, with the process's cpu time beside it.
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
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The build's output is shown only when it fails.
if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="$type" -DPIXREEL_TESTS=OFF &&
       cmake --build "$build" -j "$jobs" --target toolkit_bench; } >"$work/build.log" 2>&1; then
  cat "$work/build.log" >&2
  exit 1
fi
echo "machine: $(uname -m), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo 2>/dev/null | cut -d: -f2- | sed 's/^ //')"
echo "build: $type in $build"
# Freed blocks are kept for reuse: every operation timed here gets a new pixel block, and the first
# touch of fresh memory (very costly on some virtual machines; the benchmark prints what it costs)
# would otherwise decide the figures, depending on which side the allocator happens to hand
# recycled memory.
"$build/bench/toolkit_bench" --jpeg "$work/photo.jpg" --recycle-memory "$@"
