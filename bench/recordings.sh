#!/usr/bin/env bash
# [DIALOGS=5] [TURNS=10] bench/recordings.sh [BUILD_FOLDER]
#
# A corpus of 5 dialogs of 10 turns and 50 WAV recordings
# (bench/make-recordings-corpus.py) brought in with wav2quenda as version-2
# recordings that carry their turns' texts, some of them spoiled (truncated,
# an odd last byte, clipped, silent, a DC offset, another rate, a text that
# differs).  Prints what the recording checks find in it and in the bundled
# examples (quenda-info --format=line, quenda-corpus pair), then times
# `quenda-corpus stats`, `export --to=textgrid` and `report --dialogs` on it,
# five rounds interleaved, with their medians and ratios against stats.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
corpus=$build/corpus/quenda-corpus
info=$build/info/quenda-info
wav2quenda=$build/convert/wav2quenda
for bin in "$corpus" "$info" "$wav2quenda"; do
    [ -x "$bin" ] || { echo "not executable: $bin (build it first)" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 "$here/make-recordings-corpus.py" "$work" "${DIALOGS:-5}" "${TURNS:-10}"
mkdir "$work/qnd"
while IFS=$'\t' read -r key text; do
    "$wav2quenda" wavfile="$work/wav/$key.wav" quendafile="$work/qnd/$key.qnd" version=2 ort="$text" v=0
done < "$work/texts"
while read -r key fault; do
    case $fault in
    truncated) truncate -s -3000 "$work/qnd/$key.qnd" ;;
    odd-byte) printf 'x' >> "$work/qnd/$key.qnd" ;;
    esac
done < "$work/faults"

# What each check finds: quenda-info's lines that name problems.
found() {
    local lines
    lines=$(grep -v 'problems: none$' || true)
    if [ -z "$lines" ]; then echo "  quenda-info: no problems"; return; fi
    sed 's|^.*/||; s/^/  quenda-info: /' <<<"$lines"
}
echo "== the bundled examples: $(ls "$here/../examples/audio" | wc -l) recordings"
"$info" --format=line "$here/../examples/audio" | found
{ "$corpus" pair "$here/../examples" --audio "$here/../examples/audio" 2> /dev/null || true; } | sed 's/^/  pair: /' 
echo "== the corpus: $(ls "$work/qnd" | wc -l) recordings, $(ls "$work/trl" | wc -l) texts"
{ "$info" --format=line "$work/qnd" || true; } | found
{ "$corpus" pair "$work/trl" --audio "$work/qnd" || true; } | sed 's/^/  pair: /' 

. "$here/timing.sh"
exec 3>&2 2> /dev/null # what the runs name is shown above
declare -A times
for round in 1 2 3 4 5; do
    rm -rf "$work/grid" "$work/site"
    times[stats]+="$(time_one "$corpus" stats "$work/trl" --audio "$work/qnd") "
    times[textgrid]+="$(time_one "$corpus" export --to=textgrid --keep-going "$work/grid" "$work/trl" --audio "$work/qnd") "
    times[report]+="$(time_one "$corpus" report "$work/trl" --audio "$work/qnd" --dialogs -o "$work/site/index.html") "
done
s=$(median "${times[stats]}")
t=$(median "${times[textgrid]}")
r=$(median "${times[report]}")
exec 2>&3
echo "== times, medians of 5 interleaved rounds"
awk -v s="$s" -v t="$t" -v r="$r" 'BEGIN {
    printf "stats: %.3f s\nexport --to=textgrid: %.3f s (%.1fx stats)\nreport --dialogs: %.3f s (%.1fx stats)\n", s, t, t / s, r, r / s
}'
echo "report folder: $(find "$work/site" -type f | wc -l) files, $(du -sh "$work/site" | cut -f1)"
