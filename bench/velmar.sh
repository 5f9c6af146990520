#!/usr/bin/env bash
# bench/velmar.sh [VELMAR_BINARY]
#
# Times velmar on a ~50 MB transliteration against `wc -w` on the same file
# and prints the ratio of the medians of five runs each.  The text is
# generated once into bench/data/ (ordinary turns using every construct of
# the conventions) and must be accepted by velmar.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/checker/velmar}
[ -x "$bin" ] || { echo "not executable: $bin (build velmar first)" >&2; exit 2; }
data=$here/data
text=$data/dialog50.trl
size=$((50 * 1024 * 1024))

generate() {
    mkdir -p "$data"
    awk -v size="$size" '
    function pick(n) { return int(rand() * n) }
    function letters(n,   s, i, k) {
        s = ""
        for (i = 0; i < n; i++) {
            k = pick(40)
            if (k < 26) s = s substr("abcdefghijklmnopqrstuvwxyz", k + 1, 1)
            else if (k < 30) s = s substr("ABCDEFGHIJKLMNOPQRSTUVWXYZ", pick(26) + 1, 1)
            else if (k < 32) s = s "\"" substr("aous", pick(4) + 1, 1)
            else s = s substr("enistra", pick(7) + 1, 1)
        }
        return s
    }
    function body(   k) {
        k = pick(20)
        if (k == 0) return "$" substr("ABCDEFGHIJKLMNOPQRSTUVWXYZ", pick(26) + 1, 1) (pick(2) ? "s" : "")
        if (k == 1) return letters(3 + pick(4)) "'"'"'s"
        if (k == 2) return letters(2) "<L>" letters(2 + pick(3))
        return letters(1 + pick(9))
    }
    function word(   k, w) {
        w = body()
        if (pick(8) == 0) w = w "-" body()
        k = pick(30)
        if (k == 0) w = "*" w
        else if (k == 1) w = "--" w
        else if (k == 2) w = w "--"
        else if (k == 3) w = "#" w
        else if (k == 4) w = "~" w "="
        else if (k == 5) w = w "%"
        else if (k == 6) w = "<T_>" w
        else if (k == 7) w = w "<_T>"
        else if (k == 8) w = "<*ENG>" w
        else if (k == 9) w = "@" (1 + pick(9)) w
        else if (k == 10) w = w (1 + pick(20)) "@"
        return w
    }
    function event(   k) {
        k = pick(9)
        if (k == 0) return "<A>"
        if (k == 1) return "<ah>"
        if (k == 2) return "<Husten>"
        if (k == 3) return "<#Klopfen>"
        if (k == 4) return "<%>"
        if (k == 5) return "<@1<B>"
        if (k == 6) return "<\"ahm>"
        if (k == 7) return "<Lachen>1@>"
        return "<#>"
    }
    function silence(   k) {
        k = pick(3)
        if (k == 0) return "<P> "
        if (k == 1) return "<P>2@> "
        return "<*T> "
    }
    # A lexical element with its blank and an optional pronunciation comment.
    function lex(   k, s) {
        k = pick(40)
        if (k == 0) s = "<:<Husten> " word() ":> "
        else if (k == 1) s = body() "_ +/" word() "/+ _" letters(3) " "
        else if (k == 2) s = letters(2) "_ " event() " _" letters(2) "_ " silence() "_" letters(3) " "
        else s = word() " "
        if (pick(25) == 0) s = s "<!1 " letters(3) "-" letters(2) " '"'"'" letters(2) "> "
        return s
    }
    function repair(   k) {
        k = pick(4)
        if (k == 0) return "+/" word() "/+ "
        if (k == 1) return "-/" word() "/- "
        if (k == 2) return "+/" word() " , " silence() word() " " event() " " word() "/+ " silence()
        return "-/" word() " " word() "/- " event() " "
    }
    BEGIN {
        srand(20260101)
        total = 0; n = 0
        while (total < size) {
            n++
            t = sprintf("g%03dabc%d_%03d_%s_%06d: ", n % 1000, 1 + n % 9, n % 1000, (n % 7 ? "ABC" : "AB1"), n % 1000000)
            if (n % 11 == 0) t = t "<*tGER> "
            m = 4 + pick(20)
            for (i = 0; i < m; i++) {
                k = pick(30)
                if (k == 0) t = t event() " "
                else if (k == 1) t = t repair() lex() ", "
                else {
                    t = t lex()
                    k = pick(12)
                    if (k == 0) t = t ". "
                    else if (k == 1) t = t "? "
                    else if (k < 5) t = t ", "
                    if (pick(15) == 0) t = t silence()
                    if (pick(30) == 0) t = t "<;" letters(5) " " letters(3) "> "
                }
            }
            k = pick(4)
            if (k == 0) t = t event() "\n\n"
            else if (k == 1) t = t word() " <*T>t\n\n"
            else t = t word() " " (pick(2) ? "." : "?") "\n\n"
            if (n % 50 == 0) t = ";" letters(20) "\n" t
            printf "%s", t
            total += length(t)
        }
    }' > "$text.tmp"
    local rc=0
    "$bin" < "$text.tmp" > /dev/null || rc=$?
    if [ "$rc" -ne 0 ]; then
        echo "generated text rejected by velmar (status $rc): $text.tmp" >&2
        "$bin" < "$text.tmp" | tail -1 >&2
        exit 1
    fi
    mv "$text.tmp" "$text"
}

[ -s "$text" ] || generate

# Median wall time of five runs, in seconds.
median_time() {
    local times=() i start end
    for i in 1 2 3 4 5; do
        start=$(date +%s%N)
        "$@" < "$text" > /dev/null
        end=$(date +%s%N)
        times+=($((end - start)))
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n 3p | awk '{ printf "%.3f", $1 / 1e9 }'
}

wc_time=$(median_time wc -w)
velmar_time=$(median_time "$bin")
awk -v v="$velmar_time" -v w="$wc_time" -v f="$(wc -c < "$text")" 'BEGIN {
    printf "input %d bytes\nwc -w: %.3f s\nvelmar: %.3f s\nratio velmar / wc -w: %.2f\n", f, w, v, v / w
}'
