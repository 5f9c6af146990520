#include "language/consistency.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <unordered_set>

#include "language/catalogue.h"
#include "language/lines.h"
#include "common/hash_table.h"
#include "common/text.h"

namespace trl {

namespace {

// A dialog name as a number, for quick comparison and hashing.
std::uint64_t packed(std::string_view dialog)
{
    std::uint64_t v = 0;
    std::memcpy(&v, dialog.data(), std::min(dialog.size(), sizeof v));
    return v;
}

// The hash of an identification's 23 bytes.
std::uint32_t hash_of(std::string_view whole)
{
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    std::uint64_t c = 0;
    std::memcpy(&a, whole.data(), 8);
    std::memcpy(&b, whole.data() + 8, 8);
    std::memcpy(&c, whole.data() + whole.size() - 8, 8);
    return hash_table::mix(a ^ (b * 0x9E3779B97F4A7C15ull) ^ (c * 0xC2B2AE3D27D4EB4Full));
}

// The words a repeated identification is warned about with.
constexpr std::string_view repeated_hint = "each turn of a dialog has a turn number of its own";

// A warning at the identification of a turn.
diagnostic warning_at(code kind, std::string_view whole, std::size_t offset, long long velmar_line, bool strict,
                      std::string message, std::string_view hint)
{
    diagnostic d;
    d.kind = kind;
    d.warning = !strict;
    d.offset = d.span_begin = offset;
    d.length = whole.size();
    d.span_end = offset + d.length;
    d.velmar_line = velmar_line;
    d.found = text::escape_bytes(whole);
    d.message = std::string(info(kind).title) + ": " + std::move(message);
    d.context = "turn identification";
    d.hints.emplace_back(hint);
    return d;
}

// Puts a warning at the identification in line `line`, column `column`.
void place_at(diagnostic& d, long line, long column)
{
    d.line = line;
    d.column = column;
    d.line_start = d.offset - static_cast<std::size_t>(column - 1);
    d.end_line = line;
    d.end_column = column + static_cast<long>(d.length);
}

// The name of a file without its folders and its suffix.
std::string_view base_name(std::string_view path)
{
    if (const std::size_t slash = path.rfind('/'); slash != std::string_view::npos)
        path.remove_prefix(slash + 1);
    if (const std::size_t dot = path.rfind('.'); dot != std::string_view::npos && dot > 0)
        path = path.substr(0, dot);
    return path;
}

constexpr std::uint32_t no_turn = ~std::uint32_t{0};

// A turn that takes part, small: a file may hold a million.
struct turn {
    std::uint32_t start; // in the report's turn_starts: where its identification is, and its velmar line
    int number;
    std::uint64_t dialog; // packed
};

// A warning found, at a turn and naming another, before the lines of the
// turns are known.
struct warning {
    diagnostic d;
    std::uint32_t named;    // the turn its message names ("(line 12)"); no_turn: none
    std::string after_line; // said after that
};

// What the checks of a text share: its turns that take part, in order, and
// the warnings found.
struct consistency_run {
    std::string_view text;
    const std::vector<turn_start>& starts;
    bool strict;
    std::vector<turn> turns;
    std::vector<warning> warnings;

    std::size_t offset(std::uint32_t t) const { return starts[turns[t].start].offset; }
    long long velmar_line(std::uint32_t t) const { return starts[turns[t].start].velmar_line; }
    std::string_view whole(std::uint32_t t) const { return text.substr(offset(t), turn_id::size); }
    std::string_view dialog(std::uint32_t t) const
    {
        return text.substr(offset(t) + turn_id::dialog_part.at, turn_id::dialog_part.size);
    }
    std::string_view number(std::uint32_t t) const
    {
        return text.substr(offset(t) + turn_id::number_part.at, turn_id::number_part.size);
    }
    // The turn whose identification is at `at`.
    std::uint32_t turn_at(std::size_t at) const
    {
        return static_cast<std::uint32_t>(
            std::lower_bound(turns.begin(), turns.end(), at,
                             [&](const turn& u, std::size_t a) { return starts[u.start].offset < a; }) -
            turns.begin());
    }

    // A warning at turn `at`.  Its message ends with the line of turn
    // `named`, if any.
    warning& warn(code kind, std::uint32_t at, std::string message, std::string_view hint, std::uint32_t named)
    {
        warnings.push_back(
            {warning_at(kind, whole(at), offset(at), velmar_line(at), strict, std::move(message), hint), named, {}});
        return warnings.back();
    }
};

// The turns of a checked text that take part: those whose identification
// was read without an error of the grammar in it (up to the blank after
// its ':').  A missing empty line stands at a turn's first byte, but is an
// error of the turn before.
std::vector<turn> turns_taking_part(std::string_view text, const file_report& report)
{
    std::vector<std::size_t> error_offsets;
    for (const diagnostic& d : report.diagnostics)
        if (d.kind != code::velmar_stack && d.kind != code::missing_empty_line)
            error_offsets.push_back(d.offset);
    auto next_error = error_offsets.begin();
    std::vector<turn> turns;
    turns.reserve(report.turn_starts.size());
    for (std::size_t i = 0; i < report.turn_starts.size(); ++i) {
        const turn_start& start = report.turn_starts[i];
        while (next_error != error_offsets.end() && *next_error < start.offset)
            ++next_error;
        if (next_error != error_offsets.end() && *next_error <= start.offset + turn_id::size + 1)
            continue;
        if (const std::optional<turn_id> id = turn_id::read(text.substr(start.offset)))
            turns.push_back({static_cast<std::uint32_t>(i), id->number_value(), packed(id->dialog())});
    }
    return turns;
}

// For each turn, the turn of its dialog before it (no_turn: it is the
// first of its dialog).  The dialogs are looked up only where the dialog
// changes from turn to turn.
std::vector<std::uint32_t> turns_before_in_dialog(const std::vector<turn>& turns)
{
    std::vector<std::uint32_t> last_of_dialog; // each dialog's last turn so far
    hash_table::index<> dialogs;               // of last_of_dialog, by the dialog's name
    std::vector<std::uint32_t> before(turns.size(), no_turn);
    std::uint32_t current = 0; // the dialog of the turn before, in last_of_dialog
    for (std::uint32_t i = 0; i < turns.size(); ++i) {
        const std::uint64_t dialog = turns[i].dialog;
        if (i == 0 || dialog != turns[i - 1].dialog) {
            const auto found = dialogs.find_or_add(
                hash_table::mix(dialog), [&](std::uint32_t d) { return turns[last_of_dialog[d]].dialog == dialog; },
                [&] {
                    last_of_dialog.push_back(no_turn);
                    return static_cast<std::uint32_t>(last_of_dialog.size() - 1);
                });
            current = found.entry;
        }
        before[i] = last_of_dialog[current];
        last_of_dialog[current] = i;
    }
    return before;
}

// W002: a turn whose identification an earlier turn of the file has,
// warned about once for each identification, at its second use, naming
// the first.  Only where the numbers of a dialog's turns do not increase
// can an identification come twice: the identifications are compared when
// they do not.
void check_repeated_turns(consistency_run& run, const std::vector<std::uint32_t>& before_in_dialog)
{
    const std::vector<turn>& turns = run.turns;
    bool order_breaks = false;
    for (std::uint32_t i = 0; i < turns.size() && !order_breaks; ++i)
        order_breaks = before_in_dialog[i] != no_turn && turns[i].number <= turns[before_in_dialog[i]].number;
    if (!order_breaks)
        return;
    hash_table::index<> first_use; // the first turn of each identification
    first_use.reserve(turns.size());
    std::vector<bool> warned(turns.size(), false);
    for (std::uint32_t i = 0; i < turns.size(); ++i) {
        const std::string_view whole = run.whole(i);
        const auto first = first_use.find_or_add(
            hash_of(whole), [&](std::uint32_t other) { return run.whole(other) == whole; }, [&] { return i; });
        if (first.added || warned[first.entry])
            continue;
        warned[first.entry] = true;
        run.warn(code::repeated_turn, i, std::string(whole) + " is also the identification of an earlier turn",
                 repeated_hint, first.entry);
    }
}

// W003: the order of the turns.  Where a turn's number is not greater than
// that of the turn of its dialog before it, the order breaks.  The first
// break is warned about, the others counted.  The warning stands at the
// turn after the break, unless the turn before it alone stands out of an
// order that holds without it (004 typed as 040 in 003 040 005 006): then
// at that one.
void check_turn_order(consistency_run& run, const std::vector<std::uint32_t>& before_in_dialog)
{
    const std::vector<turn>& turns = run.turns;
    std::vector<std::uint32_t> after_in_dialog(turns.size(), no_turn);
    for (std::uint32_t i = 0; i < turns.size(); ++i)
        if (before_in_dialog[i] != no_turn)
            after_in_dialog[before_in_dialog[i]] = i;
    // Whether `middle` fits between the turns `low` and `high` (either may
    // be none).
    auto fits = [&](std::uint32_t low, std::uint32_t middle, std::uint32_t high) {
        return (low == no_turn || turns[low].number < turns[middle].number) &&
               (high == no_turn || turns[middle].number < turns[high].number);
    };
    long breaks = 0;
    warning* first_break = nullptr;
    for (std::uint32_t i = 0; i < turns.size(); ++i) {
        const std::uint32_t b = before_in_dialog[i];
        if (b == no_turn || turns[i].number > turns[b].number)
            continue;
        if (breaks++ > 0)
            continue;
        const std::uint32_t first = before_in_dialog[b];
        const std::uint32_t last = after_in_dialog[i];
        // The turn before the break stands out when the turns around it fit
        // together without it.  When they would without this turn too, it
        // stands out all the same if a turn comes before it to go by: this
        // turn, the smaller, keeps closer to that one.
        const bool stands_out = fits(first, i, last) && (first != no_turn || !fits(first, b, last));
        const std::string dialog(run.dialog(i));
        if (stands_out)
            first_break =
                &run.warn(code::turn_order, b,
                          "turn " + std::string(run.number(b)) + " of dialog " + dialog + " is out of order: " +
                              (first == no_turn ? "turn " + std::string(run.number(i)) + " follows it"
                                                : "it stands between turns " + std::string(run.number(first)) +
                                                      " and " + std::string(run.number(i))),
                          "the turns around it are in order without it: is its number mistyped?", i);
        else
            first_break = &run.warn(code::turn_order, i,
                                    "turn " + std::string(run.number(i)) + " of dialog " + dialog +
                                        " comes after turn " + std::string(run.number(b)),
                                    "turn numbers increase from turn to turn within a dialog", b);
    }
    if (breaks > 1)
        first_break->after_line = "; " + std::to_string(breaks - 1) +
                                  (breaks == 2 ? " more turn of the file comes" : " more turns of the file come") +
                                  " after a turn of their dialog with a number as high or higher";
}

// W004: a turn of another dialog than the file's first turn, the first
// such; W005: a turn of another dialog than the one the file is named for
// (when its name is a dialog's), the first such.
void check_dialogs(consistency_run& run, std::string_view file_name)
{
    for (std::uint32_t i = 1; i < run.turns.size(); ++i) {
        if (run.turns[i].dialog != run.turns[0].dialog) {
            run.warn(code::several_dialogs, i,
                     "turn of dialog " + std::string(run.dialog(i)) + " in a file of dialog " +
                         std::string(run.dialog(0)),
                     "a file holds the turns of one dialog", 0);
            break;
        }
    }
    const std::string_view named = base_name(file_name);
    if (!turn_id::is_dialog_name(named))
        return;
    for (std::uint32_t i = 0; i < run.turns.size(); ++i) {
        if (run.dialog(i) != named) {
            run.warn(code::file_name, i,
                     "the file is named for dialog " + std::string(named) + ", this turn is of dialog " +
                         std::string(run.dialog(i)),
                     "name the file after the dialog of its turns, or correct the dialog name", no_turn);
            break;
        }
    }
}

// The lines and columns of some of the turns, counted in one pass.
class turn_places {
public:
    // Of the turns `wanted`, ascending.
    turn_places(const consistency_run& run, std::vector<std::uint32_t> wanted) : wanted_(std::move(wanted))
    {
        line_counter lines{run.text};
        places_.reserve(wanted_.size());
        for (const std::uint32_t t : wanted_) {
            const line_counter::position at = lines.at(run.offset(t));
            places_.emplace_back(at.line, at.column);
        }
    }
    // The line and column of a wanted turn.
    std::pair<long, long> of(std::uint32_t t) const
    {
        return places_[static_cast<std::size_t>(std::lower_bound(wanted_.begin(), wanted_.end(), t) - wanted_.begin())];
    }

private:
    std::vector<std::uint32_t> wanted_;
    std::vector<std::pair<long, long>> places_;
};

// The warnings into the report, each with its place and the line of the
// turn it names, in the order of the turns (several at one turn by code);
// and, when the options ask for them, every turn's identification.
void hand_over(consistency_run& run, const check_options& options, file_report& report)
{
    // Places: of the turns warned about and named, or of all of them.
    std::vector<std::uint32_t> wanted;
    if (options.keep_identifications) {
        wanted.resize(run.turns.size());
        for (std::uint32_t i = 0; i < run.turns.size(); ++i)
            wanted[i] = i;
    } else {
        for (const warning& w : run.warnings) {
            wanted.push_back(run.turn_at(w.d.offset));
            if (w.named != no_turn)
                wanted.push_back(w.named);
        }
        std::sort(wanted.begin(), wanted.end());
        wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    }
    const turn_places places(run, std::move(wanted));
    for (warning& w : run.warnings) {
        const auto [line, column] = places.of(run.turn_at(w.d.offset));
        place_at(w.d, line, column);
        if (w.named != no_turn) {
            std::tie(w.d.related.line, w.d.related.column) = places.of(w.named);
            w.d.message += " (line " + std::to_string(w.d.related.line) + ")";
        }
        w.d.message += w.after_line;
    }
    if (options.keep_identifications) {
        report.identifications.reserve(run.turns.size());
        for (std::uint32_t i = 0; i < run.turns.size(); ++i) {
            turn_identification ti;
            ti.offset = run.offset(i);
            ti.id = turn_id::read(run.text.substr(ti.offset)).value();
            std::tie(ti.line, ti.column) = places.of(i);
            ti.velmar_line = run.velmar_line(i);
            report.identifications.push_back(ti);
        }
    }
    std::stable_sort(run.warnings.begin(), run.warnings.end(), [](const warning& a, const warning& b) {
        return a.d.offset < b.d.offset || (a.d.offset == b.d.offset && a.d.kind < b.d.kind);
    });
    for (warning& w : run.warnings) {
        ++(w.d.warning ? report.warnings : report.errors);
        report.diagnostics.push_back(std::move(w.d));
    }
}

} // namespace

void check_consistency(std::string_view text, const check_options& options, file_report& report)
{
    consistency_run run{text, report.turn_starts, options.strict, turns_taking_part(text, report), {}};
    const std::vector<std::uint32_t> before_in_dialog = turns_before_in_dialog(run.turns);
    check_repeated_turns(run, before_in_dialog);
    check_turn_order(run, before_in_dialog);
    check_dialogs(run, options.file_name);
    hand_over(run, options, report);
}

std::vector<diagnostic> corpus_identifications::add(std::string_view path,
                                                    const std::vector<turn_identification>& turns, bool strict)
{
    std::vector<diagnostic> out;
    const std::size_t file = files_.size();
    files_.emplace_back(path);
    // The first use of each identification in this file is the one an
    // earlier file may have; a later one has its W002 from the file itself.
    std::unordered_set<std::string_view> in_this_file;
    for (const turn_identification& t : turns) {
        const std::string_view key = t.id.text();
        if (!in_this_file.insert(key).second)
            continue;
        const auto [it, is_new] = first_.try_emplace(t.id, first_use{file, t.line, t.column});
        if (is_new || it->second.file == file)
            continue;
        const first_use& first = it->second;
        diagnostic d =
            warning_at(code::repeated_turn, key, t.offset, t.velmar_line, strict,
                       std::string(key) + " is also the identification of a turn in " +
                           text::printable(files_[first.file]) + " (line " + std::to_string(first.line) + ")",
                       repeated_hint);
        place_at(d, t.line, t.column);
        d.related = place{files_[first.file], first.line, first.column};
        out.push_back(std::move(d));
    }
    return out;
}

} // namespace trl
