#include "language/fix.h"

#include <algorithm>
#include <iterator>

#include "language/grammar.h"
#include "language/text_scanner.h"
#include "common/text.h"
#include "language/umlauts.h"

namespace trl {

namespace {

// What a rule looks at: the text, and whether it is read as UTF-8.
struct context {
    std::string_view text;
    bool utf8;
};

struct made {
    std::string title;
    std::vector<edit> edits;
};
using maker = std::optional<made> (*)(const context&, const diagnostic&);

std::optional<made> end_of_text(const context& c, const diagnostic& d)
{
    // The text ends where its last turn could end: its empty line is missing.
    if (d.offset != c.text.size() || std::find(d.expected_terminals.begin(), d.expected_terminals.end(),
                                               grammar::end_terminal) == d.expected_terminals.end())
        return std::nullopt;
    return made{"end the text with a line end and the empty line that ends its last turn",
                {{c.text.size(), 0, c.text.ends_with('\n') ? "\n" : "\n\n"}}};
}

std::optional<made> byte_order_mark(const context& c, const diagnostic& d)
{
    if (d.offset != 0 || !c.text.starts_with(utf8_byte_order_mark))
        return std::nullopt;
    return made{"remove the byte order mark", {{0, utf8_byte_order_mark.size(), ""}}};
}

std::optional<made> umlaut_letter(const context& c, const diagnostic& d)
{
    const std::string_view at = c.text.substr(d.offset);
    const umlaut* u = nullptr;
    std::size_t length = 1;
    if (c.utf8) {
        u = utf8_umlaut_at(at);
        length = u ? u->utf8.size() : 0;
    } else if (!at.empty()) {
        u = umlaut_of(static_cast<unsigned char>(at[0]));
    }
    if (!u)
        return std::nullopt;
    return made{"write " + std::string(u->written) + " for " + std::string(u->utf8),
                {{d.offset, length, std::string(u->written)}}};
}

std::optional<made> carriage_return(const context& c, const diagnostic& d)
{
    if (!c.text.substr(d.offset).starts_with("\r\n"))
        return std::nullopt;
    return made{"end the line with LF alone", {{d.offset, 1, ""}}};
}

std::optional<made> tab(const context& c, const diagnostic& d)
{
    if (!c.text.substr(d.offset).starts_with('\t'))
        return std::nullopt;
    return made{"write a blank for the tab", {{d.offset, 1, " "}}};
}

std::optional<made> blank_before_punctuation(const context& c, const diagnostic& d)
{
    const std::string_view at = c.text.substr(d.offset, d.length);
    if (at != "." && at != "?" && at != ",")
        return std::nullopt;
    return made{"put a blank before '" + std::string(at) + "'", {{d.offset, 0, " "}}};
}

std::optional<made> empty_line(const context&, const diagnostic& d)
{
    // The code is given at the start of a line only.
    return made{"put in the empty line that ends the turn before", {{d.offset, 0, "\n"}}};
}

std::optional<made> second_blank(const context& c, const diagnostic& d)
{
    if (d.offset == 0 || !c.text.substr(d.offset - 1).starts_with("  "))
        return std::nullopt;
    return made{"remove the second blank", {{d.offset, 1, ""}}};
}

std::optional<made> meant_tag(const context&, const diagnostic& d)
{
    if (d.suggestion.empty())
        return std::nullopt;
    return made{"write " + d.suggestion, {{d.span_begin, d.span_end - d.span_begin, d.suggestion}}};
}

struct rule {
    code kind;
    fix_tier tier;
    maker make;
};

// The fixes, by the code of what they mend.  code_of() stops the build at
// an id the catalogue does not have.
constexpr rule rules[] = {
    {code_of("T002"), fix_tier::safe, &end_of_text},    {code_of("T005"), fix_tier::safe, &byte_order_mark},
    {code_of("T005"), fix_tier::safe, &umlaut_letter},  {code_of("T006"), fix_tier::safe, &carriage_return},
    {code_of("T006"), fix_tier::unsafe, &tab},          {code_of("T009"), fix_tier::unsafe, &blank_before_punctuation},
    {code_of("T010"), fix_tier::unsafe, &second_blank}, {code_of("T011"), fix_tier::unsafe, &meant_tag},
    {code_of("T013"), fix_tier::unsafe, &empty_line},
};

constexpr int most_passes = 8;

// The unsafe fixes of a text that keep their turn free of errors inside
// and at the edges of what they change, the turn checked again with each
// (and with those before it in the same turn).  Two fixes next to each
// other (a blank too many before a misspelled tag) would each find the
// other's error at its edge: one that fails alone is tried together with
// the next.
std::vector<fix> verified_unsafe_fixes(std::string_view text, const file_report& report, checker& ck)
{
    const fixer fx(text);
    // The candidates, in order, not overlapping.
    std::vector<fix> candidates;
    for (const diagnostic& d : report.diagnostics) {
        if (d.warning)
            continue;
        std::optional<fix> f = fx.fix_for(d);
        if (!f || f->tier != fix_tier::unsafe || f->edits.empty())
            continue;
        if (!candidates.empty() &&
            f->edits.front().offset < candidates.back().edits.back().offset + candidates.back().edits.back().length)
            continue;
        candidates.push_back(std::move(*f));
    }
    // The turn of a fix: the bytes from its turn's first to the next turn's.
    // An edit at the start of a turn (the empty line that ends the turn
    // before) takes the turn before along.
    auto turn_of = [&](const fix& f) {
        auto after = [&](std::size_t offset) {
            return std::upper_bound(report.turn_starts.begin(), report.turn_starts.end(), offset,
                                    [](std::size_t at, const turn_start& t) { return at < t.offset; });
        };
        const std::size_t first = f.edits.front().offset;
        const auto in = after(first > 0 ? first - 1 : 0);
        const auto next = after(first);
        const std::size_t begin = in == report.turn_starts.begin() ? 0 : std::prev(in)->offset;
        const std::size_t end = next == report.turn_starts.end() ? text.size() : next->offset;
        return std::pair{begin, end};
    };
    check_options alone;
    alone.max_errors = 0;
    alone.lean = true;
    std::vector<fix> accepted;
    std::pair<std::size_t, std::size_t> turn_at{0, 0};
    std::string turn; // the turn with the fixes accepted so far
    long shift = 0;   // what they moved its bytes
    // Whether the fixes [first, last] keep the turn clean where they change
    // it; if so the turn takes them.
    auto try_fixes = [&](std::size_t first, std::size_t last) {
        std::vector<edit> in_turn;
        for (std::size_t i = first; i <= last; ++i)
            for (edit e : candidates[i].edits) {
                e.offset = static_cast<std::size_t>(static_cast<long>(e.offset - turn_at.first) + shift);
                in_turn.push_back(std::move(e));
            }
        const std::string tried = apply_edits(turn, in_turn);
        const file_report again = ck.check(tried, alone);
        long moved = 0;
        for (const edit& e : in_turn) {
            const std::size_t from = static_cast<std::size_t>(static_cast<long>(e.offset) + moved);
            for (const diagnostic& a : again.diagnostics)
                if (!a.warning && a.span_begin <= from + e.replacement.size() && a.span_end >= from)
                    return false;
            moved += static_cast<long>(e.replacement.size()) - static_cast<long>(e.length);
        }
        turn = tried;
        shift += moved;
        for (std::size_t i = first; i <= last; ++i)
            accepted.push_back(candidates[i]);
        return true;
    };
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const auto where = turn_of(candidates[i]);
        if (candidates[i].edits.back().offset + candidates[i].edits.back().length > where.second)
            continue;
        if (where != turn_at || turn.empty()) {
            turn_at = where;
            turn = std::string(text.substr(where.first, where.second - where.first));
            shift = 0;
        }
        if (try_fixes(i, i))
            continue;
        const bool next_beside =
            i + 1 < candidates.size() && turn_of(candidates[i + 1]) == where &&
            candidates[i + 1].edits.back().offset + candidates[i + 1].edits.back().length <= where.second &&
            candidates[i + 1].edits.front().offset <=
                candidates[i].edits.back().offset + candidates[i].edits.back().length + 1;
        if (next_beside && try_fixes(i, i + 1))
            ++i;
    }
    return accepted;
}

} // namespace

fixer::fixer(std::string_view text) : text_(text), utf8_(text::is_utf8(text)) {}

std::optional<fix> fixer::fix_for(const diagnostic& d) const
{
    const context c{text_, utf8_};
    for (const rule& r : rules) {
        if (r.kind != d.kind)
            continue;
        if (std::optional<made> m = r.make(c, d))
            return fix{r.kind, r.tier, std::move(m->title), std::move(m->edits)};
    }
    return std::nullopt;
}

std::vector<fix> fixer::safe_fixes(const file_report& report) const
{
    std::vector<fix> out;
    // The byte at `at` as an error of its own, and its safe fix.
    auto mend_byte = [&](std::size_t at) {
        const auto b = static_cast<unsigned char>(text_[at]);
        diagnostic d;
        d.kind = b == '\r' ? code::control_character : code::non_ascii_byte;
        d.offset = d.span_begin = at;
        d.length = 1;
        d.span_end = at + 1;
        if (std::optional<fix> f = fix_for(d); f && f->tier == fix_tier::safe)
            out.push_back(std::move(*f));
    };
    // A byte order mark, and every byte after it that the scanner gives
    // as a token of its own that no rule of the grammar takes: a carriage
    // return, a byte 0x80-0xFF.  (Bytes in comments are no tokens, and
    // stay as they are.)
    const std::size_t start = after_byte_order_mark(text_);
    if (start > 0)
        mend_byte(0);
    trl_text_scanner s;
    trl_text_scanner_start(s, text_.data(), text_.size());
    s.pos += start;
    for (int token; (token = trl_text_scan(s)) != 0;) {
        const auto at = static_cast<std::size_t>(s.token - text_.data());
        const auto b = static_cast<unsigned char>(*s.token);
        const std::size_t covered = out.empty() ? 0 : out.back().edits.back().offset + out.back().edits.back().length;
        if (s.length != 1 || at < covered || (b != '\r' && b < 0x80))
            continue;
        mend_byte(at);
    }
    // Windows line ends are mended in the whole text, so that the fixed
    // text has one kind of line end: once a line outside a comment ends
    // with CR LF, every CR before a LF goes, in comments too.  (A lone CR
    // is no line end, and a text whose only CR LF are in comments has no
    // error to mend.)
    auto is_line_end = [](const fix& f) { return f.kind == code::control_character; };
    if (std::any_of(out.begin(), out.end(), is_line_end)) {
        std::vector<fix> others;
        std::copy_if(std::make_move_iterator(out.begin()), std::make_move_iterator(out.end()),
                     std::back_inserter(others), [&](const fix& f) { return !is_line_end(f); });
        out.clear();
        auto other = others.begin();
        for (std::size_t cr = text_.find("\r\n"); cr != std::string_view::npos; cr = text_.find("\r\n", cr + 2)) {
            for (; other != others.end() && other->edits.front().offset < cr; ++other)
                out.push_back(std::move(*other));
            mend_byte(cr);
        }
        std::move(other, others.end(), std::back_inserter(out));
    }
    for (const diagnostic& d : report.diagnostics)
        if (d.kind == code::end_inside_turn)
            if (std::optional<fix> f = fix_for(d); f && f->tier == fix_tier::safe)
                out.push_back(std::move(*f));
    return out;
}

void mark_fixable(std::string_view text, std::vector<diagnostic>& diagnostics)
{
    if (std::none_of(diagnostics.begin(), diagnostics.end(), [](const diagnostic& d) { return !d.warning; }))
        return;
    const fixer fx(text);
    for (diagnostic& d : diagnostics)
        if (!d.warning)
            if (const std::optional<fix> f = fx.fix_for(d))
                d.fixable = f->tier;
}

std::string apply_edits(std::string_view text, const std::vector<edit>& edits)
{
    std::string out;
    out.reserve(text.size() + 16);
    std::size_t at = 0;
    for (const edit& e : edits) {
        out.append(text.substr(at, e.offset - at));
        out += e.replacement;
        at = e.offset + e.length;
    }
    out.append(text.substr(at));
    return out;
}

fix_outcome fix_text(std::string_view text, bool unsafe, checker& ck, const check_options& options)
{
    fix_outcome out;
    check_options every = options; // for fixing: every error, no words
    every.max_errors = 0;
    every.lean = true;
    std::string current(text);
    file_report report = ck.check(current, options);
    bool as_asked = true; // report is the check with `options`
    for (int pass = 0;; ++pass) {
        if (report.errors == 0)
            break;
        // The bytes the safe fixes mend are found by the scanner alone: a
        // report cut short by --max-errors needs checking for every error
        // only when they are all mended (the end of the text, the unsafe
        // fixes).  A text with an error on every line stays one cheap pass.
        std::vector<fix> fixes = fixer(current).safe_fixes(report);
        if (fixes.empty() && report.stopped) {
            report = ck.check(current, every);
            as_asked = false;
            fixes = fixer(current).safe_fixes(report);
        }
        if (fixes.empty() && unsafe)
            fixes = verified_unsafe_fixes(current, report, ck);
        if (fixes.empty())
            break;
        if (pass == most_passes) {
            out.settled = false;
            break;
        }
        std::vector<edit> edits;
        for (fix& f : fixes) {
            ++out.applied[static_cast<std::size_t>(f.kind)];
            edits.insert(edits.end(), std::make_move_iterator(f.edits.begin()), std::make_move_iterator(f.edits.end()));
        }
        current = apply_edits(current, edits);
        report = ck.check(current, options);
        as_asked = true;
    }
    out.report = as_asked ? std::move(report) : ck.check(current, options);
    out.text = std::move(current);
    return out;
}

} // namespace trl
