#!/usr/bin/env bash
# Benchmarks `kelvo-widget serve` as a whole server on this machine, side by
# side in one run with the way a dashboard is made today: headless Chromium
# screenshotting the same page at the same size.
#
#   bench/serve.sh [--seconds N]    # N seconds per wrk run (default 10)
#
# Build dir: $KELVO_BUILD_DIR (default build/, relative to the repository).
# The 12 MP test picture is cached in $KELVO_BENCH_CACHE (default $TMPDIR/kelvo-bench).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=common.sh
. "$here/common.sh"
seconds=10
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=${2:?--seconds needs a number}; shift 2 ;;
    -h|--help) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "serve.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done

build=$(kelvo_build_dir)
kelvo="$build/bin/kelvo"
widget="$build/bin/kelvo-widget"
cache=${KELVO_BENCH_CACHE:-${TMPDIR:-/tmp}/kelvo-bench}
now="2026-12-06T12:00:00Z"   # two minutes after the snapshot's report time
export LC_ALL=en_US.UTF-8 LANG=en_US.UTF-8 LANGUAGE=en

command -v wrk >/dev/null || install_pkg wrk
command -v chromium >/dev/null || install_pkg chromium
command -v vips >/dev/null || install_pkg libvips-tools
[ -x "$widget" ] && [ -x "$kelvo" ] || {
  echo "serve.sh: $widget and $kelvo are needed; build them (ninja -C $build kelvo kelvo-widget)" >&2
  exit 1
}

work=$(mktemp -d)
server=""; holder=""
cleanup() {
  [ -n "$holder" ] && kill "$holder" 2>/dev/null
  [ -n "${sizes_server:-}" ] && kill "$sizes_server" 2>/dev/null
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

shared=$work/shared
mkdir -p "$shared"
save() {   # save PERCENT [true|false]: the charging car at PERCENT
  charging_snapshot "${2:-false}" | sed "s/\"batteryPercentage\":64/\"batteryPercentage\":$1/" >"$work/snapshot.json"
  "$kelvo" --shared-dir "$shared" save "$work/snapshot.json"
}
save 64

# The port a server logging to $1 listens on, once it says so.
port_in() {
  local port=""
  for _ in $(seq 100); do
    port=$(sed -n 's|.*listening on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$1")
    [ -n "$port" ] && { echo "$port"; return 0; }
    sleep 0.1
  done
  cat "$1" >&2
  return 1
}

"$widget" serve --listen 127.0.0.1:0 --shared-dir "$shared" --now "$now" 2>"$work/server.log" &
server=$!
port=$(port_in "$work/server.log")
base=http://127.0.0.1:$port
large="$base/widget.png?family=large"
rss() { sed -n "s/^$1:[[:space:]]*\([0-9]*\) kB/\1/p" "/proc/$server/status"; }
# The server's own time for drawing the answer, wall and processor ms
# ("render;dur=3.21, cpu;dur=3.02"); nothing for a cache hit.
render_ms() { curl -s -o /dev/null -D - "$1" | sed -n 's/^Server-Timing: render;dur=\([0-9.]*\), cpu;dur=\([0-9.]*\).*/\1 \2/p'; }
# wrk's requests per second and 99th percentile latency in ms.
run_wrk() {
  wrk -t2 -c64 -d"${seconds}s" --latency "$@" >"$work/wrk.txt"
  python3 - "$work/wrk.txt" <<'EOF'
import re, sys
text = open(sys.argv[1]).read()
rate = float(re.search(r"Requests/sec:\s*([\d.]+)", text).group(1))
total = int(re.search(r"(\d+) requests in", text).group(1))
value, unit = re.search(r"99%\s+([\d.]+)(us|ms|s)", text).groups()
p99 = float(value) * {"us": 0.001, "ms": 1, "s": 1000}[unit]
errors = re.search(r"Non-2xx or 3xx responses: (\d+)", text)
print(f"{rate:.0f} {p99:.2f} {total} {errors.group(1) if errors else 0}")
EOF
}

echo "Warming up" >&2
curl -sf -o "$work/large.png" "$large"
etag=$(curl -s -D - -o /dev/null "$large" | sed -n 's/^ETag: \(.*\)\r$/\1/p')

echo "wrk: cached /widget.png (large, 2x) and 304s, 64 connections, ${seconds} s each" >&2
read -r png_rate png_p99 png_total png_errors < <(run_wrk "$large")
read -r nm_rate nm_p99 nm_total nm_errors < <(run_wrk -H "If-None-Match: $etag" "$large")

echo "Fresh renders: a new snapshot before each" >&2
: >"$work/fresh.txt"
for i in $(seq 1 40); do
  save $((20 + i))
  render_ms "$large" >>"$work/fresh.txt"
done

echo "A 4000 x 3000 picture: decoded once, then further sizes" >&2
make_test_pictures "$cache"
save 64 true
"$kelvo" --shared-dir "$shared" save-image "$cache/car-4000x3000.jpg"
read -r first_picture first_picture_cpu < <(render_ms "$large")
# Each further size is drawn for the first time only once per server, and
# one figure on a shared machine is noise: five servers of their own, each
# up for a second (its fonts loaded), decode the picture, then draw every
# size once.
: >"$work/sizes.txt"
for round in 1 2 3 4 5; do
  "$widget" serve --listen 127.0.0.1:0 --shared-dir "$shared" --now "$now" 2>"$work/sizes.log" &
  sizes_server=$!
  sizes_port=$(port_in "$work/sizes.log")
  sizes_large="http://127.0.0.1:$sizes_port/widget.png?family=large"
  sleep 1
  render_ms "$sizes_large" >/dev/null
  for query in "scale=1" "scale=1.5" "scale=3" "width=800&height=480&colors=2" "width=800&height=480&colors=2&format=bmp" \
    "width=600&height=448&colors=16&rotate=90" "width=1072&height=1448&colors=16"; do
    echo "$round $query $(render_ms "$sizes_large&$query")" >>"$work/sizes.txt"
  done
  kill "$sizes_server"
  wait "$sizes_server" 2>/dev/null || true
  sizes_server=""
done

echo "256 idle connections, then $((3 * seconds)) s of load: memory" >&2
save 64
curl -sf -o /dev/null "$large"
python3 - "$port" >"$work/holder.log" 2>&1 <<'EOF' &
# Holds 256 keep-alive connections from four loopback addresses (the
# per-address limit is 64), each asking for the status every 10 s so that
# no timeout closes it.
import select, socket, sys, time
port = int(sys.argv[1])
connections = []
for i in range(256):
    s = socket.socket()
    s.bind((f"127.0.0.{2 + i // 64}", 0))
    s.connect(("127.0.0.1", port))
    connections.append(s)
print("holding", len(connections), flush=True)
while True:
    for s in connections:
        s.send(b"GET /status.json HTTP/1.1\r\nHost: kelvo\r\n\r\n")
    deadline = time.time() + 10
    while time.time() < deadline:
        ready, _, _ = select.select(connections, [], [], 1)
        for s in ready:
            if not s.recv(65536):
                sys.exit("a held connection was closed")
EOF
holder=$!
sleep 2
grep -q "holding 256" "$work/holder.log" || { cat "$work/holder.log" >&2; exit 1; }
rss_idle=$(rss VmRSS)
: >"$work/rounds.txt"
for round in 1 2 3; do
  read -r rate p99 total errors < <(run_wrk "$large")
  echo "$round $rate $total $errors $(rss VmRSS)" >>"$work/rounds.txt"
done
kill -0 "$holder" || { echo "serve.sh: the idle connections were dropped" >&2; cat "$work/holder.log" >&2; exit 1; }
rss_peak=$(rss VmHWM)
kill "$holder"; holder=""

echo "Headless Chromium: a screenshot of the page at the widget's size, 5 times" >&2
: >"$work/chromium.txt"
for i in 1 2 3 4 5; do
  start=$(date +%s%N)
  setsid chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync --hide-scrollbars \
    --user-data-dir="$work/chromium-$i" --window-size=364,382 --force-device-scale-factor=2 \
    --screenshot="$work/chromium.png" "$base/" >/dev/null 2>&1 &
  browser=$!
  # Its memory: all its processes together, sampled every 20 ms.
  peak=0
  while kill -0 "$browser" 2>/dev/null; do
    total=$( (ps -o rss= -g "$browser" 2>/dev/null || true) | awk '{s += $1} END {print s + 0}')
    [ "$total" -gt "$peak" ] && peak=$total
    sleep 0.02
  done
  wait "$browser" || true
  echo "$(( ($(date +%s%N) - start) / 1000000 )) $peak" >>"$work/chromium.txt"
done
python3 - "$work/chromium.png" <<'EOF'
import struct, sys
w, h = struct.unpack(">II", open(sys.argv[1], "rb").read()[16:24])
if (w, h) != (728, 764):
    sys.exit(f"Chromium's screenshot is {w} x {h}, not 728 x 764")
EOF
# Ours per frame, the same way: a client's whole request for a fresh drawing.
: >"$work/frames.txt"
for i in $(seq 1 20); do
  save $((40 + i))
  curl -s -o /dev/null -w "%{time_total}\n" "$large" >>"$work/frames.txt"
done

python3 - "$work" "$png_rate" "$png_p99" "$png_errors" "$nm_rate" "$nm_p99" "$nm_errors" "$first_picture" \
  "$first_picture_cpu" "$rss_idle" "$rss_peak" <<'EOF'
import statistics, sys
work, png_rate, png_p99, png_errors, nm_rate, nm_p99, nm_errors, first_picture, first_picture_cpu, rss_idle, rss_peak = sys.argv[1:]
fresh_lines = [l.split() for l in open(f"{work}/fresh.txt") if len(l.split()) == 2]
fresh = [float(w) for w, c in fresh_lines]
fresh_cpu = [float(c) for w, c in fresh_lines]
sized = {}
for line in open(f"{work}/sizes.txt"):
    fields = line.split()
    if len(fields) == 4:
        sized.setdefault(fields[1], []).append((float(fields[2]), float(fields[3])))
sizes = [(query, statistics.median(w for w, _ in got), statistics.median(c for _, c in got),
          min(w for w, _ in got), max(w for w, _ in got), len(got)) for query, got in sized.items()]
rounds = [l.split() for l in open(f"{work}/rounds.txt")]
chromium = [tuple(map(int, l.split())) for l in open(f"{work}/chromium.txt")]
frames = [float(x) * 1000 for x in open(f"{work}/frames.txt").read().split()]
mib = lambda kib: int(kib) / 1024
ok = lambda good: "met" if good else "NOT met"
p50 = statistics.median(fresh)
chromium_ms = statistics.median(c[0] for c in chromium)
chromium_mib = max(c[1] for c in chromium) / 1024
frame_ms = statistics.median(frames)
requests = sum(int(r[2]) for r in rounds)
print()
print(f"cached /widget.png (large, 2x): {float(png_rate):,.0f} req/s, p99 {float(png_p99):.2f} ms, "
      f"{png_errors} errors   goal >= 5,000 req/s, p99 < 10 ms: {ok(float(png_rate) >= 5000 and float(png_p99) < 10)}")
print(f"304 Not Modified:               {float(nm_rate):,.0f} req/s, p99 {float(nm_p99):.2f} ms, "
      f"{nm_errors} errors   goal >= 10,000 req/s: {ok(float(nm_rate) >= 10000)}")
print(f"fresh render in the server (40 new snapshots): p50 {p50:.2f} ms (processor {statistics.median(fresh_cpu):.2f} ms), "
      f"p90 {sorted(fresh)[int(len(fresh) * 0.9)]:.2f} ms   goal p50 <= 10 ms: {ok(p50 <= 10)}")
print(f"4000x3000 JPEG: first large render with the decode {float(first_picture):.1f} ms "
      f"(processor {float(first_picture_cpu):.1f} ms); further sizes, each the first at its size,\n"
      f"median of {max(n for *_, n in sizes)} servers: wall, processor, wall's range")
for query, ms, cpu, least, most, _ in sizes:
    print(f"  {query:<45} {ms:6.2f} ms {cpu:6.2f} ms   {least:5.2f}-{most:5.2f} ms")
print(f"  goal <= 10 ms each: {ok(all(ms <= 10 for _, ms, *_ in sizes))}")
print(f"memory with 256 idle connections: {mib(rss_idle):.1f} MiB before the load")
for r in rounds:
    print(f"  after round {r[0]}: {int(r[2]):,} requests at {float(r[1]):,.0f} req/s ({r[3]} errors), RSS {mib(r[4]):.1f} MiB")
growth = mib(rounds[-1][4]) - mib(rounds[0][4])
print(f"  peak {mib(rss_peak):.1f} MiB over {requests:,} requests, growth from round 1 to 3: {growth:+.1f} MiB"
      f"   goal < 48 MiB, no growth: {ok(mib(rss_peak) < 48 and requests >= 100000 and growth < 1)}")
print(f"per frame: ours {frame_ms:.1f} ms (curl, fresh render), headless Chromium {chromium_ms:,.0f} ms "
      f"-> {chromium_ms / frame_ms:,.0f}x   goal >= 50x: {ok(chromium_ms / frame_ms >= 50)}")
print(f"memory: ours {mib(rss_peak):.1f} MiB peak, Chromium {chromium_mib:.0f} MiB (all processes) "
      f"-> 1/{chromium_mib / mib(rss_peak):.1f}   goal <= 1/5: {ok(mib(rss_peak) * 5 <= chromium_mib)}")
EOF
