#!/usr/bin/env bash
# Throughput of a long conversion against two baselines timed in the same run:
#   cat      copies the takes into one file: the least a conversion has to do
#            (read every byte once, write about as many), so its time is the floor
#            set by the page cache and the file system;
#   ffmpeg   joins the same takes with its concat demuxer and converts them to
#            16-bit: a general tool doing a comparable job.
# proj2wav converts the project to 16-bit stereo and to 24-bit dual mono.
#
# Two projects, made once by make-bench-project and kept under $BENCH_DIR:
#   hour-20         one hour, 20 takes back to back (about 1 GB of takes)
#   hour-20-overlap one hour, 20 takes each starting half way into the one before
#                   (about 2 GB of takes, half of which lose to newer takes)
#
# Each command runs once to warm the page cache, then $RUNS times; the best wall
# time counts. Peak resident memory comes from GNU time (%M). Outputs go to the
# same file system as the takes and are deleted at the end.
#
# Read the ratios, not the seconds: "x cat" is a time over cat's time for the same
# project (target: proj2wav within 1.2x), "ffmpeg / proj2wav" is how many times
# faster proj2wav is (target: 5x or more), and peak memory should stay at 32 MiB or
# less whatever the project's length. Nothing here passes or fails a build.
set -euo pipefail
source "$(dirname "$0")/common.sh"

require_programs "$PROJ2WAV" "$MAKE_BENCH_PROJECT" /usr/bin/time ffmpeg ffprobe awk
out_dir=$BENCH_DIR/out-throughput
trap 'rm -rf "$out_dir" "$BENCH_DIR/.time-stats"' EXIT

echo "== proj2wav throughput: $RUNS timed runs after one warm-up, best wall time counts"
echo "projects in $BENCH_DIR"
ensure_project hour-20 --takes 20 --minutes 60
ensure_project hour-20-overlap --takes 20 --minutes 60 --overlap
mkdir -p "$out_dir"

failures=0

# Checks that a proj2wav output holds the project's whole span.
check_frames() {
  local file=$1 want=$2 got
  got=$(wave_frames "$file")
  if [ "$got" != "$want" ]; then
    echo "CHECK FAILED: $file holds $got frames, the project spans $want" >&2
    failures=$((failures + 1))
  fi
}

bench_project() {
  local name=$1 title=$2
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

  local cat_out=$out_dir/cat.raw
  local p16=$out_dir/p16.wav
  local p24l=$out_dir/p24L.wav p24r=$out_dir/p24R.wav
  local ff16=$out_dir/ff16.wav

  # One round runs every command once; rounds alternate the commands so that a
  # slow moment of the machine does not fall on one command alone. Each output is
  # deleted before the next command runs. With `checking` set, the proj2wav
  # outputs are checked to cover the whole project first.
  local checking=0
  run_round() {
    outputs=("$cat_out")
    measure_stdout=$cat_out measure cat cat "${takes[@]}"
    outputs=("$p16")
    measure p16 "$PROJ2WAV" convert "$project" -o "$p16" --bits 16 --channels stereo --force --quiet
    if [ "$checking" = 1 ]; then check_frames "$p16" "$span"; fi
    outputs=("$p24l" "$p24r")
    measure p24dual "$PROJ2WAV" convert "$project" -o "$p24l" --bits 24 --channels dual --force --quiet
    if [ "$checking" = 1 ]; then check_frames "$p24l" "$span"; check_frames "$p24r" "$span"; fi
    outputs=("$ff16")
    measure ffmpeg ffmpeg -nostdin -hide_banner -loglevel error -y -f concat -safe 0 -i "$list" \
      -c:a pcm_s16le "$ff16"
    rm -f "$cat_out" "$p16" "$p24l" "$p24r" "$ff16"
  }

  echo
  echo "-- $title"
  echo "   $((${#takes[@]})) takes, $(mib $((take_bytes / 1024))) MiB of samples and headers;" \
    "the project spans $span frames ($(awk -v s="$span" 'BEGIN { printf "%.1f", s / 48000 / 60 }') min)"
  echo "   load average before: $(load_average)"
  checking=1
  run_round  # the warm-up
  checking=0
  reset_measurements
  local r
  for ((r = 0; r < RUNS; r++)); do run_round; done
  echo "   load average after:  $(load_average)"

  local c=${best_wall[cat]}
  echo
  # CPU seconds (user + system) of the best run, and their ratio to cat's: on a
  # machine busy with other work these move less than wall times do.
  cpu() { awk -v u="${best_user[$1]}" -v s="${best_sys[$1]}" 'BEGIN { printf "%.2f", u + s }'; }
  local cc
  cc=$(cpu cat)
  printf '   %-34s %7s %6s %7s %6s %10s %10s\n' "command" "wall s" "x cat" "user s" "sys s" "CPU x cat" "peak MiB"
  printf '   %-34s %7s %6s %7s %6s %10s %10s\n' "----------------------------------" "------" "-----" "------" "-----" "---------" "--------"
  row() {
    printf '   %-34s %7s %6s %7s %6s %10s %10s\n' "$1" "${best_wall[$2]}" "$(ratio "${best_wall[$2]}" "$c")" \
      "${best_user[$2]}" "${best_sys[$2]}" "$(ratio "$(cpu "$2")" "$cc")" "$(mib "${peak_rss[$2]}")"
  }
  row "cat takes > file (I/O floor)" cat
  row "proj2wav convert 16-bit stereo" p16
  row "proj2wav convert 24-bit dual mono" p24dual
  row "ffmpeg concat -> pcm_s16le" ffmpeg
  echo
  local r16 r24 speed rss
  r16=$(ratio "${best_wall[p16]}" "$c")
  r24=$(ratio "${best_wall[p24dual]}" "$c")
  speed=$(ratio "${best_wall[ffmpeg]}" "${best_wall[p16]}")
  rss=$(mib "$(printf '%s\n' "${peak_rss[p16]}" "${peak_rss[p24dual]}" | sort -n | tail -n 1)")
  local cspeed
  cspeed=$(ratio "$(cpu ffmpeg)" "$(cpu p16)")
  printf '   %-44s %6s %10s   %-15s %s\n' "" "wall" "(CPU)" "target" ""
  printf '   %-44s %6s %10s   %-15s %s\n' "proj2wav 16-bit stereo / cat" "$r16" "($(ratio "$(cpu p16)" "$cc"))" \
    "<= 1.20" "$(verdict "$r16 <= 1.2")"
  printf '   %-44s %6s %10s   %-15s %s\n' "proj2wav 24-bit dual mono / cat" "$r24" "($(ratio "$(cpu p24dual)" "$cc"))" \
    "<= 1.20" "$(verdict "$r24 <= 1.2")"
  printf '   %-44s %6s %10s   %-15s %s\n' "ffmpeg / proj2wav 16-bit stereo (speed-up)" "$speed" "($cspeed)" \
    ">= 5" "$(verdict "$speed >= 5")"
  printf '   %-44s %6s %10s   %-15s %s\n' "proj2wav peak resident memory, MiB" "$rss" "" "<= 32" "$(verdict "$rss <= 32")"
}

bench_project hour-20 "one hour, 20 takes back to back"
bench_project hour-20-overlap "one hour, 20 overlapping takes (each starts half way into the one before)"

echo
echo "Wall times are the best of $RUNS runs, with that run's CPU seconds: user is computing"
echo "(proj2wav: mostly the sample kernels), sys is the kernel copying pages in and out."
echo "Peak memory is the most of all runs. Verdicts go by wall time; the CPU ratios in"
echo "brackets are the steadier guide when the load average is above the number of cores."
if [ "$failures" -gt 0 ]; then
  echo "$failures output check(s) failed: the figures above time a faulty conversion." >&2
  exit 1
fi
