#!/bin/sh
# check-manual.sh pages|completions DIR: checks what kelvo-manual made in DIR.
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
completions)
  # Each shell checks its files' syntax, then completes lines as a user's
  # Tab would, from the files as they are installed.
  status=0
  tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT
  for file in "$dir"/zsh/*; do
    zsh -n "$file" || { echo "$file: zsh -n failed"; status=1; }
    cp "$file" "$tmp/_${file##*/}"
  done
  for file in "$dir"/fish/*; do fish --no-config --no-execute "$file" || { echo "$file: fish -n failed"; status=1; }; done
  # zsh completes only in its line editor: a zsh on a pseudo-terminal gets
  # the line and a Tab, and every word offered to compadd is printed.
  cat >"$tmp/complete.zsh" <<'EOF_ZSH'
zmodload zsh/zpty
zpty z zsh -f -i
zpty -w z "PS1=; fpath=($1 \$fpath); autoload -Uz compinit; compinit -u -D; bindkey '^I' complete-word"
zpty -w z 'compadd() { local -a m; builtin compadd -A m "$@"; (( $#m )) && print -r -- "OF""FER ${m}."; builtin compadd "$@"; }; comppostfuncs=(exit)'
zpty -w -n z "$2"$'\t'
typeset -U offered
while zpty -r z line; do
  [[ $line == *OFFER\ * ]] && offered+=(${=${${line#*OFFER }%.*}})
  [[ $line == *(not found|_arguments:)* ]] && offered+=("error: ${line%%$'\r'*}")
done
print -r -- $offered
EOF_ZSH
  sorted() { printf '%s\n' $1 | sort | tr '\n' ' '; }
  # The words so far and the cursor's word, then what each shell offers.
  expect() {
    cword=$1; shift
    got=$(bash -c '. "$1"/bash/kelvo-widget; . "$1"/bash/kelvo-feed; shift; COMP_CWORD=$1; shift
                   COMP_WORDS=("$@"); "_$(echo "$1" | tr - _)"; echo "${COMPREPLY[*]}"' sh "$dir" "$cword" "$@")
    [ "$got" = "$want" ] || { echo "bash: $*: got [$got], want [$want]"; status=1; }
    line="$*"
    got=$(HOME=$tmp timeout 20 zsh -f "$tmp/complete.zsh" "$tmp" "$line")
    [ "$(sorted "$got")" = "$(sorted "$want")" ] || { echo "zsh: $line: got [$got], want [$want]"; status=1; }
    got=$(HOME=$tmp fish --no-config -c 'source $argv[1]/kelvo-widget; source $argv[1]/kelvo-feed; complete -C $argv[2]' \
            "$dir/fish" "$line" | cut -f1)
    [ "$(sorted "$got")" = "$(sorted "$want")" ] || { echo "fish: $line: got [$got], want [$want]"; status=1; }
  }
  want="small medium large extraLarge" expect 3 kelvo-widget render --family ''
  want="status" expect 1 kelvo-widget sta
  want="text waybar i3blocks" expect 3 kelvo-widget status --format ''
  want="--help --version --format --watch --shared-dir --now" expect 2 kelvo-widget status --
  want="teslamate evcc snapshot map" expect 2 kelvo-feed --preset ''
  want="--token-file --tls-cert --tls-key --threads" expect 2 kelvo-widget serve --t
  want="" expect 3 kelvo-widget serve --listen ''  # a value name with a colon once broke zsh's spec
  exit $status ;;
esac
echo "usage: check-manual.sh pages|completions DIR" >&2
exit 2
