#!/usr/bin/env bash
# bench/quenda-corpus.sh [QUENDA_CORPUS_BINARY [TRL_CHECK_BINARY]]
#
# Times `quenda-corpus words` (one job per processor, the default) on the
# ~50 MB transliteration of bench/velmar.sh against `trl-check -j1` on the
# same file, five rounds interleaved, and prints the medians, their ratio
# and the peak memory of quenda-corpus (its largest resident size).  The
# text is made by bench/velmar.sh when it is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
corpus=${1:-$here/../build/corpus/quenda-corpus}
check=${2:-$here/../build/checker/trl-check/trl-check}
for bin in "$corpus" "$check"; do
    [ -x "$bin" ] || { echo "not executable: $bin (build it first)" >&2; exit 2; }
done
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian: apt-get install time)" >&2; exit 2; }
text=$here/data/dialog50.trl
if [ ! -s "$text" ]; then
    echo "making $text with bench/velmar.sh" >&2
    bash "$here/velmar.sh" > /dev/null
fi

. "$here/timing.sh"

declare -A times
peak=0
for round in 1 2 3 4 5; do
    times[check]+="$(time_one "$check" -j1 -q "$text") "
    times[words]+="$(time_one "$corpus" words "$text") "
    kb=$(/usr/bin/time -f %M "$corpus" words "$text" 2>&1 > /dev/null | tail -1)
    (( kb > peak )) && peak=$kb
done
c=$(median "${times[check]}")
w=$(median "${times[words]}")
distinct=$("$corpus" words --format=tsv "$text" | tail -n +2 | wc -l)
awk -v f="$(wc -c < "$text")" -v c="$c" -v w="$w" -v p="$peak" -v d="$distinct" -v j="$(nproc)" 'BEGIN {
    printf "input %d bytes, %d distinct words\ntrl-check -j1: %.3f s\nquenda-corpus words (-j%d): %.3f s\n", f, d, c, j, w
    printf "ratio words / trl-check -j1: %.2f (target <= 1.2)\npeak memory of quenda-corpus words: %.0f MB\n", w / c, p / 1024
}'
