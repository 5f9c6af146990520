#!/usr/bin/env bash
# bench/velmar.sh [VELMAR_BINARY]
#
# Times velmar on a ~50 MB transliteration against `wc -w` on the same file,
# and velmar on a turn holding a 16 MB bracketed comment against velmar on
# 16 MB of ordinary turns.  Each command runs five times, the rounds
# interleaved; the medians and their ratios are printed.  The texts are
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

# 16 MB of ordinary turns (whole turns from the start of the big text), and
# one turn whose text holds a bracketed comment of the same size.
ordinary=$data/ordinary16.trl
comment=$data/comment16.trl
size16=$((16 * 1024 * 1024))
if [ ! -s "$ordinary" ] || [ ! -s "$comment" ]; then
    head -c "$size16" "$text" | awk 'BEGIN { RS = "\n\n"; ORS = "\n\n" } { if (prev != "") print prev; prev = $0 }' > "$ordinary"
    {
        printf 'g012abc3_001_ABC_000000: ja <;'
        head -c "$size16" /dev/zero | tr '\0' 'x'
        printf '> so .\n\n'
    } > "$comment"
    for f in "$ordinary" "$comment"; do
        "$bin" < "$f" > /dev/null || { echo "generated text rejected by velmar: $f" >&2; exit 1; }
    done
fi

. "$here/timing.sh"

declare -A times
names=(wc velmar ordinary comment)
for round in 1 2 3 4 5; do
    times[wc]+="$(input=$text time_one wc -w) "
    times[velmar]+="$(input=$text time_one "$bin") "
    times[ordinary]+="$(input=$ordinary time_one "$bin") "
    times[comment]+="$(input=$comment time_one "$bin") "
done
declare -A med
for name in "${names[@]}"; do
    med[$name]=$(median "${times[$name]}")
done
awk -v f="$(wc -c < "$text")" -v w="${med[wc]}" -v v="${med[velmar]}" -v o="${med[ordinary]}" -v c="${med[comment]}" 'BEGIN {
    printf "input %d bytes\nwc -w: %.3f s\nvelmar: %.3f s\nratio velmar / wc -w: %.2f (target <= 1.5)\n", f, w, v, v / w
    printf "velmar on 16 MB of turns: %.3f s\nvelmar on a 16 MB comment: %.3f s\nratio comment / turns: %.2f (target <= 1.0)\n", o, c, c / o
}'
