#!/usr/bin/env bash
# Installs the built tree into a temporary DESTDIR under a prefix of its own
# and runs the programs from there, as a user would after
# `cmake --install build --prefix PREFIX`. Usage: install-test.sh BUILD SOURCE
set -euo pipefail
build=$1
source=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Not a prefix the build knows: the programs must find share/ from their own path.
prefix=/opt/kelvo-install-test
DESTDIR=$tmp/root cmake --install "$build" --prefix "$prefix" >"$tmp/install.log"
root=$tmp/root$prefix

for file in bin/kelvo bin/kelvo-widget share/kelvo/Info.json share/icons/hicolor/scalable/apps/kelvo.svg \
  share/locale/de/LC_MESSAGES/kelvo.mo share/locale/sv/LC_MESSAGES/kelvo.mo; do
  [ -f "$root/$file" ] || fail "$file was not installed"
done
if grep -rl '@CMAKE_' "$root" >/dev/null; then fail "a file was installed unconfigured: $(grep -rl '@CMAKE_' "$root")"; fi

# The programs run with a clean environment: no build tree on any path.
run() { env -i PATH=/usr/bin:/bin HOME="$tmp/home" LC_ALL=C.UTF-8 "$@"; }
mkdir -p "$tmp/home"
for program in "$root"/bin/*; do
  run "$program" --help >/dev/null || fail "$(basename "$program") --help failed"
done

# The desktop entry and the user units come with the programs they start.
if [ -x "$root/bin/kelvo-desktop" ]; then
  entry=$root/share/applications/kelvo-desktop.desktop
  desktop-file-validate "$entry" || fail "the desktop entry does not validate"
  for line in "Exec=$prefix/bin/kelvo-desktop" "Icon=kelvo" "X-GNOME-Autostart-enabled=true"; do
    grep -qxF "$line" "$entry" || fail "the desktop entry lacks $line"
  done
  grep -qx 'PartOf=graphical-session.target' "$root/share/systemd/user/kelvo-desktop.service" ||
    fail "kelvo-desktop.service is not part of the graphical session"
fi
for program in kelvo-desktop kelvo-feed; do
  [ -x "$root/bin/$program" ] || continue
  # systemd looks for user units under share/ for prefixes other than /usr and /usr/local.
  unit=$root/share/systemd/user/$program.service
  grep -qxF "ExecStart=$prefix/bin/$program" "$unit" || fail "$program.service does not start $prefix/bin/$program"
  grep -qx 'Restart=on-failure' "$unit" || fail "$program.service is not restarted on failure"
done

# kelvo-widget serve as a service, or started by its socket.
grep -qxF "ExecStart=$prefix/bin/kelvo-widget serve" "$root/share/systemd/user/kelvo-serve.service" ||
  fail "kelvo-serve.service does not start $prefix/bin/kelvo-widget serve"
grep -qx 'ListenStream=127.0.0.1:8765' "$root/share/systemd/user/kelvo-serve.socket" ||
  fail "kelvo-serve.socket does not listen on 127.0.0.1:8765"

# kelvo writes, kelvo-widget reads and draws, in German from the installed catalogs.
shared=$tmp/shared
mkdir -p "$shared"
run "$root/bin/kelvo" --shared-dir "$shared" save "$source/resources/sample-snapshot.json" ||
  fail "kelvo save failed"
now=2026-12-06T12:00:00Z
widget() { run LANGUAGE=de "$root/bin/kelvo-widget" "$@" --shared-dir "$shared" --now "$now"; }
widget render --family large --format json >"$tmp/view.json" || fail "kelvo-widget render failed"
for text in '"Lädt"' '"Kilometerstand"' '"Aktualisiert"'; do
  grep -qF "$text" "$tmp/view.json" || fail "render --format json has no German $text"
done
widget render --family medium -o "$tmp/widget.png" || fail "kelvo-widget render to PNG failed"
[ "$(head -c 8 "$tmp/widget.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "render drew no PNG"
# The sample reported at 09:12: by noon it is stale, and the line says how old.
[ "$(widget status)" = "64% · 318 km · Lädt · vor 2 Std." ] || fail "status printed: $(widget status)"

# Without the installed German catalog the same program speaks English: the
# texts above came from the installed tree, not from the build tree.
rm "$root/share/locale/de/LC_MESSAGES/kelvo.mo"
[ "$(widget status)" = "64% · 318 km · Charging · 2h ago" ] || fail "status without the catalog: $(widget status)"
echo "installed under $prefix: $(cd "$root" && find . -type f | wc -l) files, all programs ran"
