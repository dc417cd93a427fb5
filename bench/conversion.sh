#!/usr/bin/env bash
# Times pixreel against ffmpeg doing the same conversions on the same machine in one run, and
# prints the ratio pixreel/ffmpeg (wall time) and the peak memory of each:
#
#   W1  200 JPEGs 1920x1080 -> uncompressed AVI at 5 fps
#   W2  100 JPEGs 4000x3000 -> scaled (fast mode) to 1280x720 -> MJPEG AVI
#   W3  200 JPEGs 1920x1080 -> MJPEG AVI, unscaled
#
# ffmpeg is timed with its default threading and with -threads 1; the faster counts. Both write
# the same frames (ffmpeg's uncompressed frames are made bottom-up BGR like a DIB) without a
# file-name stream. Each time is the median of PIXREEL_BENCH_RUNS runs (default 3).
#
#   bench/conversion.sh            # builds pixreel (release), makes the pictures once, times
#
# PIXREEL_BENCH_DIR holds the pictures and outputs (default: /dev/shm when present, so that
# neither tool waits for a disk); PIXREEL_BENCH_BUILD the build folder (default build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${PIXREEL_BENCH_RUNS:-3}
build=${PIXREEL_BENCH_BUILD:-build-bench}
if [ -z "${PIXREEL_BENCH_DIR:-}" ]; then
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then PIXREEL_BENCH_DIR=/dev/shm/pixreel-bench; else PIXREEL_BENCH_DIR=${TMPDIR:-/tmp}/pixreel-bench; fi
fi
work=$PIXREEL_BENCH_DIR
mkdir -p "$work/out"

for tool in ffmpeg ffprobe /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (scripts/setup-deps installs it)" >&2; exit 1; }
done

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPIXREEL_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target pixreel makesamples >/dev/null
pixreel=$PWD/$build/pixreel
makesamples=$PWD/$build/makesamples

# The pictures, made once and kept between runs.
make_pictures() { # folder count size
  if [ "$(ls "$1" 2>/dev/null | wc -l)" != "$2" ]; then
    rm -rf "$1"
    echo "making $2 pictures of $3 in $1 ..." >&2
    "$makesamples" -n "$2" -s "$3" "$1" >/dev/null
  fi
}
make_pictures "$work/hd" 200 1920x1080
make_pictures "$work/big" 100 4000x3000
# The first 50 of the HD pictures: peak memory must not depend on the number of images.
mkdir -p "$work/hd50"
for i in $(seq -f %03g 1 50); do ln -sf "$work/hd/sample_$i.jpg" "$work/hd50/sample_$i.jpg"; done

DIB=541215044   # "DIB "
MJPG=1196444237 # "MJPG"
write_ini() { # file codec quality extra-config
  cat > "$1" <<INI
[Config]
OutputPath=$work/out/
JPGSortOrder=2
FramesPerSec=5
RememberCodec=1
WriteCopyright=0
$4
[Detect]
DisplayFileNames=0
ScaleType=1
[Codec]
fccHandler=$2
dwQuality=$3
KeyFrameEvery=0
INI
}
write_ini "$work/w1.ini" $DIB 10000 ""
write_ini "$work/w2.ini" $MJPG 9000 "AVIScale=1
AVIXScale=1280
AVIXYcale=720"
write_ini "$work/w3.ini" $MJPG 9000 ""

# Runs a command `runs` times; prints "median-seconds peak-KB" (the peak of the median run).
measure() {
  local results=()
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" ||
      { echo "bench: failed: $*" >&2; cat "$work/stderr.txt" >&2; exit 1; }
    results+=("$(tail -n 1 "$work/time.txt")")
  done
  printf '%s\n' "${results[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p"
}

frames() { ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1"; }

pixreel_run() { # ini input output-name
  measure env PIXREEL_INI="$1" "$pixreel" -d "$2" -f jpg -o "$3"
}
ffmpeg_run() { # threads-args input output vf codec-args...
  local threads=$1 input=$2 output=$3 vf=$4
  shift 4
  # shellcheck disable=SC2086
  measure ffmpeg -v error -y $threads -framerate 5 -i "$input/sample_%03d.jpg" $threads -vf "$vf" "$@" "$output"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
mb() { awk -v k="$1" 'BEGIN { printf "%.0f", k / 1024 }'; }

printf '%-4s %10s %12s %12s %8s %12s %12s\n' work "pixreel s" "ffmpeg s" "ffmpeg -t1 s" ratio "pixreel MB" "ffmpeg MB"
report() { # name pixreel-result ffmpeg-default ffmpeg-single pixreel-avi ffmpeg-avi
  local p=($2) d=($3) s=($4)
  local best=("${d[@]}")
  if awk -v a="${s[0]}" -v b="${d[0]}" 'BEGIN { exit !(a < b) }'; then best=("${s[@]}"); fi
  local fp ff
  fp=$(frames "$5")
  ff=$(frames "$6")
  [ "$fp" = "$ff" ] || echo "bench: $1: pixreel wrote $fp frames, ffmpeg $ff" >&2
  printf '%-4s %10s %12s %12s %8s %12s %12s\n' "$1" "${p[0]}" "${d[0]}" "${s[0]}" "$(ratio "${p[0]}" "${best[0]}")" \
    "$(mb "${p[1]}")" "$(mb "${best[1]}")"
}

w1p=$(pixreel_run "$work/w1.ini" "$work/hd" w1)
w1d=$(ffmpeg_run "" "$work/hd" "$work/out/w1-ffmpeg.avi" vflip -c:v rawvideo -pix_fmt bgr24 -flipped_raw_rgb 1)
w1s=$(ffmpeg_run "-threads 1" "$work/hd" "$work/out/w1-ffmpeg.avi" vflip -c:v rawvideo -pix_fmt bgr24 -flipped_raw_rgb 1)
report W1 "$w1p" "$w1d" "$w1s" "$work/out/w1.avi" "$work/out/w1-ffmpeg.avi"
rm -f "$work/out/w1.avi" "$work/out/w1-ffmpeg.avi"

w2p=$(pixreel_run "$work/w2.ini" "$work/big" w2)
w2d=$(ffmpeg_run "" "$work/big" "$work/out/w2-ffmpeg.avi" scale=1280:720:flags=neighbor -c:v mjpeg -q:v 3)
w2s=$(ffmpeg_run "-threads 1" "$work/big" "$work/out/w2-ffmpeg.avi" scale=1280:720:flags=neighbor -c:v mjpeg -q:v 3)
report W2 "$w2p" "$w2d" "$w2s" "$work/out/w2.avi" "$work/out/w2-ffmpeg.avi"

w3p=$(pixreel_run "$work/w3.ini" "$work/hd" w3)
w3d=$(ffmpeg_run "" "$work/hd" "$work/out/w3-ffmpeg.avi" null -c:v mjpeg -q:v 3)
w3s=$(ffmpeg_run "-threads 1" "$work/hd" "$work/out/w3-ffmpeg.avi" null -c:v mjpeg -q:v 3)
report W3 "$w3p" "$w3d" "$w3s" "$work/out/w3.avi" "$work/out/w3-ffmpeg.avi"

# Peak memory against the number of images (same pictures, same job).
m50=$(pixreel_run "$work/w1.ini" "$work/hd50" w1-50)
m200=($w1p)
m50=($m50)
echo
echo "pixreel peak memory, W1 job: 50 images $(mb "${m50[1]}") MB, 200 images $(mb "${m200[1]}") MB"
echo "(ratio = pixreel / the faster ffmpeg; $runs runs each, median; load average now: $(cut -d' ' -f1-3 /proc/loadavg))"
rm -f "$work"/out/*.avi
