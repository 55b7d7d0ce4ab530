#!/usr/bin/env bash
# Builds the .deb from the already built tree and checks its control fields
# and file list; then runs the packaged programs from the unpacked files.
# Usage: package-test.sh BUILD
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 || {
  cat "$tmp/cpack.log" >&2
  fail "cpack failed"
}
debs=("$tmp"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, got: ${debs[*]}"
deb=${debs[0]}

[ "$(dpkg-deb -f "$deb" Package)" = kelvo ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"

# Depends: what the programs link (from dpkg-shlibdeps) and the fonts they draw with.
depends=$(dpkg-deb -f "$deb" Depends)
names=$(echo "$depends" | tr ',' '\n' | sed 's/^ *//; s/[ (].*//')
for package in libc6 'libstdc\+\+6' 'libicu[0-9]+' libcairo2 libpango-1.0-0 libpangocairo-1.0-0 libfontconfig1 \
  libjpeg62-turbo libglib2.0-0 libspng0 libmosquitto1 fonts-inter fonts-quicksand fonts-material-design-icons-iconfont \
  fonts-materialdesignicons-webfont fonts-dejavu-core; do
  grep -qxE "$package" <<<"$names" || fail "Depends lacks $package: $depends"
done
grep -qE 'libc6 \(>= [0-9]' <<<"$depends" || fail "Depends has no versions from the shared libraries: $depends"

dpkg-deb -c "$deb" | awk '{print $6}' >"$tmp/files"
for file in ./usr/bin/kelvo ./usr/bin/kelvo-widget ./usr/share/kelvo/Info.json \
  ./usr/share/locale/de/LC_MESSAGES/kelvo.mo ./usr/share/locale/sv/LC_MESSAGES/kelvo.mo \
  ./usr/share/icons/hicolor/scalable/apps/kelvo.svg; do
  grep -qxF "$file" "$tmp/files" || fail "the package lacks $file"
done
if grep -v '^\./usr/' "$tmp/files" | grep -qv '^\./$'; then fail "files outside /usr: $(grep -v '^\./usr/' "$tmp/files")"; fi

dpkg-deb -x "$deb" "$tmp/root"
if grep -q '^\./usr/bin/kelvo-desktop$' "$tmp/files"; then
  grep -qxF ./usr/share/applications/kelvo-desktop.desktop "$tmp/files" || fail "kelvo-desktop without its desktop entry"
  grep -qxF ExecStart=/usr/bin/kelvo-desktop "$tmp/root/usr/lib/systemd/user/kelvo-desktop.service" ||
    fail "kelvo-desktop.service does not start /usr/bin/kelvo-desktop"
  grep -qE '(^|, )libgtk-3-0 ' <<<"$depends" || fail "kelvo-desktop is packaged without libgtk-3-0 in Depends"
  # Outside a session with a display the unit is skipped, not restarted in a loop.
  unit=$tmp/root/usr/lib/systemd/user/kelvo-desktop.service
  grep -qx 'Requisite=graphical-session.target' "$unit" || fail "kelvo-desktop.service runs outside the session"
  condition=$(sed -n 's/^ExecCondition=//p' "$unit" | sed 's/\$\$/$/g')  # as systemd unescapes it
  for display in "" DISPLAY=:0 WAYLAND_DISPLAY=wayland-1; do
    expected=0
    [ -n "$display" ] || expected=1
    result=0
    eval "env -i $display $condition" || result=1
    [ "$result" = "$expected" ] || fail "ExecCondition with \"$display\" exits $result"
  done
fi
for unit in "$tmp"/root/usr/lib/systemd/user/*; do
  grep -qE '^Documentation=man:[a-z.-]+\([15]\) ' "$unit" || fail "$(basename "$unit") has no Documentation="
  if grep -q '^ExecStart=/usr/bin/kelvo-\(feed\|desktop\|widget serve\)' "$unit"; then
    grep -qxF 'ExecReload=/bin/kill -HUP $MAINPID' "$unit" || fail "$(basename "$unit") cannot be reloaded"
  fi
done
if grep -rlF "$(cd "$build" && pwd)" "$tmp/root/usr/share" >/dev/null; then fail "a packaged file names the build tree"; fi

# lintian's verdict: no error or warning but those overridden in the
# package (each with its reason); hardening is never negotiable. lintian
# exits non-zero when it reports errors, so only silence with a failure is
# lintian failing to run.
command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps)"
status=0
lintian "$deb" >"$tmp/lintian.out" 2>"$tmp/lintian.err" || status=$?
[ "$status" -eq 0 ] || [ -s "$tmp/lintian.out" ] || fail "lintian did not run: $(cat "$tmp/lintian.err")"
if grep -E 'hardening-no-(fortify-functions|bindnow|pie|relro)' "$tmp/lintian.out"; then
  fail "lintian finds programs without hardening"
fi
if grep -q . "$tmp/lintian.out"; then fail "lintian:"$'\n'"$(cat "$tmp/lintian.out")"; fi
for file in copyright changelog.Debian.gz README.md examples/feed.ini examples/desktop.ini \
  examples/waybar-module.json examples/waybar-style.css examples/i3blocks.conf; do
  grep -qxF "./usr/share/doc/kelvo/$file" "$tmp/files" || fail "the package lacks /usr/share/doc/kelvo/$file"
done

# Every application's AppStream metadata validates and names what the
# package has: its desktop entry and its program.
command -v appstreamcli >/dev/null || fail "appstreamcli is not installed (scripts/install-deps)"
metainfo=("$tmp"/root/usr/share/metainfo/*.metainfo.xml)
[ -f "${metainfo[0]}" ] || fail "the package has no AppStream metadata"
for file in "${metainfo[@]}"; do
  appstreamcli validate --no-net --pedantic "$file" >"$tmp/appstream.out" 2>&1 ||
    fail "$(basename "$file"):"$'\n'"$(cat "$tmp/appstream.out")"
  if grep -qE '^[EWIP]: ' "$tmp/appstream.out"; then fail "$(basename "$file"):"$'\n'"$(cat "$tmp/appstream.out")"; fi
  entry=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$file")
  [ -n "$entry" ] && [ -f "$tmp/root/usr/share/applications/$entry" ] || fail "$(basename "$file") launches a missing $entry"
  for binary in $(sed -n 's|.*<binary>\(.*\)</binary>.*|\1|p' "$file"); do
    [ -x "$tmp/root/usr/bin/$binary" ] || fail "$(basename "$file") provides a missing $binary"
  done
done

# The packaged programs run from wherever they are unpacked.
for program in "$tmp"/root/usr/bin/*; do
  env -i PATH=/usr/bin:/bin HOME="$tmp" "$program" --help >/dev/null || fail "packaged $(basename "$program") --help"
done
line=$(env -i PATH=/usr/bin:/bin HOME="$tmp" LC_ALL=C.UTF-8 LANGUAGE=de "$tmp/root/usr/bin/kelvo-widget" status \
  --shared-dir "$tmp/none")
[ "$line" = "No container" ] || fail "packaged status printed: $line"
# The example settings, as a user copies them, read by the packaged programs.
bin=$tmp/root/usr/bin
examples=$tmp/root/usr/share/doc/kelvo/examples
user() { env -i PATH="$bin:/usr/bin:/bin" HOME="$tmp" LC_ALL=C.UTF-8 "$@"; }
install -m 600 "$examples/feed.ini" "$tmp/feed.ini"
user kelvo-feed --config "$tmp/feed.ini" --broker mqtt://127.0.0.1:1 --once --timeout 1 2>"$tmp/feed.err" || true
grep -q 'was not reachable within 1.0 s' "$tmp/feed.err" && ! grep -q 'feed.ini' "$tmp/feed.err" ||
  fail "kelvo-feed with the example feed.ini:"$'\n'"$(cat "$tmp/feed.err")"
if [ -x "$bin/kelvo-desktop" ]; then
  for name in widget car2; do  # no display here: the settings are read, then it stops
    user kelvo-desktop --config "$examples/desktop.ini" --name "$name" 2>"$tmp/desktop.err" || true
    [ "$(cat "$tmp/desktop.err")" = "kelvo-desktop: cannot open a display (neither WAYLAND_DISPLAY nor DISPLAY works)" ] ||
      fail "kelvo-desktop with the example desktop.ini (--name $name):"$'\n'"$(cat "$tmp/desktop.err")"
  done
fi
# Waybar runs the module's command and reads each line as JSON with a class
# the style sheet knows; the style sheet styles every class the line has.
exec=$(jq -er '."custom/kelvo".exec' "$examples/waybar-module.json") || fail "waybar-module.json has no exec"
[ "$(jq -er '."custom/kelvo"."return-type"' "$examples/waybar-module.json")" = json ] || fail "waybar module not json"
line=$(user timeout 5 sh -c "$exec" | head -n 1) || true  # --watch: stopped by head or timeout
class=$(jq -er '.class' <<<"$line") || fail "the Waybar module printed: $line"
styled=$(grep -oE '#custom-kelvo\.[a-z]+' "$examples/waybar-style.css" | cut -d. -f2 | sort -u | tr '\n' ' ')
[ "$styled" = "charging driving error idle low nodata stale " ] || fail "waybar-style.css styles: $styled"
grep -qw -- "$class" <<<"$styled" || fail "the Waybar module's class $class is not styled"
# i3blocks runs the block's command with sh and reads full text, short text and colour.
command=$(sed -n 's/^command=//p' "$examples/i3blocks.conf")
[ "$(grep -c '^command=' "$examples/i3blocks.conf")" = 1 ] && [ "$(sed -n 's/^interval=//p' "$examples/i3blocks.conf")" = 60 ] ||
  fail "i3blocks.conf has not one block run every 60 s"
[ "$(user sh -c "$command" | wc -l)" -ge 2 ] || fail "the i3blocks block printed: $(user sh -c "$command")"

echo "$(basename "$deb"): $(stat -c %s "$deb") bytes; Depends: $depends"
