# Timing helpers sourced by the benchmark scripts.

# One timed run in seconds of the command with its arguments, standard input
# from $input when it is set, standard output discarded.
time_one() {
    local start end
    start=$(date +%s%N)
    if [ -n "${input:-}" ]; then "$@" < "$input" > /dev/null || true; else "$@" > /dev/null || true; fi
    end=$(date +%s%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f\n", (e - s) / 1e9 }'
}

# The median of the blank-separated numbers in $1.
median() { tr ' ' '\n' <<<"$1" | grep . | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
