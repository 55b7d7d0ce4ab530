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
fi
if grep -rlF "$(cd "$build" && pwd)" "$tmp/root/usr/share" >/dev/null; then fail "a packaged file names the build tree"; fi

# Every program built with the distribution's hardening flags, as lintian
# checks them (the rest of lintian's verdict is not asked here).
command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps)"
status=0
hardening=$(lintian --tags hardening-no-fortify-functions,hardening-no-bindnow,hardening-no-pie,hardening-no-relro \
  "$deb" 2>"$tmp/lintian.err") || status=$?
[ "$status" -le 1 ] || fail "lintian did not run: $(cat "$tmp/lintian.err")"
[ -z "$hardening" ] || fail "lintian finds programs without hardening:"$'\n'"$hardening"

# The packaged programs run from wherever they are unpacked.
for program in "$tmp"/root/usr/bin/*; do
  env -i PATH=/usr/bin:/bin HOME="$tmp" "$program" --help >/dev/null || fail "packaged $(basename "$program") --help"
done
line=$(env -i PATH=/usr/bin:/bin HOME="$tmp" LC_ALL=C.UTF-8 LANGUAGE=de "$tmp/root/usr/bin/kelvo-widget" status \
  --shared-dir "$tmp/none")
[ "$line" = "No container" ] || fail "packaged status printed: $line"
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes; Depends: $depends"
