#!/usr/bin/env bash
# Measures kelvo-feed against a private Mosquitto broker on a free loopback
# port: CPU and resident memory of the idle daemon, then how many snapshot
# writes a burst of messages causes, how fast the burst is taken in, and how
# long after the burst's last message the final value is on disk.
#
#   bench/feed-burst.sh                    # 60 s idle, 10,000 messages
#   bench/feed-burst.sh --idle 10 --messages 50000
#   KELVO_BUILD_DIR=build-release bench/feed-burst.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${KELVO_BUILD_DIR:-$top/build}
feed=$build/bin/kelvo-feed
idle=60
messages=10000
while [ $# -gt 0 ]; do
  case $1 in
    --idle) idle=$2; shift 2 ;;
    --messages) messages=$2; shift 2 ;;
    *) echo "usage: $0 [--idle SECONDS] [--messages N]" >&2; exit 2 ;;
  esac
done
[ -x "$feed" ] || { echo "build kelvo-feed first (ninja -C $build kelvo-feed)" >&2; exit 1; }

work=$(mktemp -d)
broker_pid='' feed_pid=''
cleanup() {
  [ -n "$feed_pid" ] && kill "$feed_pid" 2>/dev/null && wait "$feed_pid" 2>/dev/null
  [ -n "$broker_pid" ] && kill "$broker_pid" 2>/dev/null && wait "$broker_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/shared"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
# "user root" only matters when run as root (mosquitto would drop privileges).
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\nuser root\n' "$port" >"$work/broker.conf"
mosquitto -c "$work/broker.conf" >"$work/broker.log" 2>&1 &
broker_pid=$!
for _ in $(seq 100); do mosquitto_pub -p "$port" -t probe -n 2>/dev/null && break; sleep 0.05; done

topic=teslamate/cars/1
for kv in battery_level=50 est_battery_range_km=250 state=online plugged_in=true display_name=Bench; do
  mosquitto_pub -p "$port" -r -t "$topic/${kv%%=*}" -m "${kv#*=}"
done
"$feed" --broker "mqtt://127.0.0.1:$port" --shared-dir "$work/shared" --unit km 2>"$work/feed.log" &
feed_pid=$!
for _ in $(seq 100); do [ -s "$work/shared/snapshot.json" ] && break; sleep 0.05; done

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$feed_pid/stat"; }
before=$(cpu_ticks)
sleep "$idle"
after=$(cpu_ticks)
rss=$(awk '/^VmRSS/ {print $2}' "/proc/$feed_pid/status")
hwm=$(awk '/^VmHWM/ {print $2}' "/proc/$feed_pid/status")
echo "idle ${idle} s: CPU $(( (after - before) * 1000 / ticks )) ms ($(awk -v t=$((after - before)) -v hz="$ticks" -v s="$idle" 'BEGIN {printf "%.3f", 100 * t / hz / s}') %), RSS ${rss} KiB (peak ${hwm} KiB)"

writes_before=$(grep -c 'wrote the snapshot' "$work/feed.log" || true)
last=$((messages - 1))
seq 0 "$last" | awk '{print 20 + $1 % 80}' >"$work/levels"
# The last value published is distinct, so its arrival on disk marks the end.
echo 99 >>"$work/levels"
start=$(date +%s.%N)
mosquitto_pub -p "$port" -q 0 -t "$topic/battery_level" -l <"$work/levels"
sent=$(date +%s.%N)
until grep -q '"batteryPercentage":99.0' "$work/shared/snapshot.json" 2>/dev/null; do sleep 0.01; done
landed=$(date +%s.%N)
sleep 3  # anything still coalescing is written by now
writes_after=$(grep -c 'wrote the snapshot' "$work/feed.log" || true)
burst_cpu=$(( ($(cpu_ticks) - after) * 1000 / ticks ))
writes=$((writes_after - writes_before))
awk -v n=$((messages + 1)) -v w="$writes" -v s="$start" -v p="$sent" -v l="$landed" -v cpu="$burst_cpu" 'BEGIN {
  printf "burst of %d messages: published in %.2f s; %d snapshot writes (%.2f writes/s over the burst); ", n, p - s, w, w / (l - s)
  printf "last value on disk %.0f ms after the last publish; daemon CPU %d ms\n", 1000 * (l - p), cpu
}'

# The same number of messages as a steady stream over 10 s (the 2 s ceiling
# of coalescing decides the write rate here).
writes_before=$writes_after
start=$(date +%s.%N)
python3 -c '
import sys, time
n = int(sys.argv[1]); t0 = time.monotonic()
for i in range(n):
    print(20 + i % 80, flush=(i % 10 == 0))
    delay = t0 + 10 * (i + 1) / n - time.monotonic()
    if delay > 0: time.sleep(delay)
print(98, flush=True)' "$messages" | mosquitto_pub -p "$port" -q 0 -t "$topic/battery_level" -l
until grep -q '"batteryPercentage":98.0' "$work/shared/snapshot.json" 2>/dev/null; do sleep 0.01; done
landed=$(date +%s.%N)
writes_after=$(grep -c 'wrote the snapshot' "$work/feed.log" || true)
awk -v n=$((messages + 1)) -v w=$((writes_after - writes_before)) -v s="$start" -v l="$landed" 'BEGIN {
  printf "steady stream of %d messages over %.1f s: %d snapshot writes (%.2f writes/s)\n", n, l - s, w, w / (l - s)
}'
echo "peak RSS: $(awk '/^VmHWM/ {print $2}' "/proc/$feed_pid/status") KiB"
