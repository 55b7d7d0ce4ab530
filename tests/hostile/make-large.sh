#!/usr/bin/env bash
# Writes the hostile snapshot documents too large to keep in the repository
# into FOLDER (created when missing): each is within the store's 1 MiB limit,
# and each must still be answered in bounded time and memory.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 FOLDER" >&2
  exit 2
fi
out=$1
mkdir -p "$out"

# `repeat UNIT COUNT`: UNIT written COUNT times, by doubling.
repeat() {
  local unit=$1 count=$2 result=""
  while [ "$count" -gt 0 ]; do
    if [ $((count & 1)) -eq 1 ]; then result+=$unit; fi
    unit+=$unit
    count=$((count >> 1))
  done
  printf '%s' "$result"
}

# `snapshot FILE KEY VALUE`: a plain snapshot whose KEY holds VALUE (already
# JSON-escaped text).
snapshot() {
  local file=$1 key=$2 value=$3
  local -A fields=(
    [carTitle]='"Polestar 4"' [modelName]='"Polestar 4"' [registrationNo]='"KLV 042"'
    [statusKey]='"CHARGING"' [writtenAt]='"2026-12-06T09:14:00Z"'
  )
  fields[$key]="\"$value\""
  {
    printf '{"batteryPercentage":64,"rangeKm":318,"isDriving":false,"isPluggedIn":true,'
    printf '"fullInMinutes":95,"chargingPowerWatts":11000,"odometerKm":23412,'
    printf '"carReportedAt":"2026-12-06T09:12:00Z","unit":"Kilometers (km)","hasImage":false'
    for k in carTitle modelName registrationNo statusKey writtenAt; do
      printf ',"%s":' "$k"
      printf '%s' "${fields[$k]}"
    done
    printf '}\n'
  } >"$out/$file"
}

acute=$'\xcc\x81'  # U+0301 COMBINING ACUTE ACCENT, two bytes

# 1 MiB less room for the other fields, in one unbreakable word and in lines.
snapshot title-1mib-x.json carTitle "$(repeat x 1040000)"
snapshot status-key-1mib-A.json statusKey "$(repeat A 1040000)"
snapshot title-200000-lines.json carTitle "$(repeat 'x\n' 200000)"
# One user-perceived character of 400,001 code points: in a title, and in a
# date the decoder quotes in its message (an unreadable snapshot).
snapshot title-combining-800k.json carTitle "e$(repeat "$acute" 400000)"
snapshot message-combining-800k.json writtenAt "e$(repeat "$acute" 400000)"
