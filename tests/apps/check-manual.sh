#!/bin/sh
# check-manual.sh pages|bash DIR: checks what kelvo-manual made in DIR.
set -u
dir=$2
case $1 in
pages)
  # Every page formats without a warning from groff or man.
  status=0 count=0
  for page in "$dir"/man1/*.1 "$dir"/man5/*.5; do
    count=$((count + 1))
    said=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$said" ] || { echo "$page: $said"; status=1; }
  done
  [ "$count" -eq 7 ] || { echo "expected 7 pages, found $count"; status=1; }
  exit $status ;;
bash)
  # Completions as bash asks for them: the words so far, the cursor's word.
  expect() {
    got=$(bash -c '. "$1"/bash/kelvo-widget; . "$1"/bash/kelvo-feed; shift; COMP_CWORD=$1; shift
                   COMP_WORDS=("$@"); "_$(echo "$1" | tr - _)"; echo "${COMPREPLY[*]}"' sh "$dir" "$@")
    [ "$got" = "$want" ] || { echo "$*: got [$got], want [$want]"; status=1; }
  }
  status=0
  want="small medium large extraLarge" expect 3 kelvo-widget render --family ''
  want="status" expect 1 kelvo-widget sta
  want="text waybar i3blocks" expect 3 kelvo-widget status --format ''
  want="--help --version --format --watch --shared-dir --now" expect 2 kelvo-widget status --
  want="teslamate evcc snapshot map" expect 2 kelvo-feed --preset ''
  want="--token-file --tls-cert --tls-key --threads" expect 2 kelvo-widget serve --t
  exit $status ;;
esac
echo "usage: check-manual.sh pages|bash DIR" >&2
exit 2
