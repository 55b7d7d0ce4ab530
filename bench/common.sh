# shellcheck shell=bash
# Shared by the benchmark scripts (sourced, not run).

# The build directory: $KELVO_BUILD_DIR, default build/, relative to the repository.
kelvo_build_dir() {
  local build=${KELVO_BUILD_DIR:-build}
  case "$build" in
    /*) echo "$build" ;;
    *) echo "$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/$build" ;;
  esac
}

# Installs the Debian package $1: benchmark-only tools are not build dependencies.
install_pkg() {
  local sudo=(); [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "Installing $1 for the benchmark" >&2
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "$1" >&2
}

# Appends "LABEL KIB" to FILE: the largest peak resident memory of three runs
# of the command that follows.
peak_rss() {
  local file=$1 label=$2 best=0 kb out
  shift 2
  [ -x /usr/bin/time ] || install_pkg time
  out=$(mktemp)
  for _ in 1 2 3; do
    /usr/bin/time -v "$@" 2>"$out" >/dev/null
    kb=$(sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p' "$out")
    [ "$kb" -gt "$best" ] && best=$kb
  done
  rm -f "$out"
  echo "$label $best" >>"$file"
}

# Makes the 4000 x 3000 photo-like test pictures in directory $1 unless they
# are there: a drawn scene scaled up, plus grain, so they compress like a
# photo (car-4000x3000.png, about 16 MB; car-4000x3000.jpg, about 3 MB).
make_test_pictures() {
  local cache=$1 gen
  mkdir -p "$cache"
  if [ -s "$cache/car-4000x3000.png" ] && [ -s "$cache/car-4000x3000.jpg" ]; then return 0; fi
  echo "Making the 4000 x 3000 test pictures in $cache" >&2
  gen=$(mktemp -d)
  python3 "$(dirname "${BASH_SOURCE[0]}")/make-picture.py" "$gen/scene.ppm" 400 300
  vips resize "$gen/scene.ppm" "$gen/big.v" 10 --kernel cubic
  vips gaussnoise "$gen/grain.v" 4000 3000 --sigma 5 --mean 0 --seed 7
  vips add "$gen/big.v" "$gen/grain.v" "$gen/sum.v"
  vips cast "$gen/sum.v" "$gen/car.v" uchar
  vips copy "$gen/car.v" "$cache/car-4000x3000.png"
  vips copy "$gen/car.v" "$cache/car-4000x3000.jpg[Q=90]"
  rm -rf "$gen"
}

# Makes the 4000 x 3000 noise picture in directory $1 unless it is there:
# Gaussian noise in each colour band blurred by 1.5 pixels, which deflate
# cannot predict well, as with a sharp photo of fine detail
# (noise-4000x3000.png, about 12 MB).
make_noise_picture() {
  local cache=$1 gen
  mkdir -p "$cache"
  if [ -s "$cache/noise-4000x3000.png" ]; then return 0; fi
  echo "Making the 4000 x 3000 noise picture in $cache" >&2
  gen=$(mktemp -d)
  for seed in 1 2 3; do
    vips gaussnoise "$gen/band$seed.v" 4000 3000 --sigma 8 --mean 128 --seed "$seed"
  done
  vips bandjoin "$gen/band1.v $gen/band2.v $gen/band3.v" "$gen/rgb.v"
  vips gaussblur "$gen/rgb.v" "$gen/blurred.v" 1.5
  vips cast "$gen/blurred.v" "$gen/noise.v" uchar
  vips copy "$gen/noise.v" "$cache/noise-4000x3000.png"
  rm -rf "$gen"
}

# The charging car both benchmarks draw; $1 is "true" or "false" for hasImage.
charging_snapshot() {
  cat <<JSON
{"batteryPercentage":64,"rangeKm":318,"statusKey":"CHARGING","isDriving":false,"isPluggedIn":true,"fullInMinutes":95,"chargingPowerWatts":11000,"carTitle":"Polestar 4 · 2026","modelName":"Polestar 4","registrationNo":"KLV 042","odometerKm":23412,"carReportedAt":"2026-12-06T11:58:00Z","writtenAt":"2026-12-06T11:58:30Z","unit":"Kilometers (km)","hasImage":$1}
JSON
}
