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

// A warning at the identification of a turn.
diagnostic warning_at(code kind, std::string_view whole, std::size_t offset, long long velmar_line, bool strict,
                      std::string message, std::string hint)
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
    d.hints.push_back(std::move(hint));
    return d;
}

std::string three_digits(int n)
{
    std::string s = std::to_string(n);
    return std::string(3 - std::min<std::size_t>(3, s.size()), '0') + s;
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

} // namespace

void check_consistency(std::string_view text, const check_options& options, file_report& report)
{
    // A turn takes part when no error of the grammar lies in its
    // identification (up to the blank after its ':').  A missing empty line
    // stands at its first byte, but is an error of the turn before.
    std::vector<std::size_t> error_offsets;
    for (const diagnostic& d : report.diagnostics)
        if (d.kind != code::velmar_stack && d.kind != code::missing_empty_line)
            error_offsets.push_back(d.offset);
    auto next_error = error_offsets.begin();

    const std::string_view named = base_name(options.file_name);
    const bool file_named_for_dialog = turn_id::is_dialog_name(named);

    // The turns that take part, small: a file may hold a million.
    struct turn {
        std::size_t offset;
        long long velmar_line;
        int number;
        std::uint64_t dialog;
    };
    std::vector<turn> turns;
    turns.reserve(report.turn_starts.size());
    auto whole = [&](const turn& t) { return text.substr(t.offset, turn_id::size); };
    auto dialog_of = [&](const turn& t) { return text.substr(t.offset, turn_id::dialog_part.size); };

    // Per dialog: its last turn (an index into turns).
    struct dialog_state {
        std::uint64_t dialog;
        std::uint32_t last;
    };
    std::vector<dialog_state> dialogs;
    hash_table::index<> dialog_index;
    std::size_t current = 0; // the dialog of the last turn, an index into dialogs
    bool several_warned = false;
    bool name_warned = false;
    // For each turn, the turn of its dialog before it (or none), for the
    // order of the turns, which is looked at when all are known.
    constexpr std::uint32_t no_turn = ~std::uint32_t{0};
    std::vector<std::uint32_t> before_in_dialog;
    before_in_dialog.reserve(report.turn_starts.size());
    // The first turn of each identification (and whether its repetition
    // has been warned about), once two turns of a dialog are out of order:
    // only then can an identification come twice.
    hash_table::index<> first_of;
    std::vector<bool> repeat_warned;
    bool watching_repeats = false;
    // The turn whose identification `index` repeats, or no_turn.
    auto first_use = [&](std::uint32_t index) {
        const std::string_view w = whole(turns[index]);
        const auto first = first_of.find_or_add(
            hash_of(w), [&](std::uint32_t other) { return whole(turns[other]) == w; }, [&] { return index; });
        return first.added ? no_turn : first.entry;
    };

    std::vector<diagnostic> found;
    struct pending_place {
        std::size_t diagnostic;
        std::size_t turn; // the turn it names
    };
    std::vector<pending_place> related;
    auto warn = [&](code kind, const turn& t, std::string message, std::string hint) {
        found.push_back(
            warning_at(kind, whole(t), t.offset, t.velmar_line, options.strict, std::move(message), std::move(hint)));
    };

    for (const turn_start& start : report.turn_starts) {
        while (next_error != error_offsets.end() && *next_error < start.offset)
            ++next_error;
        if (next_error != error_offsets.end() && *next_error <= start.offset + turn_id::size + 1)
            continue;
        const std::optional<turn_id> id = turn_id::read(text.substr(start.offset));
        if (!id)
            continue;
        const auto index = static_cast<std::uint32_t>(turns.size());
        turns.push_back({start.offset, start.velmar_line, id->number_value(), packed(id->dialog())});
        const turn& t = turns.back();

        bool is_new = false;
        if (dialogs.empty() || t.dialog != dialogs[current].dialog) {
            const auto known = dialog_index.find_or_add(
                hash_table::mix(t.dialog), [&](std::uint32_t d) { return dialogs[d].dialog == t.dialog; },
                [&] {
                    dialogs.push_back({t.dialog, index});
                    return static_cast<std::uint32_t>(dialogs.size() - 1);
                });
            is_new = known.added;
            current = known.entry;
        }
        dialog_state& state = dialogs[current];
        before_in_dialog.push_back(is_new ? no_turn : state.last);
        if (is_new) {
            if (index > 0 && !several_warned) {
                several_warned = true;
                related.push_back({found.size(), 0});
                warn(code::several_dialogs, t,
                     "turn of dialog " + std::string(id->dialog()) + " in a file of dialog " +
                         std::string(dialog_of(turns.front())),
                     "a file holds the turns of one dialog");
            }
            if (file_named_for_dialog && !name_warned && id->dialog() != named) {
                name_warned = true;
                warn(code::file_name, t,
                     "the file is named for dialog " + std::string(named) + ", this turn is of dialog " +
                         std::string(id->dialog()),
                     "name the file after the dialog of its turns, or correct the dialog name");
            }
        } else {
            const turn& before = turns[state.last];
            if (t.number <= before.number && !watching_repeats) {
                watching_repeats = true;
                first_of.reserve(report.turn_starts.size());
                repeat_warned.assign(report.turn_starts.size(), false);
                for (std::uint32_t u = 0; u < index; ++u)
                    first_use(u);
            }
            state.last = index;
        }
        if (watching_repeats) {
            // Once for each identification used again.
            const std::uint32_t first = first_use(index);
            if (first != no_turn && !repeat_warned[first]) {
                repeat_warned[first] = true;
                related.push_back({found.size(), first});
                warn(code::repeated_turn, t, std::string(id->text()) + " is also the identification of an earlier turn",
                     "each turn of a dialog has a turn number of its own");
            }
        }
    }

    // The order of the turns: where a turn's number is not greater than that
    // of the turn of its dialog before it, the order breaks.  The first break
    // is warned about, the others counted.  The warning stands at the turn
    // after the break, unless the turn before it alone stands out of an
    // order that holds without it (004 typed as 040 in 003 040 005 006):
    // then at that one.
    std::vector<std::uint32_t> after_in_dialog(turns.size(), no_turn);
    for (std::uint32_t i = 0; i < turns.size(); ++i)
        if (before_in_dialog[i] != no_turn)
            after_in_dialog[before_in_dialog[i]] = i;
    long breaks = 0;
    std::size_t order_warning = 0;
    for (std::uint32_t i = 0; i < turns.size(); ++i) {
        const std::uint32_t b = before_in_dialog[i];
        if (b == no_turn || turns[i].number > turns[b].number)
            continue;
        if (breaks++ > 0)
            continue;
        // Whether `middle` fits between the turns `low` and `high` (either
        // may be none).
        auto fits = [&](std::uint32_t low, std::uint32_t middle, std::uint32_t high) {
            return (low == no_turn || turns[low].number < turns[middle].number) &&
                   (high == no_turn || turns[middle].number < turns[high].number);
        };
        const std::uint32_t first = before_in_dialog[b];
        const std::uint32_t last = after_in_dialog[i];
        // The turn before the break stands out when the turns around it fit
        // together without it.  When they would without this turn too, it
        // stands out all the same if a turn comes before it to go by: this
        // turn, the smaller, keeps closer to that one.
        const bool stands_out = fits(first, i, last) && (first != no_turn || !fits(first, b, last));
        const std::string dialog(dialog_of(turns[i]));
        order_warning = found.size();
        if (stands_out) {
            related.push_back({found.size(), i});
            warn(code::turn_order, turns[b],
                 "turn " + three_digits(turns[b].number) + " of dialog " + dialog + " is out of order: " +
                     (first == no_turn ? "turn " + three_digits(turns[i].number) + " follows it"
                                       : "it stands between turns " + three_digits(turns[first].number) + " and " +
                                             three_digits(turns[i].number)),
                 "the turns around it are in order without it: is its number mistyped?");
        } else {
            related.push_back({found.size(), b});
            warn(code::turn_order, turns[i],
                 "turn " + three_digits(turns[i].number) + " of dialog " + dialog + " comes after turn " +
                     three_digits(turns[b].number),
                 "turn numbers increase from turn to turn within a dialog");
        }
    }

    // Positions: of the turns warned about and named, or of all of them.
    std::vector<std::size_t> wanted; // indices into turns, ascending
    if (options.keep_identifications) {
        wanted.resize(turns.size());
        for (std::size_t i = 0; i < turns.size(); ++i)
            wanted[i] = i;
    } else if (!found.empty()) {
        for (const pending_place& r : related)
            wanted.push_back(r.turn);
        for (const diagnostic& d : found)
            wanted.push_back(static_cast<std::size_t>(
                std::lower_bound(turns.begin(), turns.end(), d.offset,
                                 [](const turn& u, std::size_t offset) { return u.offset < offset; }) -
                turns.begin()));
        std::sort(wanted.begin(), wanted.end());
        wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    }
    std::vector<std::pair<long, long>> where(wanted.size());
    line_counter lines{text};
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const line_counter::position at = lines.at(turns[wanted[i]].offset);
        where[i] = {at.line, at.column};
    }
    auto position = [&](std::size_t turn_index) {
        return where[static_cast<std::size_t>(std::lower_bound(wanted.begin(), wanted.end(), turn_index) -
                                              wanted.begin())];
    };
    for (diagnostic& d : found) {
        const std::size_t index = static_cast<std::size_t>(
            std::lower_bound(turns.begin(), turns.end(), d.offset,
                             [](const turn& u, std::size_t offset) { return u.offset < offset; }) -
            turns.begin());
        std::tie(d.line, d.column) = position(index);
        d.line_start = d.offset - static_cast<std::size_t>(d.column - 1);
        d.end_line = d.line;
        d.end_column = d.column + static_cast<long>(d.length);
    }
    for (const pending_place& r : related) {
        diagnostic& d = found[r.diagnostic];
        std::tie(d.related.line, d.related.column) = position(r.turn);
        d.message += " (line " + std::to_string(d.related.line) + ")";
    }
    if (breaks > 1)
        found[order_warning].message +=
            "; " + std::to_string(breaks - 1) +
            (breaks == 2 ? " more turn of the file comes" : " more turns of the file come") +
            " after a turn of their dialog with a number as high or higher";
    if (options.keep_identifications) {
        report.identifications.reserve(turns.size());
        for (std::size_t i = 0; i < turns.size(); ++i) {
            turn_identification ti;
            ti.id = turn_id::read(text.substr(turns[i].offset)).value();
            ti.offset = turns[i].offset;
            std::tie(ti.line, ti.column) = where[i];
            ti.velmar_line = turns[i].velmar_line;
            report.identifications.push_back(ti);
        }
    }
    // Found in the order of the turns; several at one turn by code.
    std::stable_sort(found.begin(), found.end(), [](const diagnostic& a, const diagnostic& b) {
        return a.offset < b.offset || (a.offset == b.offset && a.kind < b.kind);
    });
    for (diagnostic& d : found) {
        ++(d.warning ? report.warnings : report.errors);
        report.diagnostics.push_back(std::move(d));
    }
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
                       "each turn of a dialog has a turn number of its own");
        d.line = t.line;
        d.column = t.column;
        d.line_start = t.offset - static_cast<std::size_t>(t.column - 1);
        d.end_line = t.line;
        d.end_column = t.column + static_cast<long>(key.size());
        d.related = place{files_[first.file], first.line, first.column};
        out.push_back(std::move(d));
    }
    return out;
}

} // namespace trl
