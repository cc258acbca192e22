#!/usr/bin/env bash
# The browser edition against the command line, timed in the same run on the
# one-hour bench project (20 takes back to back, about 1 GB of takes; the same
# project as throughput.sh):
#   native   proj2wav convert to 16-bit stereo;
#   page     the same conversion on the page in headless Chromium (Debian's),
#            from the Convert button to the outcome, written to the page's own
#            storage as the download path does.
# Both run once to warm up, then $RUNS times; the best wall time counts. The page's
# output is checked to hold the project's whole span, byte for byte the native
# output's but for the origination date and time.
#
# Prints the ratio page / native, the page's speed in MB/s of takes (target: 200
# or more; the moonshot is half of native speed), the CPU seconds of all of
# Chromium's processes, and the peak resident memory of the page's renderer
# process, which holds the page and its workers (target: 300 MiB or less).
# Needs `make build web-site` and tests/web's npm packages (make test-web has all).
set -euo pipefail
source "$(dirname "$0")/common.sh"

WEB_SITE=${WEB_SITE:-$bench_root/build-web/site}
require_programs "$PROJ2WAV" "$MAKE_BENCH_PROJECT" /usr/bin/time node ffprobe awk cmp
[ -f "$WEB_SITE/proj2wav-engine.wasm" ] || die "no site in $WEB_SITE (run 'make web-site')"
[ -d "$bench_root/tests/web/node_modules/playwright-core" ] ||
  die "Playwright is missing (run 'make test-web' once, or 'npm ci' in tests/web)"
out_dir=$BENCH_DIR/out-web
trap 'rm -rf "$out_dir" "$BENCH_DIR/.time-stats"' EXIT

echo "== proj2wav in the browser: $RUNS timed runs after one warm-up, best wall time counts"
ensure_project hour-20 --takes 20 --minutes 60
project=$BENCH_DIR/hour-20
mkdir -p "$out_dir"
take_bytes=$(du -cb "$project/Audio Files"/*.wav | tail -n 1 | cut -f1)
"$PROJ2WAV" info "$project" --json >"$out_dir/info.json"
span=$(( $(json_number "$out_dir/info.json" last_sample) - $(json_number "$out_dir/info.json" first_sample) ))
echo "   load average before: $(load_average)"

native=$out_dir/native.wav
outputs=("$native")
measure native "$PROJ2WAV" convert "$project" -o "$native" --force --quiet
reset_measurements
for ((r = 0; r < RUNS; r++)); do
  measure native "$PROJ2WAV" convert "$project" -o "$native" --force --quiet
done

page=$out_dir/page.wav
result=$(WEB_SITE=$WEB_SITE node "$bench_here/web.mjs" "$project" "$RUNS" "$page")
echo "   load average after:  $(load_average)"
field() { sed -n "s/.*\"$1\":\([0-9.e+-]*\).*/\1/p" <<<"$result"; }

# The page's output: the whole span, and the native output's bytes.
frames=$(wave_frames "$page")
[ "$frames" = "$span" ] || die "the page's output holds $frames frames, the project spans $span"
cmp -s <(head -c 340 "$page"; tail -c +359 "$page") <(head -c 340 "$native"; tail -c +359 "$native") ||
  die "the page's output differs from the command line's"

web_wall=$(field seconds)
native_wall=${best_wall[native]}
native_cpu=$(awk -v u="${best_user[native]}" -v s="${best_sys[native]}" 'BEGIN { printf "%.2f", u + s }')
speed=$(awk -v b="$take_bytes" -v s="$web_wall" 'BEGIN { printf "%.0f", b / s / 1e6 }')
native_speed=$(awk -v b="$take_bytes" -v s="$native_wall" 'BEGIN { printf "%.0f", b / s / 1e6 }')
in_mib() { awk -v b="$(field "$1")" 'BEGIN { printf "%.1f", b / 1048576 }'; }
renderer=$(in_mib peakRenderer)
renderer_private=$(in_mib peakRendererPrivate)
all=$(in_mib peakAll)

echo
echo "   $(mib $((take_bytes / 1024))) MiB of takes, $span frames out (16-bit stereo)"
printf '   %-40s %8s %8s %10s\n' "" "wall s" "CPU s" "MB/s takes"
printf '   %-40s %8s %8s %10s\n' "proj2wav convert (native)" "$native_wall" "$native_cpu" "$native_speed"
printf '   %-40s %8.3f %8s %10s\n' "the page in headless Chromium" "$web_wall" "$(field cpuSeconds)" "$speed"
echo
printf '   %-44s %8s   %-12s %s\n' "page / native, wall time" "$(ratio "$web_wall" "$native_wall")" \
  "<= 2 (moon)" "$(verdict "$(ratio "$web_wall" "$native_wall") <= 2")"
printf '   %-44s %8s   %-12s %s\n' "page speed, MB/s of takes" "$speed" ">= 200" "$(verdict "$speed >= 200")"
printf '   %-44s %8s   %-12s %s\n' "page peak memory (its renderer, resident), MiB" "$renderer" \
  "<= 300" "$(verdict "$renderer <= 300")"
printf '   %-44s %8s\n' "  of which its own (not the program's code)" "$renderer_private"
printf '   %-44s %8s\n' "all of Chromium's own memory at its peak, MiB" "$all"
echo
echo "CPU seconds for the page are those of all of Chromium's processes (the browser process"
echo "reads the takes and writes the output for the page). With other work on the cores, trust"
echo "the ratio and the CPU seconds more than the wall times, and run again."
