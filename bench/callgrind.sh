#!/usr/bin/env bash
# Where a conversion's instructions go, counted by valgrind's callgrind on a small
# project (4 overlapping takes, 30 s, so it has fades and punch-ins), in three
# output formats. Instruction counts do not depend on the machine's load, so they
# compare well from one run, or one commit, to the next.
#
# For each format it prints instructions per output frame: for the whole process,
# for the conversion run (EDLWriter::doConvert and all it calls; the rest is start
# up and loading the project), and for each of the functions that cost the most
# by themselves (their own instructions, not those of what they call). The sample
# kernels' figures are their per-frame cost: one output frame is one source frame
# widened and one staged frame narrowed.
#
# The callgrind files stay in $BENCH_DIR/callgrind for callgrind_annotate or
# kcachegrind; the converted audio is deleted.
set -euo pipefail
source "$(dirname "$0")/common.sh"

TOP=${TOP:-10}  # functions listed per format

if ! command -v valgrind >/dev/null 2>&1 || ! command -v callgrind_annotate >/dev/null 2>&1; then
  echo "callgrind.sh: skipped, valgrind is not installed (apt-get install valgrind)" >&2
  exit 0
fi
require_programs "$PROJ2WAV" "$MAKE_BENCH_PROJECT" ffprobe awk

cg_dir=$BENCH_DIR/callgrind
out_dir=$BENCH_DIR/out-callgrind
trap 'rm -rf "$out_dir"' EXIT

echo "== proj2wav instructions per output frame (valgrind --tool=callgrind)"
echo "projects in $BENCH_DIR"
ensure_project short-4-overlap --takes 4 --minutes 0.5 --overlap
project=$BENCH_DIR/short-4-overlap
mkdir -p "$cg_dir" "$out_dir"

# profile TAG TITLE CONVERT-OPTIONS...
profile() {
  local tag=$1 title=$2
  shift 2
  local data=$cg_dir/$tag.callgrind
  local out=$out_dir/${tag}L.wav
  rm -f "$data"
  valgrind --tool=callgrind --callgrind-out-file="$data" -q \
    "$PROJ2WAV" convert "$project" -o "$out" --force --quiet "$@"
  local frames
  frames=$(wave_frames "$out")
  rm -f "$out_dir"/*

  local self inclusive
  self=$(callgrind_annotate --auto=no --threshold=100 "$data")
  inclusive=$(callgrind_annotate --auto=no --inclusive=yes --threshold=100 "$data")
  local total convert
  # (awk reads all its input: a pipe cut short would fail under pipefail)
  total=$(awk '/PROGRAM TOTALS/ && !n++ { gsub(",", "", $1); print $1 }' <<<"$self")
  convert=$(awk '/EDLWriter::doConvert\(/ && !n++ { gsub(",", "", $1); print $1 }' <<<"$inclusive")
  convert=${convert:-0}

  echo
  echo "-- $title: $frames output frames"
  printf '   %-58s %14s %10s %7s\n' "" "instructions" "per frame" "share"
  line() {
    printf '   %-58s %14s %10s %6s%%\n' "$1" "$2" "$(ratio "$2" "$frames")" \
      "$(awk -v a="$2" -v b="$total" 'BEGIN { printf "%.1f", 100 * a / b }')"
  }
  line "whole process" "$total"
  line "conversion run (EDLWriter::doConvert, inclusive)" "$convert"
  line "start-up and loading (the rest)" "$((total - convert))"
  echo "   top $TOP functions by their own instructions:"
  # Lines look like "33,122,054 (67.90%)  ???:Conv24Stereoto32bit(int, ...) [/path/proj2wav]":
  # keep the count and the function, without its file and its object.
  awk -v top="$TOP" '/^ *[0-9,]+ +\( *[0-9.]+%\) +[^ ]/ && !/PROGRAM TOTALS/ {
           count = $1; gsub(",", "", count)
           name = $0
           sub(/^ *[0-9,]+ +\( *[0-9.]+%\) +/, "", name)
           sub(/ \[[^]]*\]$/, "", name)
           sub(/^[^:]*:/, "", name)
           if (n++ < top) print count "\t" name
         }' <<<"$self" |
    while IFS=$'\t' read -r count name; do
      [ ${#name} -gt 56 ] && name="${name:0:53}..."
      line "  $name" "$count"
    done
}

profile s16 "16-bit stereo" --bits 16 --channels stereo
profile d24 "24-bit dual mono" --bits 24 --channels dual
profile m16 "16-bit mono sum" --bits 16 --channels sum

echo
echo "Callgrind files: $cg_dir (callgrind_annotate FILE, or kcachegrind)"
