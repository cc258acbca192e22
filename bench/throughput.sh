#!/usr/bin/env bash
# Throughput of a long conversion against three baselines timed in the same run:
#   dd       copies every take into one file through a 1 MiB buffer (dd bs=1M) and
#            has it put on the disk at the end (conv=fsync): each byte is read into
#            the program's memory and written out again, which is the least a
#            program that looks at the samples has to do, and the file is safe
#            when it ends; its time is the floor;
#   cat      the same copy by cat, which may leave the copying to the kernel
#            (copy_file_range) and then never touches the bytes at all, followed
#            by sync of the file;
#   ffmpeg   joins the same takes with its concat demuxer and converts them to
#            16-bit: a general tool doing a comparable job (its file synced too).
# Every command thus ends with its output on the disk, as proj2wav's runs do
# (they fsync their outputs before they report success). One more row, dd without
# the flush, shows what the flush costs.
# proj2wav converts the project to 16-bit stereo and to 24-bit dual mono.
#
# Two projects, made once by make-bench-project and kept under $BENCH_DIR:
#   hour-20         one hour, 20 takes back to back (about 1 GB of takes)
#   hour-20-overlap one hour, 20 takes each starting half way into the one before
#                   (about 2 GB of takes, half of which lose to newer takes)
#
# Two page-cache states, chosen by CACHE (warm, cold or both; both by default):
#   warm  every command finds the takes in memory (one warm-up round first);
#   cold  the takes are evicted from the page cache before every command, as when
#         a project sits on the recorder's disk or a USB drive, so that every
#         command reads them from the disk.
# Each output is deleted, and dirty pages are written back, before every command.
# One round runs every command once; $RUNS rounds (5 unless set) follow a first
# round that checks the outputs, and the median of each figure counts. Peak
# resident memory comes from GNU time (%M), the most of all runs.
#
# Read the ratios, not the seconds: "x dd" is a time over dd's for the same project
# (targets: 16-bit stereo within 1.1x, 24-bit dual mono within 1.3x), "ffmpeg /
# proj2wav" is how many times faster proj2wav is (target: 5x or more), and peak
# memory should stay at 32 MiB or less whatever the project's length. Nothing here
# passes or fails a build.
set -euo pipefail
RUNS=${RUNS:-5}
CACHE=${CACHE:-both}
source "$(dirname "$0")/common.sh"

case "$CACHE" in
  warm) cache_states=(warm) ;;
  cold) cache_states=(cold) ;;
  both) cache_states=(warm cold) ;;
  *) die "CACHE is warm, cold or both, not \"$CACHE\"" ;;
esac
require_programs "$PROJ2WAV" "$MAKE_BENCH_PROJECT" /usr/bin/time dd cat ffmpeg ffprobe awk
if [ "$CACHE" != warm ]; then require_programs vmtouch; fi
out_dir=$BENCH_DIR/out-throughput
trap 'rm -rf "$out_dir" "$BENCH_DIR/.time-stats"' EXIT

echo "== proj2wav throughput: $RUNS timed rounds after a checking round, medians count"
echo "projects in $BENCH_DIR; page cache: ${cache_states[*]}"
ensure_project hour-20 --takes 20 --minutes 60
ensure_project hour-20-overlap --takes 20 --minutes 60 --overlap
mkdir -p "$out_dir"

failures=0

# The words of a command that runs "COMMAND..." and then puts FILE on the disk:
# $synced FILE COMMAND...
synced=(bash -c '"${@:2}" && sync "$1"' synced)

# Checks that a proj2wav output holds the project's whole span.
check_frames() {
  local file=$1 want=$2 got
  got=$(wave_frames "$file")
  if [ "$got" != "$want" ]; then
    echo "CHECK FAILED: $file holds $got frames, the project spans $want" >&2
    failures=$((failures + 1))
  fi
}

# The median of one figure (wall, user or sys) of one command.
med() {
  local -n runs=all_$1
  # shellcheck disable=SC2086  # the runs are a list of numbers
  median ${runs[$2]}
}
cpu() { awk -v u="$(med user "$1")" -v s="$(med sys "$1")" 'BEGIN { printf "%.2f", u + s }'; }

bench_project() {
  local name=$1 title=$2 cache=$3
  local project=$BENCH_DIR/$name
  local takes=("$project/Audio Files"/*.wav)
  local list=$out_dir/$name.concat
  local info=$out_dir/$name.json
  local f
  : >"$list"
  for f in "${takes[@]}"; do printf "file '%s'\n" "$f" >>"$list"; done
  "$PROJ2WAV" info "$project" --json >"$info"
  local first last span take_bytes
  first=$(json_number "$info" first_sample)
  last=$(json_number "$info" last_sample)
  span=$((last - first))
  take_bytes=$(du -cb "${takes[@]}" | tail -n 1 | cut -f1)

  local copy_out=$out_dir/copy.raw
  local p16=$out_dir/p16.wav
  local p24l=$out_dir/p24L.wav p24r=$out_dir/p24R.wav
  local ff16=$out_dir/ff16.wav
  evicted=()
  if [ "$cache" = cold ]; then evicted=("${takes[@]}"); fi

  # Rounds alternate the commands, so that a slow moment of the machine does not
  # fall on one command alone. With `checking` set, the proj2wav outputs are
  # checked to cover the whole project.
  local checking=0
  run_round() {
    outputs=("$copy_out")
    # The last take's dd syncs the whole file: one fsync at the end, as proj2wav has.
    measure dd bash -c 'out=$1; shift; last=${*: -1}; for take; do
        sync=; [ "$take" = "$last" ] && sync=,fsync
        dd if="$take" of="$out" bs=1M oflag=append conv=notrunc$sync status=none
      done' dd "$copy_out" "${takes[@]}"
    # The same copy left in the page cache: what the flush costs the floor.
    measure_stdout=$copy_out measure dd-cached \
      bash -c 'for take; do dd if="$take" bs=1M status=none; done' dd "${takes[@]}"
    measure_stdout=$copy_out measure cat "${synced[@]}" "$copy_out" cat "${takes[@]}"
    measure_stdout=/dev/null
    outputs=("$p16")
    measure p16 "$PROJ2WAV" convert "$project" -o "$p16" --bits 16 --channels stereo --force --quiet
    if [ "$checking" = 1 ]; then check_frames "$p16" "$span"; fi
    outputs=("$p24l" "$p24r")
    measure p24dual "$PROJ2WAV" convert "$project" -o "$p24l" --bits 24 --channels dual --force --quiet
    if [ "$checking" = 1 ]; then check_frames "$p24l" "$span"; check_frames "$p24r" "$span"; fi
    outputs=("$ff16")
    measure ffmpeg "${synced[@]}" "$ff16" ffmpeg -nostdin -hide_banner -loglevel error -y -f concat \
      -safe 0 -i "$list" -c:a pcm_s16le "$ff16"
    rm -f "$copy_out" "$p16" "$p24l" "$p24r" "$ff16"
  }

  echo
  echo "-- $title; $cache page cache"
  echo "   $((${#takes[@]})) takes, $(mib $((take_bytes / 1024))) MiB of samples and headers;" \
    "the project spans $span frames ($(awk -v s="$span" 'BEGIN { printf "%.1f", s / 48000 / 60 }') min)"
  echo "   load average before: $(load_average)"
  checking=1
  run_round
  checking=0
  reset_measurements
  local r
  for ((r = 0; r < RUNS; r++)); do run_round; done
  echo "   load average after:  $(load_average)"

  local d c dc
  d=$(med wall dd)
  c=$(med wall cat)
  dc=$(cpu dd)
  echo
  local format='   %-34s %7s %5s %6s %7s %6s %6s %9s %8s\n'
  # shellcheck disable=SC2059  # the format is the table's
  printf "$format" "command" "wall s" "x dd" "x cat" "user s" "sys s" "CPU s" "CPU x dd" "peak MiB"
  # shellcheck disable=SC2059
  printf "$format" "----------------------------------" "------" "----" "-----" "------" "-----" "-----" \
    "--------" "--------"
  row() {
    local w
    w=$(med wall "$2")
    # shellcheck disable=SC2059
    printf "$format" "$1" "$w" "$(ratio "$w" "$d")" "$(ratio "$w" "$c")" "$(med user "$2")" \
      "$(med sys "$2")" "$(cpu "$2")" "$(ratio "$(cpu "$2")" "$dc")" "$(mib "${peak_rss[$2]}")"
  }
  row "dd bs=1M conv=fsync (the floor)" dd
  row "dd bs=1M, left in the page cache" dd-cached
  row "cat takes > file; sync file" cat
  row "proj2wav convert 16-bit stereo" p16
  row "proj2wav convert 24-bit dual mono" p24dual
  row "ffmpeg concat -> pcm_s16le" ffmpeg
  echo
  local r16 r24 speed rss c16 c24 cspeed
  r16=$(ratio "$(med wall p16)" "$d")
  r24=$(ratio "$(med wall p24dual)" "$d")
  c16=$(ratio "$(cpu p16)" "$dc")
  c24=$(ratio "$(cpu p24dual)" "$dc")
  speed=$(ratio "$(med wall ffmpeg)" "$(med wall p16)")
  cspeed=$(ratio "$(cpu ffmpeg)" "$(cpu p16)")
  rss=$(mib "$(printf '%s\n' "${peak_rss[p16]}" "${peak_rss[p24dual]}" | sort -n | tail -n 1)")
  local targets='   %-44s %6s %6s   %-8s %s\n'
  # shellcheck disable=SC2059
  printf "$targets" "" "wall" "CPU" "target" ""
  # shellcheck disable=SC2059
  printf "$targets" "proj2wav 16-bit stereo / dd" "$r16" "$c16" "<= 1.10" \
    "$(verdict "$r16 <= 1.1 && $c16 <= 1.1")"
  # shellcheck disable=SC2059
  printf "$targets" "proj2wav 24-bit dual mono / dd" "$r24" "$c24" "<= 1.30" \
    "$(verdict "$r24 <= 1.3 && $c24 <= 1.3")"
  # shellcheck disable=SC2059
  printf "$targets" "ffmpeg / proj2wav 16-bit stereo (speed-up)" "$speed" "$cspeed" ">= 5" \
    "$(verdict "$speed >= 5")"
  # shellcheck disable=SC2059
  printf "$targets" "proj2wav peak resident memory, MiB" "$rss" "" "<= 32" "$(verdict "$rss <= 32")"
}

for cache in "${cache_states[@]}"; do
  bench_project hour-20 "one hour, 20 takes back to back" "$cache"
  bench_project hour-20-overlap \
    "one hour, 20 overlapping takes (each starts half way into the one before)" "$cache"
done

echo
echo "Figures are medians of $RUNS rounds: user is computing (proj2wav: mostly the sample"
echo "kernels), sys is the kernel copying pages in and out, CPU their sum. Peak memory is"
echo "the most of all runs. The CPU ratios are the steadier guide when the load average"
echo "is above the number of cores; cold, the disk sets the pace and wall times count."
if [ "$failures" -gt 0 ]; then
  echo "$failures output check(s) failed: the figures above time a faulty conversion." >&2
  exit 1
fi
