#!/usr/bin/env bash
# Times quenda2raw on a ~400 MB Quenda file against `dd bs=1M conv=swab` and
# `cat` on the same file, writing to a file in the same folder.  Each command
# runs 5 times, the rounds interleaved; medians and ratios are printed, then
# each mode of quenda2raw against its target: at most 1.15 times cat with and
# without swap, at most 1.20 times dd conv=swab with swap.
#
# Usage: bench/quenda2raw.sh [path/to/quenda2raw]
#   default binary: build/convert/quenda2raw (or $QUENDA2RAW)
#   the input is made once under bench/data/ and kept for later runs.
set -euo pipefail
export LC_ALL=C

here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
bin="${1:-${QUENDA2RAW:-$root/build/convert/quenda2raw}}"
data="$here/data"
input="$data/big.qnd"
output="$data/out.raw"
runs=5
blocks=819200 # 512-byte sample blocks: 400 MiB of samples

if [[ ! -x "$bin" ]]; then
    echo "quenda2raw.sh: no program at $bin (build it: cmake --preset default && cmake --build --preset default)" >&2
    exit 1
fi

# A version-1 header (nspbk = 819200, anz_header = 1, version byte 1),
# then random samples.
make_input() {
    mkdir -p "$data"
    echo "making $input ($((blocks * 512 / 1048576)) MiB of samples) ..." >&2
    {
        head -c 20 /dev/zero
        printf '\000\200\014\000' # nspbk, little-endian
        printf '\001\000\000\000' # anz_header
        head -c 265 /dev/zero     # up to offset 293
        printf '\001'             # version
        head -c 218 /dev/zero     # up to offset 512
        head -c $((blocks * 512)) /dev/urandom
    } >"$input.tmp"
    mv "$input.tmp" "$input"
}

if [[ ! -f "$input" || $(stat -c %s "$input") -ne $(((blocks + 1) * 512)) ]]; then
    make_input
fi

. "$here/timing.sh"   # median; time_one is this script's own, below

names=(q2r_swap0 q2r_swap1 dd_swab cat)
run_one() {
    case "$1" in
    q2r_swap0) "$bin" quendafile="$input" rawfile="$output" swap=0 ;;
    q2r_swap1) "$bin" quendafile="$input" rawfile="$output" swap=1 ;;
    dd_swab) dd if="$input" of="$output" bs=1M conv=swab status=none ;;
    cat) cat "$input" >"$output" ;;
    esac
}

# Seconds taken by one run, output file removed beforehand.
time_one() {
    rm -f "$output"
    local start=$EPOCHREALTIME
    run_one "$1"
    local end=$EPOCHREALTIME
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f\n", e - s }'
}

cat "$input" >/dev/null # into the page cache
declare -A times
for ((round = 1; round <= runs; round++)); do
    for name in "${names[@]}"; do
        times[$name]+="$(time_one "$name") "
    done
done
rm -f "$output"

declare -A med
for name in "${names[@]}"; do
    med[$name]=$(median "${times[$name]}")
done

printf '%-10s %9s %9s %9s   %s\n' command median/s "/dd_swab" "/cat" "runs/s"
for name in "${names[@]}"; do
    awk -v n="$name" -v m="${med[$name]}" -v d="${med[dd_swab]}" -v c="${med[cat]}" -v r="${times[$name]}" \
        'BEGIN { printf "%-10s %9.3f %9.2f %9.2f   %s\n", n, m, m / d, m / c, r }'
done
# One line per target: measured / reference, the limit, met or MISSED.
target() {
    awk -v what="$1" -v q="${med[$2]}" -v ref="${med[$3]}" -v limit="$4" \
        'BEGIN { r = q / ref; printf "%s = %.2f (target <= %.2f): %s\n", what, r, limit, (r <= limit ? "met" : "MISSED") }'
}
target "quenda2raw swap=0 / cat" q2r_swap0 cat 1.15
target "quenda2raw swap=1 / cat" q2r_swap1 cat 1.15
target "quenda2raw swap=1 / dd conv=swab" q2r_swap1 dd_swab 1.20
