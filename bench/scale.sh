#!/usr/bin/env bash
# How proj2wav scales with the number of takes. Two projects of short takes (0.5 to
# 2 s each, at random places and recorded in random order, so they overlap in
# every way), with the same density of takes on the timeline:
#   short-1k    1,000 takes over  5 minutes
#   short-10k  10,000 takes over 50 minutes
# The bigger one has ten times the takes, the events and the audio, so each time
# should grow about tenfold: a ratio well above 10 means some step costs more than
# linear time in the number of takes (a list searched from its head for every
# insertion, say).
#
# Timed, best of $RUNS after one warm-up (page cache equal for all runs):
#   load     "proj2wav info PROJECT": scanning the directory, reading every take's
#            header, sorting, building the edit list (and printing it);
#            target: under 1 s for 10,000 takes
#   convert  "proj2wav convert PROJECT" to 16-bit stereo; target: peak memory
#            under 64 MiB
# with peak resident memory from GNU time. Nothing here passes or fails a build.
set -euo pipefail
source "$(dirname "$0")/common.sh"

require_programs "$PROJ2WAV" "$MAKE_BENCH_PROJECT" /usr/bin/time ffprobe awk
out_dir=$BENCH_DIR/out-scale
trap 'rm -rf "$out_dir" "$BENCH_DIR/.time-stats"' EXIT

echo "== proj2wav scale: $RUNS timed runs after one warm-up, best wall time counts"
echo "projects in $BENCH_DIR"
ensure_project short-1k --short-takes 1000 --minutes 5
ensure_project short-10k --short-takes 10000 --minutes 50
mkdir -p "$out_dir"
echo "load average before: $(load_average)"

failures=0
declare -A events=() span=()
out=$out_dir/out.wav

for name in short-1k short-10k; do
  project=$BENCH_DIR/$name
  "$PROJ2WAV" info "$project" --json >"$out_dir/$name.json"
  events[$name]=$(grep -c '"fade_in"' "$out_dir/$name.json" || true)
  span[$name]=$(($(json_number "$out_dir/$name.json" last_sample) - $(json_number "$out_dir/$name.json" first_sample)))
done

# One round times every command once, alternating the projects.
run_round() {
  local name
  for name in short-1k short-10k; do
    outputs=()
    measure "load $name" "$PROJ2WAV" info "$BENCH_DIR/$name"
    outputs=("$out")
    measure "convert $name" "$PROJ2WAV" convert "$BENCH_DIR/$name" -o "$out" --bits 16 --force --quiet
    if [ "$1" = check ]; then
      local got
      got=$(wave_frames "$out")
      if [ "$got" != "${span[$name]}" ]; then
        echo "CHECK FAILED: the $name output holds $got frames, the project spans ${span[$name]}" >&2
        failures=$((failures + 1))
      fi
    fi
    rm -f "$out"
  done
}

run_round check  # the warm-up
reset_measurements
for ((r = 0; r < RUNS; r++)); do run_round no-check; done
echo "load average after:  $(load_average)"

echo
printf '%-10s %7s %7s %9s %10s %9s %12s %10s %9s\n' \
  "project" "takes" "events" "minutes" "load s" "load MiB" "us per take" "convert s" "conv MiB"
for name in short-1k short-10k; do
  takes=$(find "$BENCH_DIR/$name/Audio Files" -name '*.wav' | wc -l)
  printf '%-10s %7s %7s %9s %10s %9s %12s %10s %9s\n' "$name" "$takes" "${events[$name]}" \
    "$(awk -v s="${span[$name]}" 'BEGIN { printf "%.1f", s / 48000 / 60 }')" \
    "${best_wall[load $name]}" "$(mib "${peak_rss[load $name]}")" \
    "$(awk -v t="${best_wall[load $name]}" -v n="$takes" 'BEGIN { printf "%.1f", t * 1e6 / n }')" \
    "${best_wall[convert $name]}" "$(mib "${peak_rss[convert $name]}")"
done

load_ratio=$(ratio "${best_wall[load short-10k]}" "${best_wall[load short-1k]}")
convert_ratio=$(ratio "${best_wall[convert short-10k]}" "${best_wall[convert short-1k]}")
load_10k=${best_wall[load short-10k]}
conv_rss=$(mib "${peak_rss[convert short-10k]}")
echo
printf '%-44s %8s   target about 10   %s\n' "load time, 10k / 1k" "$load_ratio" "$(verdict "$load_ratio <= 13")"
printf '%-44s %8s   target about 10   %s\n' "convert time, 10k / 1k" "$convert_ratio" "$(verdict "$convert_ratio <= 13")"
printf '%-44s %8s   target < 1        %s\n' "load time of 10,000 takes, s" "$load_10k" "$(verdict "$load_10k < 1")"
printf '%-44s %8s   target < 64       %s\n' "convert peak memory, 10,000 takes, MiB" "$conv_rss" "$(verdict "$conv_rss < 64")"
echo
echo "Wall times are the best of $RUNS runs; peak memory the most. \"about 10\" counts as met up to 13."
if [ "$failures" -gt 0 ]; then
  echo "$failures output check(s) failed: the figures above time a faulty conversion." >&2
  exit 1
fi
