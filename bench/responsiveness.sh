#!/usr/bin/env bash
# How responsive the window stays while it converts: runs the unattended conversion of 200
# JPEGs of 1920x1080 in pixreel's window (video box and status log active) on a private display,
# while a probe posts an empty call to the window thread every 20 ms and notes how late each
# runs. Prints the median and the worst delay for each job:
#
#   R1  200 JPEGs 1920x1080 -> uncompressed AVI
#   R2  200 JPEGs 1920x1080 -> MJPEG AVI
#
#   bench/responsiveness.sh        # builds pixreel (release), makes the pictures once, measures
#
# Goal: worst delay under 50 ms, median under 5 ms. PIXREEL_BENCH_DIR and PIXREEL_BENCH_BUILD as
# for bench/conversion.sh (the pictures are shared with it).
set -euo pipefail
cd "$(dirname "$0")/.."
[ -n "${PIXREEL_PRIVATE_DISPLAY:-}" ] || exec scripts/with-display "$0" "$@"

build=${PIXREEL_BENCH_BUILD:-build-bench}
if [ -z "${PIXREEL_BENCH_DIR:-}" ]; then
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then PIXREEL_BENCH_DIR=/dev/shm/pixreel-bench; else PIXREEL_BENCH_DIR=${TMPDIR:-/tmp}/pixreel-bench; fi
fi
work=$PIXREEL_BENCH_DIR
mkdir -p "$work/out" "$work/run"
export XDG_RUNTIME_DIR=$work/run

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPIXREEL_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target pixreel makesamples >/dev/null
if [ "$(ls "$work/hd" 2>/dev/null | wc -l)" != 200 ]; then
  rm -rf "$work/hd"
  echo "making 200 pictures of 1920x1080 in $work/hd ..." >&2
  "$build/makesamples" -n 200 -s 1920x1080 "$work/hd" >/dev/null
fi

measure() { # name codec quality
  cat > "$work/r.ini" <<INI
[Config]
OutputPath=$work/out/
JPGSortOrder=2
FramesPerSec=5
RememberCodec=1
[Codec]
fccHandler=$2
dwQuality=$3
INI
  local start end
  start=$(date +%s.%N)
  PIXREEL_INI=$work/r.ini PIXREEL_MEASURE_RESPONSIVENESS=$work/delays.txt \
    "$build/pixreel" -d "$work/hd" -f jpg -o "$1" >/dev/null 2>"$work/stderr.txt" ||
    { echo "bench: $1 failed" >&2; cat "$work/stderr.txt" >&2; exit 1; }
  end=$(date +%s.%N)
  awk -v name="$1" -v s="$start" -v e="$end" '
    { v[$1] = $2 }
    END { printf "%-4s %8.1f %8d %10.2f %10.2f %10.2f\n", name, e - s, v["samples"], v["median_ms"], v["p99_ms"], v["worst_ms"] }
  ' "$work/delays.txt"
  rm -f "$work/out/$1.avi"
}

printf '%-4s %8s %8s %10s %10s %10s\n' job "run s" samples "median ms" "p99 ms" "worst ms"
measure R1 541215044 10000   # "DIB "
measure R2 1196444237 9000   # "MJPG"
