#!/usr/bin/env bash
# Measures kelvo-desktop on a private Xvfb: resident memory when idle, CPU
# time and wake-ups while it waits for its next redraw, and resident memory
# across forced refreshes (SIGHUP: read the shared directory again, lay out,
# draw), each one waited for before the next is sent; then resident memory
# across hostile swaps: before each refresh a new snapshot whose texts are
# random runs of many scripts, symbols, marks and controls (every one new to
# the text stack's caches), and every fifth time another picture from the
# picture fuzzer's corpus.
#
#   bench/desktop-footprint.sh [--refreshes N] [--idle SECONDS] [--swaps N]
#
# Build dir: $KELVO_BUILD_DIR (default build/, relative to the repository).
# Goals: under 60 MiB idle and after 10,000 hostile swaps, no CPU time
# between redraws, no growth in RSS over the refreshes.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=common.sh
. "$here/common.sh"
root=$(cd "$here/.." && pwd)
refreshes=1000
idle=30
swaps=10000
while [ $# -gt 0 ]; do
  case "$1" in
    --refreshes) refreshes=${2:?--refreshes needs a number}; shift 2 ;;
    --idle) idle=${2:?--idle needs seconds}; shift 2 ;;
    --swaps) swaps=${2:?--swaps needs a number}; shift 2 ;;
    -h|--help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "desktop-footprint.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
build=$(kelvo_build_dir)
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

# Hostile swaps: the snapshot (and the picture) replaced as the writer does,
# by a rename, then SIGHUP; each reload waited for before the next swap.
swap_start=$(date +%s%N)
swap_report=$(python3 - "$work/shared" "$desktop_pid" "$work/log" "$swaps" "$root" <<'PY'
import json, os, random, signal, sys, time

shared, pid, log, count, root = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4]), sys.argv[5]
random.seed(17)
# Code point ranges: scripts with their own shaping rules, wide and rare
# characters, marks, zero-width and bidi controls, private use, noncharacters.
RANGES = [(0x21, 0x7E), (0xC0, 0x24F), (0x300, 0x36F), (0x370, 0x3FF), (0x400, 0x4FF), (0x531, 0x587),
          (0x5D0, 0x5EA), (0x620, 0x64A), (0x710, 0x72F), (0x780, 0x7B1), (0x7C0, 0x7EA), (0x900, 0x97F),
          (0x980, 0x9FE), (0xB80, 0xBFA), (0xC00, 0xC7F), (0xD00, 0xD7F), (0xE01, 0xE5B), (0xE81, 0xEDF),
          (0xF00, 0xFDA), (0x1000, 0x109F), (0x10A0, 0x10FF), (0x1200, 0x137C), (0x13A0, 0x13F5),
          (0x1400, 0x167F), (0x1780, 0x17F9), (0x1820, 0x1878), (0x1E00, 0x1EFF), (0x200B, 0x200F),
          (0x2028, 0x202E), (0x2066, 0x2069), (0x2190, 0x23FF), (0x2500, 0x27BF), (0x2800, 0x28FF),
          (0x3041, 0x30FF), (0x3400, 0x4DBF), (0x4E00, 0x9FFF), (0xA000, 0xA48C), (0xAC00, 0xD7A3),
          (0xE000, 0xF8FF), (0xFB50, 0xFDFF), (0xFDD0, 0xFDEF), (0xFE70, 0xFEFC), (0x10000, 0x100FA),
          (0x1D400, 0x1D7FF), (0x1F300, 0x1F64F), (0x1F680, 0x1F6FF), (0x1F900, 0x1F9FF), (0x20000, 0x2A6DF)]

def text():
    ranges = random.sample(RANGES, random.randint(1, 3))
    length = int(10 ** random.uniform(0, 3.7))
    out = []
    for _ in range(length):
        if random.random() < 0.1:
            out.append(" ")
        else:
            low, high = random.choice(ranges)
            out.append(chr(random.randint(low, high)))
    return "".join(out)

def replace(name, data):
    temporary = os.path.join(shared, "." + name + ".swap")
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, os.path.join(shared, name))

pictures = [os.path.join(root, "resources", "sample-car.png")]
corpus = os.path.join(root, "fuzz", "corpus", "fuzz-car-picture")
pictures += sorted(os.path.join(corpus, name) for name in os.listdir(corpus))
with open(os.path.join(root, "resources", "sample-snapshot.json"), encoding="utf-8") as f:
    sample = json.load(f)
reported = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(time.time() - 5 * 3600))

def shown(data):
    return data.count(b"kelvo-desktop: showing ")

def rss():
    with open("/proc/%d/status" % pid) as f:
        return {line.split(":")[0]: int(line.split()[1]) for line in f if line.startswith(("VmRSS", "VmHWM"))}

seen_at = os.path.getsize(log)
marks = {}
for i in range(1, count + 1):
    snapshot = dict(sample, carReportedAt=reported, writtenAt=reported, hasImage=random.random() < 0.8)
    for key in ("carTitle", "modelName", "registrationNo", "statusKey"):
        snapshot[key] = text()
    snapshot["isDriving"] = random.random() < 0.2
    snapshot["batteryPercentage"] = random.choice([64, -1, 0, 101, 1e300, random.uniform(-1e9, 1e9)])
    replace("snapshot.json", json.dumps(snapshot, ensure_ascii=False).encode("utf-8", "surrogatepass"))
    if i % 5 == 0:
        with open(random.choice(pictures), "rb") as f:
            replace("car.png", f.read())
    os.kill(pid, signal.SIGHUP)
    while True:
        with open(log, "rb") as f:
            f.seek(seen_at)
            data = f.read()
        if shown(data) >= 1:
            seen_at += data.rindex(b"kelvo-desktop: showing ") + 1
            break
        time.sleep(0.001)
    if i in (100, 1000, count):
        marks[i] = rss()["VmRSS"]
time.sleep(1)
last = rss()
print(marks.get(100, 0), marks.get(1000, 0), last["VmRSS"], last["VmHWM"])
PY
)
swap_ms=$((($(date +%s%N) - swap_start) / 1000000))
read -r swap_100 swap_1000 swap_rss swap_peak <<<"$swap_report"

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
if [ "$swaps" -gt 0 ]; then
  printf '  RSS after 100 hostile swaps:   %6s MiB\n' "$(mib "$swap_100")"
  printf '  RSS after %5d hostile swaps: %6s MiB   (goal: under 60 MiB)\n' "$swaps" "$(mib "$swap_rss")"
  printf '  peak RSS (whole run):          %6s MiB\n' "$(mib "$swap_peak")"
  printf '  time per hostile swap:         %6d ms\n' $((swap_ms / swaps))
fi
printf '  exit status after SIGTERM:     %6d\n' "$status"
