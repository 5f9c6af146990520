#include "corpus/dialog_pages.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>

#include "corpus/charts.h"
#include "corpus/html.h"
#include "corpus/output.h"
#include "language/catalogue.h"
#include "common/version.h"

namespace corpus {

using namespace page;

std::vector<turn_view> turn_views(const survey& s, const recordings& recs, const pairing& p)
{
    std::vector<turn_view> views;
    views.reserve(s.places.size());
    for (std::size_t i = 0; i < s.places.size(); ++i)
        views.push_back({&s.places[i], i < s.texts.size() ? &s.texts[i] : nullptr, nullptr});
    for (const auto& [turn, rec] : p.paired)
        views[turn].rec = &recs.found[rec];
    return views;
}

int length_bin(long words)
{
    int bin = 0;
    for (long n = words; n > 0; n /= 2)
        ++bin;
    return bin; // 0: 0, 1: 1, 2: 2-3, 3: 4-7, ...
}

std::string length_bin_label(int bin)
{
    if (bin <= 1)
        return bin == 0 ? "0 words" : "1 word";
    const long low = 1L << (bin - 1);
    return std::to_string(low) + "\xE2\x80\x93" + std::to_string(2 * low - 1) + " words";
}

std::string turn_charts(const std::vector<const turn_view*>& turns)
{
    struct speaker {
        std::vector<double> durations;
        long words = 0; // of the paired turns
        double seconds = 0;
    };
    std::map<std::string_view, speaker> speakers;
    std::vector<long> lengths; // turns by length_bin
    for (const turn_view* t : turns) {
        speaker& sp = speakers[t->place->id.speaker()];
        if (t->rec) {
            sp.durations.push_back(t->rec->seconds);
            sp.words += t->place->words;
            sp.seconds += t->rec->seconds;
        }
        const auto bin = static_cast<std::size_t>(length_bin(t->place->words));
        if (lengths.size() <= bin)
            lengths.resize(bin + 1);
        ++lengths[bin];
    }
    std::vector<strip> durations;
    std::vector<bar> rates;
    for (const auto& [name, sp] : speakers) {
        if (sp.durations.empty())
            continue;
        durations.push_back({std::string(name), sp.durations});
        const double rate = sp.seconds > 0 ? sp.words / sp.seconds : 0;
        char shown[32];
        std::snprintf(shown, sizeof shown, "%.2f", rate);
        rates.push_back({std::string(name), rate, shown});
    }
    std::vector<bar> length_bars;
    for (std::size_t bin = 0; bin < lengths.size(); ++bin)
        length_bars.push_back(
            {length_bin_label(static_cast<int>(bin)), static_cast<double>(lengths[bin]), number(lengths[bin])});
    return block("charts", strip_chart("Turn durations per speaker (paired turns)", durations, "s") +
                               bar_chart("Speaking rate per speaker (words per second)", rates) +
                               bar_chart("Turns by their length in words", length_bars));
}

std::string pairing_chart(const std::vector<const turn_view*>& turns, const pairing& p)
{
    struct counts {
        double paired = 0;
        double kept_out = 0;
        double without = 0;
    };
    std::map<std::string_view, counts> dialogs;
    std::set<std::string_view> without_recording; // the keys of turns without one
    for (const pair_problem& pr : p.problems)
        if (pr.what == pair_problem::kind::turn_without_recording)
            without_recording.insert(pr.key);
    for (const turn_view* t : turns) {
        counts& c = dialogs[t->place->id.dialog()];
        if (t->rec)
            ++c.paired;
        else if (without_recording.contains(t->place->id.key()))
            ++c.without;
        else
            ++c.kept_out;
    }
    std::vector<stack> rows;
    for (const auto& [name, c] : dialogs) {
        const auto all = static_cast<long>(c.paired + c.kept_out + c.without);
        rows.push_back({std::string(name),
                        {c.paired, c.kept_out, c.without},
                        number(static_cast<long>(c.paired)) + " of " + number(all) + " paired"});
    }
    return stacked_chart("Turns of each dialog by what became of them",
                         {"paired", "kept out by a problem", "without a recording"}, rows);
}

std::string warnings_chart(const std::vector<const corpus_warning*>& warnings)
{
    std::map<std::string, long> codes;
    for (const corpus_warning* w : warnings)
        ++codes[w->code];
    std::vector<bar> bars;
    for (const auto& [code, n] : codes) {
        const trl::code_info* info = trl::find_code(code);
        bars.push_back({code + " " + (info ? info->title : ""), static_cast<double>(n), number(n)});
    }
    return bar_chart("Warnings by code", bars);
}

// The folder of the dialog pages, in the report's.
constexpr std::string_view pages_folder = "dialog/";

std::string dialog_page_path(std::string_view dialog)
{
    return std::string(pages_folder).append(dialog).append(".html");
}

namespace {

// The dialog a pairing problem's key belongs to: its first part.
std::string_view dialog_of_key(std::string_view key)
{
    return key.substr(0, key.find('_'));
}

// Where a turn's recording is written, from the dialog's page.
std::string recording_name(const turn_view& t)
{
    return std::string(t.place->id.dialog()) + "/" + std::string(t.place->id.key()) + ".wav";
}

// What a dialog's page shows besides its turns.
struct dialog_findings {
    std::map<std::string_view, std::vector<std::string>> by_key;                 // pairing problems of a turn's key
    std::map<std::pair<std::uint32_t, long>, std::vector<std::string>> by_place; // warnings at (file, line)
    std::vector<std::string> recordings_without_turn;
    std::vector<const file_outcome*> left_out; // files named for the dialog, left out for their errors
    std::vector<const corpus_warning*> warnings;
    long problems = 0;
};

// What was found, by dialog.
std::map<std::string, dialog_findings, std::less<>> findings_by_dialog(const survey& s, const pairing& p,
                                                                       const outcomes& seen)
{
    std::map<std::string, dialog_findings, std::less<>> by_dialog;
    for (const corpus_warning& w : s.warnings) {
        dialog_findings& f = by_dialog[w.dialog];
        f.by_place[{w.file, w.line}].push_back(w.code + " " + w.message);
        f.warnings.push_back(&w);
    }
    for (const pair_problem& pr : p.problems) {
        dialog_findings& f = by_dialog[std::string(dialog_of_key(pr.key))];
        ++f.problems;
        if (pr.what == pair_problem::kind::recording_without_turn)
            f.recordings_without_turn.push_back(problem_line(pr));
        else
            f.by_key[pr.key].push_back(problem_line(pr));
    }
    for (const file_outcome& out : seen.left_out)
        by_dialog[std::filesystem::path(out.path).stem().string()].left_out.push_back(&out);
    return by_dialog;
}

// A turn's row: its number, speaker, words, duration, player and what was
// found at it.
std::vector<std::string> turn_row(const turn_view& t, const dialog_findings& f)
{
    const trl::turn_id& id = t.place->id;
    std::string found;
    const auto add = [&](const std::vector<std::string>& lines) {
        for (const std::string& l : lines)
            found += (found.empty() ? "" : "<br>") + html(l);
    };
    if (const auto it = f.by_key.find(id.key()); it != f.by_key.end())
        add(it->second);
    if (const auto it = f.by_place.find({t.place->file, t.place->line}); it != f.by_place.end())
        add(it->second);
    std::string player;
    if (t.rec)
        player =
            element("audio",
                    {{"controls", ""},
                     {"preload", "metadata"},
                     {"src", recording_name(t)},
                     {"aria-label", "turn " + std::string(id.number()) + ", speaker " + std::string(id.speaker())}},
                    "");
    return {html(id.number()),
            html(id.speaker()),
            t.words ? html(*t.words) : std::string(),
            t.rec ? html(seconds_text(t.rec->seconds) + " s") : std::string(),
            player,
            found};
}

// The page of one dialog, its turns in turn order.
std::string dialog_page(std::string_view dialog, const std::vector<const turn_view*>& turns, const survey& s,
                        const pairing& p, const dialog_findings& f, bool audio, std::string_view report_name)
{
    std::vector<std::string> files;
    long words = 0;
    long paired = 0;
    double seconds = 0;
    std::map<std::string_view, int> speakers;
    for (const turn_view* t : turns) {
        const std::string& file = s.files[t->place->file];
        if (std::find(files.begin(), files.end(), file) == files.end())
            files.push_back(file);
        words += t->place->words;
        ++speakers[t->place->id.speaker()];
        if (t->rec) {
            ++paired;
            seconds += t->rec->seconds;
        }
    }
    std::string sub;
    for (const std::string& file : files)
        sub.append(sub.empty() ? "" : " ").append(html(file));
    const std::string top =
        element("nav", {{"aria-label", "report"}},
                text_element("a", {{"href", "../" + std::string(report_name)}}, "\xE2\x86\x90 Corpus report")) +
        "\n" + text_element("h1", {}, "Dialog " + std::string(dialog)) + "\n" +
        element("p", {{"class", "sub"}}, sub + " &middot; quenda-corpus " QUENDA_TOOLS_VERSION) + "\n";

    std::string cards = card(static_cast<long>(turns.size()), "turn", "turns") + card(words, "word", "words") +
                        card(static_cast<long>(speakers.size()), "speaker", "speakers");
    if (audio)
        cards += card(paired, "turn paired", "turns paired") + card(duration_text(seconds), "recorded");
    if (!f.warnings.empty())
        cards += card(static_cast<long>(f.warnings.size()), "warning", "warnings", true);
    if (audio && f.problems)
        cards += card(f.problems, "pairing problem", "pairing problems", true);

    std::vector<std::vector<std::string>> rows;
    for (const turn_view* t : turns)
        rows.push_back(turn_row(*t, f));
    std::string main =
        block("cards", cards) +
        section("Turns", markup_table({"turn", "speaker", "words", "duration", "recording", "found"}, rows,
                                      {column::number, column::text, column::prose, column::number, column::text,
                                       column::prose})) +
        section("Speakers", turn_charts(turns));
    const std::string found = (audio ? pairing_chart(turns, p) : "") + warnings_chart(f.warnings);
    if (!found.empty())
        main += section("Pairing and warnings", block("charts", found));
    if (!f.left_out.empty()) {
        std::vector<std::vector<std::string>> errors;
        for (const file_outcome* out : f.left_out)
            errors.push_back(
                {out->path, std::to_string(out->line) + ":" + std::to_string(out->column), out->code, out->message});
        main += section("Files of the dialog with errors (left out)",
                        html_table({"file", "line:column", "code", "first error"}, errors,
                                   {column::text, column::number, column::text, column::prose}));
    }
    if (!f.recordings_without_turn.empty()) {
        std::vector<std::vector<std::string>> lines;
        for (const std::string& l : f.recordings_without_turn)
            lines.push_back({l});
        main += section("Recordings without a turn", html_table({"recording"}, lines, {column::prose}));
    }
    const std::string body = element("header", {}, top, true) + "\n" + element("main", {}, main, true) + "\n";
    return html_page("Dialog " + std::string(dialog), body);
}

} // namespace

bool write_dialog_pages(folder_writer& w, const survey& s, const std::vector<turn_view>& turns, const pairing& p,
                        const outcomes& seen, const options& o, std::string_view report_name, std::string& error)
{
    // Each dialog's turns in turn order (a number given twice: in the
    // order of the files).
    std::map<std::string_view, std::vector<const turn_view*>> dialogs;
    for (const turn_view& t : turns)
        dialogs[t.place->id.dialog()].push_back(&t);
    const std::map<std::string, dialog_findings, std::less<>> found = findings_by_dialog(s, p, seen);
    const dialog_findings nothing;
    for (auto& [name, list] : dialogs) {
        std::stable_sort(list.begin(), list.end(), [](const turn_view* a, const turn_view* b) {
            return std::tuple(a->place->id.number_value(), a->place->file, a->place->line) <
                   std::tuple(b->place->id.number_value(), b->place->file, b->place->line);
        });
        const auto it = found.find(name);
        const dialog_findings& f = it == found.end() ? nothing : it->second;
        if (!w.write(dialog_page_path(name), dialog_page(name, list, s, p, f, !o.audio.empty(), report_name), error))
            return false;
        for (const turn_view* t : list)
            if (t->rec && !w.write_wav(std::string(pages_folder) + recording_name(*t), *t->rec, error))
                return false;
    }
    return true;
}

} // namespace corpus
