#!/usr/bin/env bash
# Measures kelvo-desktop on a private Xvfb: resident memory when idle, CPU
# time and wake-ups while it waits for its next redraw, and resident memory
# across forced refreshes (SIGHUP: read the shared directory again, lay out,
# draw), each one waited for before the next is sent.
#
#   bench/desktop-footprint.sh [--refreshes N] [--idle SECONDS]
#
# Build dir: $KELVO_BUILD_DIR (default build/, relative to the repository).
# Goals: under 60 MiB idle, no CPU time between redraws, no growth in RSS
# over the refreshes.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
refreshes=1000
idle=30
while [ $# -gt 0 ]; do
  case "$1" in
    --refreshes) refreshes=${2:?--refreshes needs a number}; shift 2 ;;
    --idle) idle=${2:?--idle needs seconds}; shift 2 ;;
    -h|--help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "desktop-footprint.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
build=${KELVO_BUILD_DIR:-build}
case "$build" in /*) ;; *) build="$root/$build" ;; esac
bin="$build/bin"
command -v Xvfb >/dev/null || { echo "desktop-footprint.sh: Xvfb is required" >&2; exit 1; }

work=$(mktemp -d -t kelvo-footprint.XXXXXX)
xvfb_pid="" desktop_pid=""
cleanup() {
  [ -n "$desktop_pid" ] && kill "$desktop_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export LC_ALL=C.UTF-8 NO_AT_BRIDGE=1

# The charging car with its picture, reported five hours ago: the age text
# next changes in an hour, so nothing is due while we watch.
mkdir "$work/shared"
reported=$(date -u -d '-5 hour' +%Y-%m-%dT%H:%M:%SZ)
sed -e "s/\"carReportedAt\":\"[^\"]*\"/\"carReportedAt\":\"$reported\"/" \
    -e "s/\"writtenAt\":\"[^\"]*\"/\"writtenAt\":\"$reported\"/" \
    "$root/resources/sample-snapshot.json" | "$bin/kelvo" --shared-dir "$work/shared" save -
"$bin/kelvo" --shared-dir "$work/shared" save-image "$root/resources/sample-car.png"

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"

"$bin/kelvo-desktop" --shared-dir "$work/shared" --family large --config "$work/desktop.ini" 2>"$work/log" &
desktop_pid=$!
shown() { grep -c '^kelvo-desktop: showing' "$work/log" || true; }
for _ in $(seq 200); do [ "$(shown)" -ge 1 ] && break; sleep 0.05; done
sleep 2

rss() { awk '/^VmRSS:/ {print $2}' "/proc/$desktop_pid/status"; }
ticks() { awk '{print $14 + $15}' "/proc/$desktop_pid/stat"; }
switches() { awk '/^(voluntary|nonvoluntary)_ctxt_switches:/ {s += $2} END {print s}' "/proc/$desktop_pid/status"; }
hz=$(getconf CLK_TCK)

idle_rss=$(rss)
t0=$(ticks) w0=$(switches)
sleep "$idle"
t1=$(ticks) w1=$(switches)

before=$(shown)
start=$(date +%s%N)
rss_after_100=""
for i in $(seq "$refreshes"); do
  kill -HUP "$desktop_pid"
  until [ "$(shown)" -gt $((before + i - 1)) ]; do sleep 0.002; done
  [ "$i" -eq 100 ] && rss_after_100=$(rss)
done
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
sleep 1
final_rss=$(rss)

kill -TERM "$desktop_pid"
status=0
wait "$desktop_pid" || status=$?
desktop_pid=""

mib() { awk -v k="$1" 'BEGIN {printf "%.1f", k / 1024}'; }
cpu_seconds=$(awk -v t=$((t1 - t0)) -v hz="$hz" 'BEGIN {printf "%.2f", t / hz}')
printf 'kelvo-desktop on Xvfb (%s), large family with a picture\n' "$DISPLAY"
printf '  idle RSS:                      %6s MiB   (goal: under 60 MiB)\n' "$(mib "$idle_rss")"
printf '  CPU while idle for %3d s:      %6s s     (%d ticks; goal: 0)\n' "$idle" "$cpu_seconds" $((t1 - t0))
printf '  wake-ups while idle:           %6d       (context switches)\n' $((w1 - w0))
printf '  RSS after 100 refreshes:       %6s MiB\n' "$(mib "${rss_after_100:-0}")"
printf '  RSS after %4d refreshes:      %6s MiB   (growth since 100: %+d KiB)\n' "$refreshes" \
  "$(mib "$final_rss")" $((final_rss - ${rss_after_100:-final_rss}))
printf '  time per refresh:              %6d ms\n' $((elapsed_ms / refreshes))
printf '  exit status after SIGTERM:     %6d\n' "$status"
