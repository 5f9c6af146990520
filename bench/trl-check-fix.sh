#!/usr/bin/env bash
# bench/trl-check-fix.sh [TRL_CHECK_BINARY]
#
# Times trl-check -j1 --fix against a plain check (trl-check -j1 -q) on the
# ~50 MB transliteration of bench/velmar.sh, as it is (correct: --fix
# writes nothing) and written with Windows line ends and UTF-8 umlauts
# (every line and every umlaut a fix: --fix writes the file).  Each command
# runs five times, the rounds interleaved; the faulty file is copied afresh
# before each --fix, outside the time taken.  The medians and their ratios
# are printed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/checker/trl-check/trl-check}
[ -x "$bin" ] || { echo "not executable: $bin (build trl-check first)" >&2; exit 2; }
data=$here/data
text=$data/dialog50.trl
faulty=$data/dialog50-windows.trl
work=$data/fix-work.trl

if [ ! -s "$text" ]; then
    echo "making $text with bench/velmar.sh" >&2
    bash "$here/velmar.sh" > /dev/null
fi
if [ ! -s "$faulty" ]; then
    # Outside comments the fixes take every CR and umlaut; the comment lines
    # of the text (";...") keep their CR, as a comment may hold any byte.
    sed -e 's/"a/\xc3\xa4/g; s/"o/\xc3\xb6/g; s/"u/\xc3\xbc/g; s/"s/\xc3\x9f/g' -e 's/$/\r/' "$text" > "$faulty.tmp"
    mv "$faulty.tmp" "$faulty"
fi
trap 'rm -f "$work"' EXIT

. "$here/timing.sh"

cp "$faulty" "$work"
fixes=$("$bin" -j1 -q --fix --format=json "$work" | grep -o '"fixes":{[^}]*}' || true)

declare -A times
names=(check fix check_faulty fix_faulty)
for round in 1 2 3 4 5; do
    times[check]+="$(time_one "$bin" -j1 -q "$text") "
    times[fix]+="$(time_one "$bin" -j1 -q --fix "$text") "
    times[check_faulty]+="$(time_one "$bin" -j1 -q "$faulty") "
    cp "$faulty" "$work"
    times[fix_faulty]+="$(time_one "$bin" -j1 -q --fix "$work") "
done
declare -A med
for name in "${names[@]}"; do
    med[$name]=$(median "${times[$name]}")
done
echo "fixes in the faulty text: $fixes"
awk -v f="$(wc -c < "$text")" -v c="${med[check]}" -v x="${med[fix]}" -v cf="${med[check_faulty]}" \
    -v xf="${med[fix_faulty]}" 'BEGIN {
    printf "input %d bytes\ntrl-check -j1: %.3f s\ntrl-check -j1 --fix (nothing to fix): %.3f s (%.2f x the check)\n", f, c, x, x / c
    printf "Windows line ends and UTF-8 umlauts: trl-check -j1: %.3f s, --fix (writes): %.3f s (%.2f x the check of the correct text)\n", cf, xf, xf / c
}'
