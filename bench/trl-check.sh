#!/usr/bin/env bash
# bench/trl-check.sh [TRL_CHECK_BINARY]
#
# Times trl-check -j1 on the ~50 MB transliteration of bench/velmar.sh
# against `wc -w` on the same file, and trl-check on a corpus of 2587 files
# (the same turns, 100 to a file, in 26 folders, every 20th file with an
# error) with -j1 and with one job per processor.  Each command runs five
# times, the rounds interleaved; the medians and their ratios are printed.
# The big text is made by bench/velmar.sh when it is missing, the corpus
# once from it into bench/data/corpus/.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/checker/trl-check/trl-check}
[ -x "$bin" ] || { echo "not executable: $bin (build trl-check first)" >&2; exit 2; }
data=$here/data
text=$data/dialog50.trl
corpus=$data/corpus

if [ ! -s "$text" ]; then
    echo "making $text with bench/velmar.sh" >&2
    bash "$here/velmar.sh" > /dev/null
fi

if [ ! -d "$corpus" ]; then
    mkdir -p "$corpus.tmp"
    awk -v dir="$corpus.tmp" 'BEGIN { RS = "\n\n"; ORS = "\n\n" }
    {
        if ((NR - 1) % 100 == 0) {
            if (out != "") close(out)
            n = (NR - 1) / 100
            folder = sprintf("%s/%02d", dir, n % 26)
            if (n < 26) system("mkdir -p " folder)
            out = sprintf("%s/dialog%04d.trl", folder, n)
            rec = $0
            if (n % 20 == 19) sub(/ [.?]$/, ".", rec)   # a missing blank
            print rec > out
            next
        }
        print > out
    }' "$text"
    mv "$corpus.tmp" "$corpus"
fi
files=$(find "$corpus" -name '*.trl' | wc -l)
jobs=$(nproc)

. "$here/timing.sh"

declare -A times
names=(wc one corpus1 corpusN)
for round in 1 2 3 4 5; do
    times[wc]+="$(time_one wc -w "$text") "
    times[one]+="$(time_one "$bin" -j1 -q "$text") "
    times[corpus1]+="$(time_one "$bin" -j1 -q "$corpus") "
    times[corpusN]+="$(time_one "$bin" -j"$jobs" -q "$corpus") "
done
declare -A med
for name in "${names[@]}"; do
    med[$name]=$(median "${times[$name]}")
done
echo "checks: $("$bin" -q "$corpus" || true)"
awk -v f="$(wc -c < "$text")" -v w="${med[wc]}" -v t="${med[one]}" -v c1="${med[corpus1]}" -v cn="${med[corpusN]}" \
    -v files="$files" -v jobs="$jobs" 'BEGIN {
    printf "input %d bytes\nwc -w: %.3f s\ntrl-check -j1: %.3f s\nratio trl-check -j1 / wc -w: %.2f (target <= 1.5)\n", f, w, t, t / w
    printf "corpus of %d files, -j1: %.3f s\ncorpus of %d files, -j%d: %.3f s\nspeed-up: %.2f\n", files, c1, files, jobs, cn, c1 / cn
}'
