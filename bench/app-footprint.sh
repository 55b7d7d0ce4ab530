#!/usr/bin/env bash
# The Kelvo window's footprint: start-up to a drawn window (median of RUNS
# launches: from exec to the window mapped and painted, seen by polling the
# X server), its resident memory once drawn, and its CPU while idle over
# IDLE seconds (default 60) with the sample car shown. On Xvfb with a
# session bus of its own, so it measures the program, not a desktop.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin=${KELVO_BUILD_DIR:-$top/build}/bin
runs=${RUNS:-5}
idle=${IDLE:-60}
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/data" "$home/config"

env -i PATH=/usr/bin:/bin HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" \
  XDG_RUNTIME_DIR="$home" LANG=C.UTF-8 GSK_RENDERER=cairo GSETTINGS_BACKEND=memory \
  xvfb-run -a -s "-screen 0 1024x900x24" dbus-run-session -- bash -c '
    bin=$1 runs=$2 idle=$3 sample=$4
    "$bin/kelvo" save "$sample" >/dev/null
    times=()
    for run in $(seq "$runs"); do
      start=$(date +%s%N)
      "$bin/kelvo-app" 2>/dev/null &
      pid=$!
      # Mapped and viewable; GTK paints the first frame before it maps.
      until xdotool search --onlyvisible --name "^Kelvo$" >/dev/null 2>&1; do sleep 0.005; done
      times+=($(( ($(date +%s%N) - start) / 1000000 )))
      if [ "$run" -lt "$runs" ]; then kill $pid; wait $pid 2>/dev/null || true; fi
    done
    sorted=($(printf "%s\n" "${times[@]}" | sort -n))
    echo "start-up to a drawn window: median ${sorted[$(( runs / 2 ))]} ms (runs: ${times[*]} ms)"
    sleep 2
    echo "resident memory once drawn: $(awk "/VmRSS/ {print \$2}" /proc/$pid/status) KiB (peak $(awk "/VmHWM/ {print \$2}" /proc/$pid/status) KiB)"
    ticks() { awk "{print \$14 + \$15}" /proc/$pid/stat; }
    before=$(ticks)
    sleep "$idle"
    after=$(ticks)
    hz=$(getconf CLK_TCK)
    echo "CPU while idle over ${idle} s: $(( (after - before) * 1000 / hz )) ms ($(awk "BEGIN {printf \"%.3f\", ($after - $before) * 100 / $hz / $idle}") %)"
    kill $pid' _ "$bin" "$runs" "$idle" "$top/resources/sample-snapshot.json" 2>&1 | grep -v "dbus-daemon\|SpiRegistry"
