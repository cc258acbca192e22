#!/usr/bin/env bash
# check-package.sh BUILD_DIR: checks the Debian package that `make package` left
# in BUILD_DIR, as a user would receive it:
#   - lintian finds no errors (its warnings and notes are shown);
#   - the desktop entry and the AppStream metainfo validate, and the desktop
#     entry, the metainfo, the icons and the window share one id;
#   - it holds both programs, their manual pages (which man reads without a
#     warning), the icons in their sizes, the copyright and the changelog;
#   - the package, the programs, the changelog and the newest release in the
#     metainfo all carry the version of the build;
#   - the packaged proj2wav, unpacked, converts the sample project to the same
#     bytes as the build tree's proj2wav, but for the origination date and time
#     that each run stamps into the header.
set -euo pipefail

build=${1:?usage: check-package.sh BUILD_DIR}
source_dir=$(cd "$(dirname "$0")" && pwd)
version=$("$build/src/cli/proj2wav" --version | awk '{ print $2 }')
deb="$build/proj2wav_${version}_$(dpkg --print-architecture).deb"
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
step() { echo "== $*"; }

[ -f "$deb" ] || { echo "FAIL: no package $deb (run make package)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root="$work/root"
dpkg-deb -x "$deb" "$root"

step "lintian $(basename "$deb")"
lintian_status=0
lintian --fail-on error --display-info "$deb" >"$work/lintian" 2>&1 || lintian_status=$?
grep -v '^running with root privileges' "$work/lintian" || true
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors"

step "contents"
metainfo=$(find "$root/usr/share/metainfo" -name '*.metainfo.xml' 2>/dev/null)
id=$(basename "${metainfo:-none}" .metainfo.xml)
expected=(
  usr/bin/proj2wav usr/bin/proj2wav-gui
  usr/share/man/man1/proj2wav.1.gz usr/share/man/man1/proj2wav-gui.1.gz
  "usr/share/applications/$id.desktop" "usr/share/metainfo/$id.metainfo.xml"
  "usr/share/icons/hicolor/scalable/apps/$id.svg"
  "usr/share/icons/hicolor/64x64/apps/$id.png" "usr/share/icons/hicolor/128x128/apps/$id.png"
  usr/share/doc/proj2wav/copyright usr/share/doc/proj2wav/changelog.gz
)
for path in "${expected[@]}"; do
  [ -f "$root/$path" ] || fail "the package lacks /$path"
done
for size in 64 128; do
  file "$root/usr/share/icons/hicolor/${size}x$size/apps/$id.png" |
    grep -q "PNG image data, $size x $size" || fail "the $size-pixel icon is not $size x $size"
done

step "one id: $id"
grep -q "<id>$id</id>" "$metainfo" || fail "the metainfo's <id> is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
  fail "the metainfo does not launch $id.desktop"
grep -qx "Icon=$id" "$root/usr/share/applications/$id.desktop" ||
  fail "the desktop entry's icon is not $id"
# Qt keeps string literals in UTF-16: look for the id in both encodings.
{ strings -a "$root/usr/bin/proj2wav-gui"; strings -a -e l "$root/usr/bin/proj2wav-gui"; } |
  grep -qxF "$id" || fail "the window does not name itself $id"

step "desktop-file-validate, appstreamcli validate"
desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
appstreamcli validate-tree --no-net "$root" >/dev/null || fail "appstreamcli validate-tree"

step "manual pages"
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man warns about $(basename "$page"): $warnings"
done

step "version $version"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"
[ "$("$root/usr/bin/proj2wav" --version)" = "proj2wav $version" ] ||
  fail "the packaged proj2wav does not say version $version"
QT_QPA_PLATFORM=offscreen "$root/usr/bin/proj2wav-gui" --version 2>/dev/null |
  grep -qx "proj2wav $version" || fail "the packaged proj2wav-gui does not say version $version"
[ "$(dpkg-parsechangelog -l "$source_dir/changelog" -S Version)" = "$version" ] ||
  fail "packaging/changelog has no entry for $version at the top"
grep -m1 '<release ' "$metainfo" | grep -q "version=\"$version\"" ||
  fail "the metainfo's newest release is not $version"

# Identical but for the bytes of the 'bext' chunk's originationDate and
# originationTime: 'bext' starts at offset 12, its payload at 20, and the two
# fields fill payload bytes 320 to 337 (file offsets 340 to 357).
same_but_origination() {
  [ "$(dd if="$1" bs=1 skip=12 count=4 2>/dev/null)" = bext ] || {
    echo "$1: no bext chunk at offset 12"
    return 1
  }
  [ "$(stat -c %s "$1")" = "$(stat -c %s "$2")" ] && cmp -n 340 "$1" "$2" && cmp -i 358 "$1" "$2"
}

step "the packaged proj2wav converts like the build tree's"
"$build/tools/make-sample-project" "$work/Sample Session" >/dev/null
# Outputs end in L.wav, so that dual mono names its right file R.wav.
for format in "--bits 16 --channels stereo" "--bits 24 --channels dual"; do
  # shellcheck disable=SC2086 # the format is two options and their values
  "$root/usr/bin/proj2wav" convert "$work/Sample Session" -o "$work/packagedL.wav" $format -q ||
    fail "the packaged proj2wav failed to convert ($format)"
  # shellcheck disable=SC2086
  "$build/src/cli/proj2wav" convert "$work/Sample Session" -o "$work/builtL.wav" $format -q ||
    fail "the build tree's proj2wav failed to convert ($format)"
  for side in L R; do
    [ -f "$work/built$side.wav" ] || continue
    same_but_origination "$work/built$side.wav" "$work/packaged$side.wav" ||
      fail "the outputs differ ($format, $side)"
  done
  rm -f "$work"/*.wav
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) of $(basename "$deb") failed" >&2
  exit 1
fi
echo "$(basename "$deb"): all checks passed"
