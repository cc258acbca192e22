#!/usr/bin/env bash
# What converting a disk of projects in one run costs against converting them one
# by one. A disk of four projects of different sizes (10, 5, 2 and 1 minutes of
# takes) is converted with "proj2wav convert DISK --output-dir DIR", and each
# project with its own "proj2wav convert PROJECT -o FILE"; a disk of 200 small
# projects is listed with "proj2wav info DISK".
#
# Targets:
#   the batch takes at most 1.05 x the sum of its single runs
#   its peak memory stays that of the largest single run
#   200 small projects list in under 1 s
# Best of $RUNS runs after one warm-up. Nothing here passes or fails a build.
set -euo pipefail
source "$(dirname "$0")/common.sh"

require_programs "$PROJ2WAV" "$MAKE_BENCH_PROJECT" /usr/bin/time awk
disk=$BENCH_DIR/disk
many=$BENCH_DIR/disk-200
out_dir=$BENCH_DIR/out-batch
trap 'rm -rf "$out_dir" "$BENCH_DIR/.time-stats"' EXIT

echo "== proj2wav batch: $RUNS timed runs after one warm-up, best wall time counts"
sizes=(10 5 2 1)
for minutes in "${sizes[@]}"; do
  BENCH_DIR=$disk ensure_project "take-$minutes-min" --takes "$minutes" --minutes "$minutes"
done
if [ ! -d "$many" ]; then
  for ((i = 0; i < 200; i++)); do
    "$MAKE_BENCH_PROJECT" "$many/project-$i" --takes 1 --minutes 0.05 --seed "$((i + 1))" >/dev/null
  done
fi
mkdir -p "$out_dir"
echo "load average before: $(load_average)"

run_round() {
  local minutes
  outputs=()
  for minutes in "${sizes[@]}"; do outputs+=("$out_dir/take-$minutes-min.wav"); done
  measure batch "$PROJ2WAV" convert "$disk" --output-dir "$out_dir" --bits 24 --quiet
  for minutes in "${sizes[@]}"; do
    outputs=("$out_dir/take-$minutes-min.wav")
    measure "single $minutes" "$PROJ2WAV" convert "$disk/take-$minutes-min" -o "${outputs[0]}" \
      --bits 24 --quiet
  done
  outputs=()
  measure "list 200" "$PROJ2WAV" info "$many"
}

run_round  # the warm-up
reset_measurements
for ((r = 0; r < RUNS; r++)); do run_round; done
echo "load average after:  $(load_average)"

sum=0
max_rss=0
for minutes in "${sizes[@]}"; do
  sum=$(awk -v a="$sum" -v b="${best_wall[single $minutes]}" 'BEGIN { printf "%.3f", a + b }')
  [ "${peak_rss[single $minutes]}" -gt "$max_rss" ] && max_rss=${peak_rss[single $minutes]}
done
time_ratio=$(ratio "${best_wall[batch]}" "$sum")
memory_ratio=$(ratio "${peak_rss[batch]}" "$max_rss")
echo
printf '%-44s %8s s\n' "batch of ${#sizes[@]} projects" "${best_wall[batch]}"
printf '%-44s %8s s\n' "sum of their single runs" "$sum"
printf '%-44s %8s   target <= 1.05    %s\n' "batch / sum of single runs" "$time_ratio" \
  "$(verdict "$time_ratio <= 1.05")"
printf '%-44s %8s   target <= 1.05    %s\n' "batch peak memory / largest single run's" \
  "$memory_ratio" "$(verdict "$memory_ratio <= 1.05")"
printf '%-44s %8s   target < 1        %s\n' "listing 200 small projects, s" "${best_wall[list 200]}" \
  "$(verdict "${best_wall[list 200]} < 1")"
