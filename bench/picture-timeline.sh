#!/usr/bin/env bash
# Times `kelvo-widget timeline --family large` as a whole process with no
# picture, a 4000 x 3000 PNG and a 4000 x 3000 JPEG car picture, against
# `vipsthumbnail -s 800` making the same 800-pixel thumbnail of the same
# pictures in the same run, and measures the peak resident memory of each.
# Prints medians, ratios and peak RSS.
#
#   bench/picture-timeline.sh [--runs N]
#
# Build dir: $KELVO_BUILD_DIR (default build/, relative to the repository).
# Test pictures are cached in $KELVO_BENCH_CACHE (default $TMPDIR/kelvo-bench).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=common.sh
. "$here/common.sh"
runs=10
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=${2:?--runs needs a number}; shift 2 ;;
    -h|--help) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "picture-timeline.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done

build=$(kelvo_build_dir)
widget="$build/bin/kelvo-widget"
cache=${KELVO_BENCH_CACHE:-${TMPDIR:-/tmp}/kelvo-bench}
now="2026-12-06T12:00:00Z"

export LC_ALL=C.UTF-8 LANGUAGE=

command -v vipsthumbnail >/dev/null && command -v vips >/dev/null || install_pkg libvips-tools
[ -x /usr/bin/time ] || install_pkg time
command -v hyperfine >/dev/null || { echo "picture-timeline.sh: hyperfine is required" >&2; exit 1; }
command -v python3 >/dev/null || { echo "picture-timeline.sh: python3 is required" >&2; exit 1; }

if [ ! -x "$widget" ]; then
  echo "picture-timeline.sh: $widget is needed; build it (ninja -C $build kelvo-widget) or set KELVO_BUILD_DIR" >&2
  exit 1
fi

make_test_pictures "$cache"
make_noise_picture "$cache"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

names=(none png noise jpeg)
pictures=("" "$cache/car-4000x3000.png" "$cache/noise-4000x3000.png" "$cache/car-4000x3000.jpg")
ours_cmd=(); vips_cmd=()
for i in "${!names[@]}"; do
  name=${names[$i]}; pic=${pictures[$i]}
  dir="$work/shared-$name"
  mkdir -p "$dir"
  has_image=false
  if [ -n "$pic" ]; then
    has_image=true
    cp "$pic" "$dir/car.png"   # stored unchanged, whatever its format
  fi
  charging_snapshot "$has_image" >"$dir/snapshot.json"
  ours_cmd[$i]="$widget timeline --family large --shared-dir $dir --now $now"
  # The thumbnail goes to vips's own uncompressed format, so vipsthumbnail
  # pays for decoding and shrinking, not for encoding a file we do not write.
  [ -n "$pic" ] && vips_cmd[$i]="vipsthumbnail -s 800 $pic -o $work/thumb-$name.v"
done

# One checked run of each: ours must give an 800 x 600 picture, vips too.
for i in "${!names[@]}"; do
  out=$(${ours_cmd[$i]})
  expected='null'; [ -n "${pictures[$i]}" ] && expected='{"width": 800, "height": 600}'
  python3 - "$out" "$expected" "${names[$i]}" <<'PY'
import json, sys
entry = json.loads(sys.argv[1])["entries"][0]
if entry["carImage"] != json.loads(sys.argv[2]):
    sys.exit(f"{sys.argv[3]}: carImage is {entry['carImage']}, expected {sys.argv[2]}")
PY
  if [ -n "${vips_cmd[$i]:-}" ]; then
    ${vips_cmd[$i]}
    size=$(vipsheader -f width "$work/thumb-${names[$i]}.v")x$(vipsheader -f height "$work/thumb-${names[$i]}.v")
    [ "$size" = 800x600 ] || { echo "vipsthumbnail ${names[$i]}: $size, expected 800x600" >&2; exit 1; }
  fi
done

# Timing: whole processes, no shell in between.
hf_args=(-N --warmup 2 --runs "$runs" --style basic --export-json "$work/times.json")
for i in "${!names[@]}"; do
  hf_args+=(-n "ours-${names[$i]}" "${ours_cmd[$i]}")
  [ -n "${vips_cmd[$i]:-}" ] && hf_args+=(-n "vips-${names[$i]}" "${vips_cmd[$i]}")
done
hyperfine "${hf_args[@]}" >&2

# Peak resident memory: the largest of three runs.
: >"$work/rss.txt"
for i in "${!names[@]}"; do
  peak_rss "$work/rss.txt" "ours-${names[$i]}" ${ours_cmd[$i]}
  [ -n "${vips_cmd[$i]:-}" ] && peak_rss "$work/rss.txt" "vips-${names[$i]}" ${vips_cmd[$i]}
done

python3 - "$work/times.json" "$work/rss.txt" "${names[@]}" <<'PY'
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

def fmt(v, width, suffix=""):
    return (format(v, ".1f") + suffix if v is not None else "-").rjust(width)

def ratio(a, b):
    return a / b if a is not None and b else None

print()
print(f"{'picture':<16} {'ours ms':>8} {'vips ms':>8} {'vips/ours':>10}"
      f" {'ours MiB':>9} {'vips MiB':>9} {'vips/ours':>10}")
for n in names:
    o, v = med(f"ours-{n}"), med(f"vips-{n}")
    om, vm = mib(f"ours-{n}"), mib(f"vips-{n}")
    print(f"{labels[n]:<16} {fmt(o, 8)} {fmt(v, 8)} {fmt(ratio(v, o), 10, 'x')}"
          f" {fmt(om, 9)} {fmt(vm, 9)} {fmt(ratio(vm, om), 10, 'x')}")
print("(medians of whole-process wall time; peak RSS is the largest of three runs)")
pics = [n for n in names if n != "none"]
ok_speed = all(med(f"ours-{n}") <= med(f"vips-{n}") for n in pics)
ok_mem = all(mib(f"ours-{n}") < 30 for n in pics)
print(f"goal no slower than vipsthumbnail: {'met' if ok_speed else 'NOT met'}; "
      f"under 30 MiB with a picture: {'met' if ok_mem else 'NOT met'}")
PY
