#!/usr/bin/env bash
# The window with big projects, on Qt's offscreen platform (window-bench):
#   load      "short-10k" (10,000 short takes over 50 minutes) from the open panel
#             until the takes panel and the timeline show; target under 2 s
#   waveform  "hour-20" (one hour, 20 takes, about 1 GB) from the open panel until
#             its waveform overview is complete; target under 5 s, page cache warm
#   stall     the longest time the window's event loop did not run meanwhile, which
#             is how long the window did not respond (the worst of the runs)
# measured in the same run, each the best of $RUNS after one warm-up, against
# baselines on the same files: "proj2wav info" (the same load without a window)
# and "cat" of the takes (reading every byte once). Nothing here passes or fails
# a build.
set -euo pipefail
source "$(dirname "$0")/common.sh"

WINDOW_BENCH=${WINDOW_BENCH:-$BUILD_DIR/bench/window-bench}
require_programs "$PROJ2WAV" "$MAKE_BENCH_PROJECT" "$WINDOW_BENCH" /usr/bin/time awk

echo "== proj2wav window: $RUNS timed runs after one warm-up, best wall time counts"
echo "projects in $BENCH_DIR"
ensure_project short-10k --short-takes 10000 --minutes 50
ensure_project hour-20 --takes 20 --minutes 60
echo "load average before: $(load_average)"

many=$BENCH_DIR/short-10k
hour=$BENCH_DIR/hour-20
figures=$BENCH_DIR/.window-figures
trap 'rm -f "$figures" "$BENCH_DIR/.time-stats"' EXIT
declare -A best=()
keep_best() {  # keep_best KEY SECONDS
  if [ -z "${best[$1]:-}" ] || awk -v a="$2" -v b="${best[$1]}" 'BEGIN { exit !(a < b) }'; then
    best[$1]=$2
  fi
}
keep_worst() {  # keep_worst KEY SECONDS
  if [ -z "${best[$1]:-}" ] || awk -v a="$2" -v b="${best[$1]}" 'BEGIN { exit !(a > b) }'; then
    best[$1]=$2
  fi
}

run_round() {
  outputs=()
  measure "info" "$PROJ2WAV" info "$many"
  measure "cat" sh -c 'cat "$1/Audio Files"/* >/dev/null' cat "$hour"
  QT_QPA_PLATFORM=offscreen "$WINDOW_BENCH" "$many" "$hour" >"$figures" 2>/dev/null ||
    die "window-bench failed"
  local project entries load waveform stall
  while IFS=$'\t' read -r project entries load waveform stall; do
    if [ "$project" = "$many" ]; then
      [ "$entries" = 10000 ] || die "the window listed $entries entries of short-10k, not 10000"
      keep_best load "$load"
      keep_worst "stall short-10k" "$stall"
    else
      keep_best waveform "$waveform"
      keep_worst "stall hour-20" "$stall"
    fi
  done <"$figures"
}

run_round  # the warm-up
reset_measurements
best=()
for ((r = 0; r < RUNS; r++)); do run_round; done
echo "load average after:  $(load_average)"

echo
printf '%-48s %8s   %-14s %s\n' "10,000 takes into the window, s" "${best[load]}" "target < 2" \
  "$(verdict "${best[load]} < 2")"
printf '%-48s %8s   (proj2wav info %s s, x %s)\n' "" "" "${best_wall[info]}" \
  "$(ratio "${best[load]}" "${best_wall[info]}")"
printf '%-48s %8s   %-14s %s\n' "waveform of the one-hour project, s" "${best[waveform]}" \
  "target < 5" "$(verdict "${best[waveform]} < 5")"
printf '%-48s %8s   (cat of its takes %s s, x %s)\n' "" "" "${best_wall[cat]}" \
  "$(ratio "${best[waveform]}" "${best_wall[cat]}")"
printf '%-48s %8s\n' "longest stall of the window, 10,000 takes, s" "${best[stall short-10k]}"
printf '%-48s %8s\n' "longest stall of the window, one hour, s" "${best[stall hour-20]}"
echo
echo "Times are the best of $RUNS runs, stalls the worst: time the window could not answer input."
