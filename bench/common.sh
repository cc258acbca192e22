# Shared by the benchmark scripts (sourced, not run). Finds the programs, makes the
# bench projects once, and times commands.
#
# Settings, all optional, from the environment:
#   BUILD_DIR           build tree holding proj2wav and make-bench-project (build/)
#   PROJ2WAV            the proj2wav program      ($BUILD_DIR/src/cli/proj2wav)
#   MAKE_BENCH_PROJECT  the project generator     ($BUILD_DIR/bench/make-bench-project)
#   BENCH_DIR           where projects and outputs go ($BUILD_DIR/bench/data); outputs
#                       are written there too, so every program writes to the same
#                       file system
#   RUNS                timed runs per command, after one warm-up run (3)

# shellcheck disable=SC2034  # the tables here are read by the scripts that source this file
export LC_ALL=C  # a '.' in $EPOCHREALTIME and in printf's numbers

bench_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bench_root=$(dirname "$bench_here")
BUILD_DIR=${BUILD_DIR:-$bench_root/build}
PROJ2WAV=${PROJ2WAV:-$BUILD_DIR/src/cli/proj2wav}
MAKE_BENCH_PROJECT=${MAKE_BENCH_PROJECT:-$BUILD_DIR/bench/make-bench-project}
BENCH_DIR=${BENCH_DIR:-$BUILD_DIR/bench/data}
RUNS=${RUNS:-3}

die() {
  echo "$(basename "$0"): $*" >&2
  exit 1
}

require_programs() {
  local p
  for p in "$@"; do
    [ -x "$p" ] || command -v "$p" >/dev/null 2>&1 ||
      die "\"$p\" is missing (build with 'make build', or install it with scripts/install-deps.sh)"
  done
}

# ensure_project NAME GENERATOR-ARGS...: makes $BENCH_DIR/NAME unless it is there.
# The generator writes into NAME.partial, renamed when complete, so an interrupted
# run never leaves a project that looks finished.
ensure_project() {
  local name=$1
  shift
  local dir=$BENCH_DIR/$name
  if [ -d "$dir/Audio Files" ]; then
    echo "  $name: present, not regenerated"
    return
  fi
  mkdir -p "$BENCH_DIR"
  rm -rf "$dir.partial"
  printf '  %s: ' "$name"
  "$MAKE_BENCH_PROJECT" "$dir.partial" "$@"
  mv "$dir.partial" "$dir"
}

# A number from proj2wav's JSON report: json_number FILE KEY.
json_number() {
  sed -n "s/^ *\"$2\": *\([0-9][0-9]*\),*$/\1/p" "$1" | head -n 1
}

# Frames in a WAVE file, as an independent reader (ffprobe) sees it.
wave_frames() {
  ffprobe -v error -select_streams a:0 -show_entries stream=duration_ts -of csv=p=0 "$1"
}

# measure LABEL COMMAND...: runs the command once under GNU time, after removing
# the files in the array `outputs` and flushing dirty pages (so that writing back
# the previous run's output does not land in this one's time), and after evicting
# the files in the array `evicted` from the page cache (a cold start: they must
# come from the disk). Keeps, per label, the best wall time with the user and
# system CPU seconds of that run, every run's three figures (for median), and the
# greatest peak resident set. The command's standard output goes to
# `$measure_stdout` (/dev/null unless set).
declare -A best_wall=() best_user=() best_sys=() peak_rss=()
declare -A all_wall=() all_user=() all_sys=()
outputs=()
evicted=()
measure_stdout=/dev/null
measure() {
  local label=$1
  shift
  rm -f "${outputs[@]}"
  sync
  if [ ${#evicted[@]} -gt 0 ]; then vmtouch -q -e "${evicted[@]}"; fi
  local stats=$BENCH_DIR/.time-stats start end rss user sys
  start=$EPOCHREALTIME
  if ! /usr/bin/time -o "$stats" -f '%M %U %S' "$@" >"$measure_stdout"; then
    die "$label failed: $*"
  fi
  end=$EPOCHREALTIME
  read -r rss user sys <"$stats"
  local wall
  wall=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
  all_wall[$label]+=" $wall"
  all_user[$label]+=" $user"
  all_sys[$label]+=" $sys"
  if [ -z "${best_wall[$label]:-}" ] || awk -v a="$wall" -v b="${best_wall[$label]}" 'BEGIN { exit !(a < b) }'; then
    best_wall[$label]=$wall
    best_user[$label]=$user
    best_sys[$label]=$sys
  fi
  if [ -z "${peak_rss[$label]:-}" ] || [ "$rss" -gt "${peak_rss[$label]}" ]; then
    peak_rss[$label]=$rss
  fi
}

# Forgets what measure() kept (after a warm-up round).
reset_measurements() {
  best_wall=()
  best_user=()
  best_sys=()
  peak_rss=()
  all_wall=()
  all_user=()
  all_sys=()
}

# median NUMBERS...: the middle one (the mean of the middle two for an even count).
median() {
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
    if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# ratio A B: A / B to two places ("-" when B is 0).
ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) print "-"; else printf "%.2f", a / b }'
}

# mib KIB: kibibytes as mebibytes to one place.
mib() {
  awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'
}

# verdict OK-CONDITION: "meets" or "MISSES", for target lines (awk expression).
verdict() {
  if awk "BEGIN { exit !($1) }"; then echo "meets"; else echo "MISSES"; fi
}

# The load on the machine: other work on the two cores skews wall times, so every
# report says how busy the machine was.
load_average() {
  cut -d' ' -f1-3 /proc/loadavg
}
