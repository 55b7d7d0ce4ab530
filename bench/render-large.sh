#!/usr/bin/env bash
# Times `kelvo-widget render --family large --format png` as a whole process
# against the satori + resvg peer in bench/peer, without a picture and with a
# 4000 x 3000 picture (the drawn scene as PNG and JPEG, and blurred noise as
# PNG), and measures the peak resident memory of
# each. Prints medians, the ratio peer/ours and peak RSS.
#
#   bench/render-large.sh [--runs N] [--peer-only]
#
# Build dir: $KELVO_BUILD_DIR (default build/, relative to the repository).
# Test pictures are cached in $KELVO_BENCH_CACHE (default $TMPDIR/kelvo-bench).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=common.sh
. "$here/common.sh"
runs=10
peer_only=0
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=${2:?--runs needs a number}; shift 2 ;;
    --peer-only) peer_only=1; shift ;;
    -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "render-large.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done

build=$(kelvo_build_dir)
kelvo="$build/bin/kelvo"
widget="$build/bin/kelvo-widget"
peer="$here/peer"
cache=${KELVO_BENCH_CACHE:-${TMPDIR:-/tmp}/kelvo-bench}
now="2026-12-06T12:00:00Z"   # two minutes after the snapshot's report time

# Same texts and number formats on every machine.
export LC_ALL=en_US.UTF-8 LANG=en_US.UTF-8 LANGUAGE=en

need() { command -v "$1" >/dev/null || { echo "render-large.sh: $1 is required" >&2; exit 1; }; }
need node; need npm; need hyperfine; need vips; need python3

[ -x /usr/bin/time ] || install_pkg time

if [ "$peer_only" -eq 0 ]; then
  if [ ! -x "$kelvo" ] || [ ! -x "$widget" ]; then
    echo "render-large.sh: $kelvo and $widget are needed; build them (ninja -C $build kelvo kelvo-widget)" >&2
    echo "  or set KELVO_BUILD_DIR, or run with --peer-only" >&2
    exit 1
  fi
  if ! "$widget" render --help 2>/dev/null | grep -q -- '--format'; then
    echo "render-large.sh: $widget has no 'render' command yet; use --peer-only" >&2
    exit 1
  fi
fi

# The peer's packages, exactly as locked.
if [ ! -d "$peer/node_modules/satori" ] || [ ! -d "$peer/node_modules/@resvg/resvg-js" ] \
   || [ "$peer/package-lock.json" -nt "$peer/node_modules/.package-lock.json" ]; then
  echo "Installing the peer's npm packages" >&2
  (cd "$peer" && npm ci --no-audit --no-fund --loglevel=error >&2)
fi

make_test_pictures "$cache"
make_noise_picture "$cache"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT


# Variants: name, picture file (empty for none).
names=(none png noise jpeg)
pictures=("" "$cache/car-4000x3000.png" "$cache/noise-4000x3000.png" "$cache/car-4000x3000.jpg")

ours_cmd=(); peer_cmd=()
for i in "${!names[@]}"; do
  name=${names[$i]}; pic=${pictures[$i]}
  if [ "$peer_only" -eq 0 ]; then
    dir="$work/shared-$name"
    mkdir -p "$dir"
    if [ -n "$pic" ]; then
      charging_snapshot true >"$work/snapshot-$name.json"
      "$kelvo" --shared-dir "$dir" save "$work/snapshot-$name.json"
      "$kelvo" --shared-dir "$dir" save-image "$pic"
    else
      charging_snapshot false >"$work/snapshot-$name.json"
      "$kelvo" --shared-dir "$dir" save "$work/snapshot-$name.json"
    fi
    ours_cmd[$i]="$widget render --shared-dir $dir --family large --format png --now $now -o $work/ours-$name.png"
  fi
  peer_cmd[$i]="node $peer/render-large.mjs${pic:+ --picture $pic} -o $work/peer-$name.png"
done

# One checked run of each: both must exit 0 with a 728 x 764 PNG.
check_png() {
  python3 - "$1" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read(24)
if data[:8] != b"\x89PNG\r\n\x1a\n":
    sys.exit(f"{sys.argv[1]}: not a PNG")
w, h = struct.unpack(">II", data[16:24])
if (w, h) != (728, 764):
    sys.exit(f"{sys.argv[1]}: {w} x {h}, expected 728 x 764")
EOF
}
for i in "${!names[@]}"; do
  if [ "$peer_only" -eq 0 ]; then
    ${ours_cmd[$i]}
    check_png "$work/ours-${names[$i]}.png"
  fi
  ${peer_cmd[$i]}
  check_png "$work/peer-${names[$i]}.png"
done
if [ -n "${KELVO_BENCH_KEEP:-}" ]; then
  mkdir -p "$KELVO_BENCH_KEEP"
  cp "$work"/*.png "$KELVO_BENCH_KEEP"/
  echo "Renders kept in $KELVO_BENCH_KEEP" >&2
fi

# Timing: whole processes, no shell in between.
hf_args=(-N --warmup 2 --runs "$runs" --style basic --export-json "$work/times.json")
for i in "${!names[@]}"; do
  [ "$peer_only" -eq 0 ] && hf_args+=(-n "ours-${names[$i]}" "${ours_cmd[$i]}")
  hf_args+=(-n "peer-${names[$i]}" "${peer_cmd[$i]}")
done
hyperfine "${hf_args[@]}" >&2

# Peak resident memory: the largest of three runs.
: >"$work/rss.txt"
for i in "${!names[@]}"; do
  [ "$peer_only" -eq 0 ] && peak_rss "$work/rss.txt" "ours-${names[$i]}" ${ours_cmd[$i]}
  peak_rss "$work/rss.txt" "peer-${names[$i]}" ${peer_cmd[$i]}
done

python3 - "$work/times.json" "$work/rss.txt" "${names[@]}" <<'EOF'
import json, sys
times = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
rss = dict((l.split()[0], int(l.split()[1])) for l in open(sys.argv[2]) if l.strip())
names = sys.argv[3:]
labels = {"none": "no picture", "png": "4000x3000 PNG", "noise": "4000x3000 noise",
          "jpeg": "4000x3000 JPEG"}

def med(key):
    r = times.get(key)
    return r["median"] * 1000 if r else None

def mib(key):
    return rss[key] / 1024 if key in rss else None

def cpu(key):
    r = times.get(key)
    return (r["user"] + r["system"]) * 1000 if r else None

def fmt(v, width, suffix=""):
    return (format(v, ".1f") + suffix if v is not None else "-").rjust(width)

def ratio(a, b):
    return a / b if a and b else None

print()
print(f"{'picture':<16} {'ours ms':>9} {'peer ms':>9} {'peer/ours':>10} {'ours CPU':>9} {'peer CPU':>9}"
      f" {'peer/ours':>10} {'ours RSS MiB':>13} {'peer RSS MiB':>13}")
for n in names:
    o, p = med(f"ours-{n}"), med(f"peer-{n}")
    oc, pc = cpu(f"ours-{n}"), cpu(f"peer-{n}")
    print(f"{labels[n]:<16} {fmt(o, 9)} {fmt(p, 9)} {fmt(ratio(p, o), 10, 'x')} {fmt(oc, 9)} {fmt(pc, 9)}"
          f" {fmt(ratio(pc, oc), 10, 'x')} {fmt(mib(f'ours-{n}'), 13)} {fmt(mib(f'peer-{n}'), 13)}")
print("(ms: median whole-process wall time; CPU: mean user + system ms, which a busy machine")
print(" inflates less than wall time; peak RSS: the largest of three runs)")
if med("ours-none") is not None:
    goals = {n: (15 if n == "none" else 6) for n in names}
    ok_speed = all(med(f"peer-{n}") / med(f"ours-{n}") >= goals[n] for n in names)
    ok_mem = all(mib(f"ours-{n}") < 30 for n in names if n != "none")
    print(f"goal 15x faster than the peer without a picture, 6x with one: {'met' if ok_speed else 'NOT met'}; "
          f"under 30 MiB with a picture: {'met' if ok_mem else 'NOT met'}")
EOF
