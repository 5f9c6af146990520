#!/usr/bin/env bash
# bench/pathological.sh [BUILD_DIR]
#
# The inputs that once made longest-match scanning quadratic, each about
# 1 MB: one line of digits 1-9 without '@', one line of '<;' without '> ',
# and turns that each hold an unclosed '<;'.  Times the scanner alone
# (trl-tokens), velmar and trl-check -j1 on each against the same program on
# 1 MB of ordinary turns (the head of bench/velmar.sh's text); five
# interleaved rounds, medians and ratios printed.  Linear scanning keeps
# every ratio near 1 (the target is at most 2).  trl-check runs as a user
# runs it, with its error limit per file; reporting every error of the
# unclosed turns (--max-errors=0) costs the words of each message besides.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
tokens=$build/tools/trl-tokens/trl-tokens
velmar=$build/checker/velmar
check=$build/checker/trl-check/trl-check
for b in "$tokens" "$velmar" "$check"; do
    [ -x "$b" ] || { echo "not executable: $b (build first)" >&2; exit 2; }
done
data=$here/data
if [ ! -s "$data/dialog50.trl" ]; then
    echo "making $data/dialog50.trl with bench/velmar.sh" >&2
    bash "$here/velmar.sh" "$velmar" > /dev/null
fi
mkdir -p "$data"
# Ordinary turns: whole turns of the benchmark text up to 1 MB.
awk 'BEGIN { RS = "\n\n"; ORS = "\n\n" } { n += length($0) + 2; if (n > 1048576) exit; print }' \
    "$data/dialog50.trl" > "$data/ordinary1.trl"
awk 'BEGIN { printf "g001a001: "; for (i = 0; i < 116509; i++) printf "123456789"; printf "\n\n" }' > "$data/digits1.trl"
awk 'BEGIN { printf "g001a001: "; for (i = 0; i < 524288; i++) printf "<;"; printf "\n\n" }' > "$data/open-comments1.trl"
awk 'BEGIN { for (i = 0; i < 47662; i++) printf "g001a%03d: ja <; so .\n\n", i % 1000 }' > "$data/unclosed1.trl"

. "$here/timing.sh"

cases=(ordinary1 digits1 open-comments1 unclosed1)
programs=(trl-tokens velmar trl-check)
command_of() {
    case $1 in
    trl-tokens) echo "$tokens" ;;
    velmar) echo "$velmar" ;;
    trl-check) echo "$check -j1 -q" ;;
    esac
}
declare -A times
for round in 1 2 3 4 5; do
    for c in "${cases[@]}"; do
        for p in "${programs[@]}"; do
            # shellcheck disable=SC2046
            times[$c.$p]+="$(input=$data/$c.trl time_one $(command_of "$p") $( [ "$p" = trl-check ] && echo "$data/$c.trl" )) "
        done
    done
done
for p in "${programs[@]}"; do
    base=$(median "${times[ordinary1.$p]}")
    printf '%-10s ordinary 1 MB: %.4f s\n' "$p" "$base"
    for c in digits1 open-comments1 unclosed1; do
        m=$(median "${times[$c.$p]}")
        awk -v p="$p" -v c="$c" -v m="$m" -v b="$base" \
            'BEGIN { printf "%-10s %-15s %.4f s, ratio %.2f (target <= 2)\n", p, c ":", m, m / b }'
    done
done
