#!/usr/bin/env bash
# Times pixreel against ffmpeg and GStreamer doing the same conversions on the same machine in
# one run, and prints each tool's time per frame, pixreel's ratio to the fastest of them and the
# peak memory of each:
#
#   W1  200 JPEGs 1920x1080 -> uncompressed AVI (bottom-up BGR frames, as pixreel writes them)
#   W2  100 JPEGs 4000x3000 -> scaled (fast mode) to 1280x720 -> MJPEG AVI
#   W3  200 JPEGs 1920x1080 -> MJPEG AVI
#   W4  200 JPEGs 1920x1080 -> H.264 AVI (x264, preset medium) at equal quality: the peers' crf
#       is chosen so that their PSNR against the source frames is pixreel's within 0.2 dB
#   W5  100 24-bit PNGs 1920x1080 -> FFV1 AVI (range coder, every frame a key frame)
#
# The pictures are photo-like ones made by tools/makesamples. ffmpeg is timed with its default
# threading and, for the JPEG jobs W1 to W3, with -threads 1 too, and the faster counts; GStreamer runs gst-launch-1.0 with
# multifilesrc, jpegdec or pngdec, jpegenc, x264enc or avenc_ffv1 and avimux (GStreamer's
# avimux takes no FFV1: W5 goes into matroskamux there). The tools of a job take turns, round
# after round, so that other work on the machine slows them alike; each time is the median of
# PIXREEL_BENCH_RUNS rounds (default 3), and the peak memory is that of the median run.
#
#   bench/conversion.sh            # installs the peers (bench/setup-peers), builds pixreel
#                                  # (release), makes the pictures once, times
#   PIXREEL_BENCH_JOBS="W3 W4" bench/conversion.sh   # only some jobs
#
# PIXREEL_BENCH_DIR holds the pictures and outputs (default: /dev/shm when present, so that no
# tool waits for a disk); PIXREEL_BENCH_BUILD the build folder (default build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${PIXREEL_BENCH_RUNS:-3}
build=${PIXREEL_BENCH_BUILD:-build-bench}
jobs=${PIXREEL_BENCH_JOBS:-W1 W2 W3 W4 W5}
if [ -z "${PIXREEL_BENCH_DIR:-}" ]; then
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then PIXREEL_BENCH_DIR=/dev/shm/pixreel-bench; else PIXREEL_BENCH_DIR=${TMPDIR:-/tmp}/pixreel-bench; fi
fi
work=$PIXREEL_BENCH_DIR
mkdir -p "$work/out"

bench/setup-peers
for tool in ffmpeg ffprobe gst-launch-1.0 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing after bench/setup-peers" >&2; exit 1; }
done

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPIXREEL_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target pixreel makesamples >/dev/null
pixreel=$PWD/$build/pixreel
makesamples=$PWD/$build/makesamples

# The pictures, made once and kept between runs.
make_pictures() { # folder count size [--png]
  if [ "$(ls "$1" 2>/dev/null | wc -l)" != "$2" ]; then
    rm -rf "$1"
    echo "making $2 pictures of $3 in $1 ..." >&2
    "$makesamples" -n "$2" -s "$3" ${4:-} "$1" >/dev/null
  fi
}
make_pictures "$work/hd" 200 1920x1080
make_pictures "$work/big" 100 4000x3000
make_pictures "$work/png" 100 1920x1080 --png
# The first 50 of the HD pictures: peak memory must not depend on the number of images.
mkdir -p "$work/hd50"
for i in $(seq -f %03g 1 50); do ln -sf "$work/hd/sample_$i.jpg" "$work/hd50/sample_$i.jpg"; done

code() { printf '%d' "$(( $(printf '%d' "'${1:0:1}") | $(printf '%d' "'${1:1:1}") << 8 | $(printf '%d' "'${1:2:1}") << 16 | $(printf '%d' "'${1:3:1}") << 24 ))"; }
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
fccHandler=$(code "$2")
dwQuality=$3
KeyFrameEvery=0
[Codec.H264]
Preset=medium
Tune=none
[Codec.FFV1]
Coder=Range coder
Context=Small
INI
}
w4_quality=5500  # crf 22.95, near x264's own default
write_ini "$work/w1.ini" "DIB " 10000 ""
write_ini "$work/w2.ini" MJPG 9000 "AVIScale=1
AVIXScale=1280
AVIXYcale=720"
write_ini "$work/w3.ini" MJPG 9000 ""
write_ini "$work/w4.ini" H264 $w4_quality ""
write_ini "$work/w5.ini" FFV1 10000 ""

# The tools of one job run in turns, `runs` rounds, so that a busy machine slows all of them
# alike: race NAME... times the commands in the arrays cmd_NAME and leaves "median-seconds
# peak-KB" of each (the peak of its median run) in result[NAME].
declare -A result
race() {
  declare -A times=()
  local tool
  for _ in $(seq "$runs"); do
    for tool in "$@"; do
      local -n command=cmd_$tool
      /usr/bin/time -f "%e %M" -o "$work/time.txt" "${command[@]}" >/dev/null 2>"$work/stderr.txt" ||
        { echo "bench: $tool failed: ${command[*]}" >&2; cat "$work/stderr.txt" >&2; exit 1; }
      unset -n command
      times[$tool]+="$(tail -n 1 "$work/time.txt")"$'\n'
    done
  done
  for tool in "$@"; do
    result[$tool]=$(printf '%s' "${times[$tool]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")
  done
}
faster() { # two "seconds KB" results: the one with fewer seconds
  if awk -v a="${1%% *}" -v b="${2%% *}" 'BEGIN { exit !(a < b) }'; then echo "$1"; else echo "$2"; fi
}

frames() { ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1"; }
# PSNR (average over Y, U, V) of a video against the source pictures, both taken as 4:2:0.
psnr() { # video source-pattern [frames]
  local trim=${3:+trim=end_frame=$3,}
  ffmpeg -hide_banner -nostats -i "$1" -framerate 5 -i "$2" \
    -lavfi "[0:v]${trim}format=yuv420p,setpts=N[a];[1:v]${trim}format=yuv420p,setpts=N[b];[a][b]psnr" -f null - 2>&1 |
    sed -n 's/.*PSNR.* average:\([0-9.inf]*\).*/\1/p' | tail -n 1
}

# The commands of a job: pixreel, ffmpeg with its own threading and with one thread, GStreamer.
# Each job sets ini, input, suffix, name, pattern, last, caps, vf, codec (ffmpeg's codec
# arguments) and gstchain (GStreamer's elements between the source and the sink); the output of
# each tool is $out/NAME[-ffmpeg|-gst].avi.
make_commands() {
  cmd_pix=(env PIXREEL_INI="$ini" "$pixreel" -d "$input" -f "$suffix" -o "$name")
  cmd_ffd=(ffmpeg -v error -y -framerate 5 -i "$pattern" -vf "$vf" "${codec[@]}" "$out/$name-ffmpeg.avi")
  cmd_ffs=(ffmpeg -v error -y -threads 1 -framerate 5 -i "$pattern" -threads 1 -vf "$vf" "${codec[@]}"
           "$out/$name-ffmpeg.avi")
  # shellcheck disable=SC2206
  cmd_gst=(gst-launch-1.0 -q multifilesrc location="$pattern" index=1 stop-index="$last" caps="$caps,framerate=5/1"
           $gstchain ! filesink location="$out/$name-gst.$gstext")
}

ms() { awk -v s="$1" -v n="$2" 'BEGIN { printf "%.1f", 1000 * s / n }'; }
mb() { awk -v k="$1" 'BEGIN { printf "%.0f", k / 1024 }'; }

printf '%-4s %6s %11s %11s %11s %7s %8s %8s %8s\n' work frames "pixreel ms" "ffmpeg ms" "gst ms" ratio \
  "pix MB" "ffm MB" "gst MB"
# Times the job's tools, checks that each wrote every frame and prints the job's line.
run_job() { # label [one-thread-too]
  make_commands
  if [ "${2:-}" = single ]; then race pix ffd ffs gst; else race pix ffd gst; result[ffs]=${result[ffd]}; fi
  local p=(${result[pix]}) f g=(${result[gst]}) n=$last
  f=$(faster "${result[ffd]}" "${result[ffs]}")
  f=($f)
  for file in "$out/$name.avi" "$out/$name-ffmpeg.avi" "$out/$name-gst.$gstext"; do
    local got
    got=$(frames "$file")
    [ "$got" = "$n" ] || echo "bench: $1: $file has $got frames, not $n" >&2
  done
  local best
  best=$(faster "${f[*]}" "${g[*]}")
  printf '%-4s %6s %11s %11s %11s %7s %8s %8s %8s\n' "$1" "$n" "$(ms "${p[0]}" "$n")" "$(ms "${f[0]}" "$n")" \
    "$(ms "${g[0]}" "$n")" "$(awk -v a="${p[0]}" -v b="${best%% *}" 'BEGIN { printf "%.2f", a / b }')" \
    "$(mb "${p[1]}")" "$(mb "${f[1]}")" "$(mb "${g[1]}")"
}

out=$work/out
notes=()
for job in $jobs; do
  gstext=avi
  case $job in
  W1)
    ini=$work/w1.ini input=$work/hd suffix=jpg name=w1 pattern=$work/hd/sample_%03d.jpg last=200 caps=image/jpeg
    vf=vflip codec=(-c:v rawvideo -pix_fmt bgr24 -flipped_raw_rgb 1)
    gstchain="! jpegdec ! videoflip method=vertical-flip ! videoconvert ! video/x-raw,format=BGR ! avimux"
    run_job W1 single
    p=${result[pix]}
    input=$work/hd50 name=w1-50
    make_commands
    race pix
    notes+=("pixreel peak memory, W1: 50 images $(mb "${result[pix]#* }") MB, 200 images $(mb "${p#* }") MB")
    ;;
  W2)
    ini=$work/w2.ini input=$work/big suffix=jpg name=w2 pattern=$work/big/sample_%03d.jpg last=100 caps=image/jpeg
    vf=scale=1280:720:flags=neighbor codec=(-c:v mjpeg -q:v 3)
    gstchain="! jpegdec ! videoscale method=nearest-neighbour ! video/x-raw,width=1280,height=720 ! jpegenc quality=90 ! avimux"
    run_job W2 single
    ;;
  W3)
    ini=$work/w3.ini input=$work/hd suffix=jpg name=w3 pattern=$work/hd/sample_%03d.jpg last=200 caps=image/jpeg
    vf=null codec=(-c:v mjpeg -q:v 3)
    gstchain="! jpegdec ! jpegenc quality=90 ! avimux"
    run_job W3 single
    notes+=("W3 sizes: pixreel $(stat -c %s "$out/w3.avi") B, ffmpeg $(stat -c %s "$out/w3-ffmpeg.avi") B, gst $(stat -c %s "$out/w3-gst.avi") B")
    ;;
  W4)
    ini=$work/w4.ini input=$work/hd suffix=jpg name=w4 pattern=$work/hd/sample_%03d.jpg last=200 caps=image/jpeg
    vf=null codec=() gstchain=""
    make_commands
    "${cmd_pix[@]}" >/dev/null
    target=$(psnr "$out/w4.avi" "$pattern")
    # The peers' crf: bisection over the whole sequence until ffmpeg's PSNR is pixreel's (a crf
    # found on the first frames alone misses by most of a dB: x264's look-ahead gains more as the
    # sequence goes on).
    lo=12 hi=36
    for _ in 1 2 3 4 5 6 7; do
      mid=$(awk -v a=$lo -v b=$hi 'BEGIN { printf "%.2f", (a + b) / 2 }')
      ffmpeg -v error -y -framerate 5 -i "$pattern" -c:v libx264 -preset medium -crf "$mid" "$out/w4-probe.avi"
      got=$(psnr "$out/w4-probe.avi" "$pattern")
      if awk -v a="$got" -v b="$target" 'BEGIN { exit !(a > b) }'; then lo=$mid; else hi=$mid; fi
    done
    crf=$(awk -v a=$lo -v b=$hi 'BEGIN { printf "%.2f", (a + b) / 2 }')
    gcrf=$(awk -v c="$crf" 'BEGIN { printf "%d", c + 0.5 }')
    vf=null codec=(-c:v libx264 -preset medium -crf "$crf")
    # In its constant-quality mode x264enc caps the rate at its bitrate (2 Mbit/s by default):
    # the largest lifts the cap.
    gstchain="! jpegdec ! videoconvert ! video/x-raw,format=I420 ! x264enc speed-preset=medium pass=qual quantizer=$gcrf bitrate=2048000 ! avimux"
    run_job W4
    notes+=("W4 PSNR/size: pixreel (crf $(awk -v q=$w4_quality 'BEGIN { printf "%.2f", 51 * (10000 - q) / 10000 }')) $target dB $(stat -c %s "$out/w4.avi") B; ffmpeg (crf $crf) $(psnr "$out/w4-ffmpeg.avi" "$pattern") dB $(stat -c %s "$out/w4-ffmpeg.avi") B; gst (crf $gcrf) $(psnr "$out/w4-gst.avi" "$pattern") dB $(stat -c %s "$out/w4-gst.avi") B")
    ;;
  W5)
    ini=$work/w5.ini input=$work/png suffix=png name=w5 pattern=$work/png/sample_%03d.png last=100 caps=image/png
    vf=null codec=(-c:v ffv1 -pix_fmt bgr0 -coder 1 -context 0 -g 1)
    gstchain="! pngdec ! videoconvert ! video/x-raw,format=BGRx ! avenc_ffv1 coder=1 context=0 gop-size=1 ! matroskamux"
    gstext=mkv
    run_job W5
    ;;
  *) echo "bench: no job $job" >&2; exit 2 ;;
  esac
  rm -f "$out"/*
done

echo
printf '%s\n' "${notes[@]}"
echo "(ms = milliseconds per frame; ratio = pixreel / the fastest peer; $runs runs each, median;" \
  "$(nproc) cores; load average now: $(cut -d' ' -f1-3 /proc/loadavg))"
