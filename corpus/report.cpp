// quenda-corpus report: the corpus at a glance, one HTML page with its
// style and its charts inside (CSS, SVG), which needs no script and no
// network to be read.
//
// With --dialogs, a page for each dialog goes beside it (dialog_pages.h),
// with the recordings of its turns: the folder holds all that its pages
// show and can be copied as it is.
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "language/catalogue.h"
#include "corpus/charts.h"
#include "corpus/commands.h"
#include "corpus/dialog_pages.h"
#include "corpus/html.h"
#include "corpus/stats.h"
#include "common/text.h"
#include "common/version.h"

namespace corpus {

namespace {

using namespace page;

// The most rows a list of problems or warnings shows; the rest are counted.
constexpr std::size_t listed = 200;

// What follows a list cut short: how many more, and which program lists
// them all; nothing when none were left out.
std::string more_than_listed(std::size_t total, std::size_t shown, std::string_view program)
{
    if (total <= shown)
        return "";
    return element("p", {},
                   "&hellip; and " + number(static_cast<long>(total - shown)) +
                       " more: " + text_element("code", {}, program) + " lists them all.") +
           "\n";
}

// The most frequent strings of a counter, at most n.
std::vector<bar> top(const counter& c, std::size_t n, const std::function<std::string(std::string_view)>& label)
{
    std::vector<bar> bars;
    for (const counter::ranked& r : c.sorted()) {
        if (bars.size() == n)
            break;
        bars.push_back({label(counter::at(r).key), static_cast<double>(r.count), number(r.count)});
    }
    return bars;
}

// The title, the paths read and the program's version.
std::string page_top(const options& o)
{
    std::string paths;
    for (const std::string& path : o.paths)
        paths += (paths.empty() ? "" : " ") + path;
    return text_element("h1", {}, "Corpus report") + "\n" +
           element("p", {{"class", "sub"}}, html(paths) + " &middot; quenda-corpus " QUENDA_TOOLS_VERSION) + "\n";
}

// The corpus at a glance: its counts as cards, the bad ones marked.
std::string at_a_glance(const outcomes& seen, const survey& s, const pairing& p, bool audio)
{
    std::string cards = card(seen.files_read, "file read", "files read");
    if (!seen.left_out.empty())
        cards += card(static_cast<long>(seen.left_out.size()), "file with errors, left out",
                      "files with errors, left out", true);
    cards += card(s.corpus.turns, "turn", "turns");
    cards += card(s.corpus.words, "word", "words");
    cards += card(s.corpus.distinct, "distinct word", "distinct words");
    cards += card(static_cast<long>(s.dialogs.size()), "dialog", "dialogs");
    cards += card(static_cast<long>(s.speakers.size()), "speaker", "speakers");
    if (audio) {
        cards += card(s.corpus.recordings, "recording", "recordings");
        cards += card(duration_text(s.corpus.seconds), "recorded");
        cards += card(static_cast<long>(p.paired.size()), "turn paired", "turns paired");
        if (!p.problems.empty())
            cards += card(static_cast<long>(p.problems.size()), "pairing problem", "pairing problems", true);
    }
    return block("cards", cards);
}

// Turns, words and recorded minutes per speaker; the turns' durations,
// speaking rates and lengths.
std::string speakers_part(const survey& s, const std::vector<const turn_view*>& turns, bool audio)
{
    std::vector<bar> turn_bars, words, minutes;
    for (const auto& [name, t] : s.speakers) {
        turn_bars.push_back({name, static_cast<double>(t.turns), number(t.turns)});
        words.push_back({name, static_cast<double>(t.words), number(t.words)});
        minutes.push_back({name, t.seconds / 60.0, minutes_text(t.seconds)});
    }
    std::string charts = bar_chart("Turns per speaker", turn_bars) + bar_chart("Words per speaker", words);
    if (audio)
        charts += bar_chart("Recorded minutes per speaker", minutes);
    return section("Speakers", block("charts", charts)) + section("Turns", turn_charts(turns));
}

// The most frequent words and tags.
std::string words_and_tags_parts(const survey& s)
{
    const auto word = [](std::string_view w) { return std::string(w); };
    // A tag's key is its kind, "\37" and the tag: "<ah> (hesitation)".
    const auto tag = [](std::string_view k) {
        const std::size_t sep = k.find('\37');
        return std::string(k.substr(sep + 1)) + " (" + std::string(k.substr(0, sep)) + ")";
    };
    return section("Words", bar_chart("The 30 most frequent words", top(s.words, 30, word))) +
           section("Tags", bar_chart("The tags, most frequent first", top(s.tags, 30, tag)));
}

// The counts of stats, as its table has them.
std::string counts_part(const survey& s, bool audio)
{
    const table counts = stats_table(s, audio, ", ");
    std::vector<column> columns(counts.header().size(), column::number);
    columns[0] = columns[1] = column::text; // part and name
    // Wrapped headers and a smaller type keep its many columns within a
    // window of 1280 pixels; where they do not fit, the table scrolls, and
    // the region can then be reached and scrolled with the keyboard.
    constexpr std::string_view title = "Counts per corpus, dialog and speaker";
    return section(title,
                   element("div", {{"class", "wide"}, {"role", "region"}, {"tabindex", "0"}, {"aria-label", title}},
                           html_table(counts.header(), counts.rows(), columns), true) +
                       "\n");
}

// The files with errors, and trl-check's counts of their errors by code;
// nothing when there are none.
std::string left_out_part(const outcomes& seen)
{
    if (seen.left_out.empty())
        return "";
    std::vector<std::vector<std::string>> rows;
    std::map<std::string, long> codes;
    for (const file_outcome& f : seen.left_out) {
        rows.push_back({f.path, std::to_string(f.line) + ":" + std::to_string(f.column), f.code, f.message});
        for (const auto& [code, n] : f.codes)
            codes[code] += n;
    }
    std::vector<std::vector<std::string>> code_rows;
    std::vector<bar> code_bars;
    for (const auto& [code, n] : codes) {
        const trl::code_info* info = trl::find_code(code);
        code_rows.push_back({code, info ? info->title : "", number(n)});
        code_bars.push_back({code, static_cast<double>(n), number(n)});
    }
    std::string body = html_table({"file", "line:column", "code", "first error"}, rows,
                                  {column::text, column::number, column::text, column::prose});
    body += text_element("p", {}, "What trl-check finds in them, by code (up to 100 errors a file):") + "\n";
    body += html_table({"code", "what", "count"}, code_rows, {column::text, column::text, column::number});
    body += bar_chart("Errors by code", code_bars);
    return section("Files with errors (left out)", body);
}

// The turns and recordings that do not pair: counted by kind, and the
// first 200 as pair says them; nothing when all pair.
std::string pairing_part(const pairing& p)
{
    if (p.problems.empty())
        return "";
    std::map<pair_problem::kind, long> kinds;
    std::vector<std::vector<std::string>> rows;
    for (const pair_problem& pr : p.problems) {
        ++kinds[pr.what];
        if (rows.size() < listed)
            rows.push_back({std::string(problem_name(pr.what)), pr.key, problem_line(pr)});
    }
    std::vector<std::vector<std::string>> kind_rows;
    for (const auto& [k, n] : kinds)
        kind_rows.push_back({std::string(problem_name(k)), number(n)});
    std::string body = html_table({"problem", "count"}, kind_rows, {column::text, column::number});
    body += html_table({"problem", "key", "what quenda-corpus pair says"}, rows,
                       {column::text, column::text, column::prose});
    body += more_than_listed(p.problems.size(), rows.size(), "quenda-corpus pair");
    return section("Turns and recordings that do not pair", body);
}

// The warnings of the corpus's consistency (W002-W005): counted by code,
// and the first 200 with their places; nothing when there are none.
std::string warnings_part(const survey& s)
{
    if (s.warnings.empty())
        return "";
    std::vector<std::vector<std::string>> rows;
    std::vector<const corpus_warning*> all;
    for (const corpus_warning& w : s.warnings) {
        all.push_back(&w);
        if (rows.size() < listed)
            rows.push_back(
                {s.files[w.file], std::to_string(w.line) + ":" + std::to_string(w.column), w.code, w.message});
    }
    std::string body = warnings_chart(all);
    body += html_table({"file", "line:column", "code", "warning"}, rows,
                       {column::text, column::number, column::text, column::prose});
    body += more_than_listed(s.warnings.size(), rows.size(), "trl-check");
    return section("Warnings of the corpus (turn identifications and file names)", body);
}

// The dialogs, each linked to its page.
std::string dialogs_part(const survey& s)
{
    std::vector<std::vector<std::string>> rows;
    for (const auto& [name, t] : s.dialogs)
        rows.push_back({text_element("a", {{"href", dialog_page_path(name)}}, name), html(number(t.turns)),
                        html(number(t.words)), html(number(t.recordings)), html(duration_text(t.seconds))});
    return section("Dialogs",
                   markup_table({"dialog", "turns", "words", "turns paired", "recorded"}, rows,
                                {column::text, column::number, column::number, column::number, column::number}));
}

} // namespace

int run_report(const options& o, checked_stdout& out)
{
    outcomes seen(o, out);
    survey_needs needs;
    needs.vocabulary = needs.words = needs.tags = needs.places = needs.warnings = true;
    needs.texts = needs.text_tags = o.dialogs; // what a dialog's page shows of a turn
    needs.letters = form::utf8;
    recordings recs;
    pairing p;
    const survey s = survey_with_recordings(o, needs, seen, &recs, &p);
    const bool audio = !o.audio.empty();
    const std::vector<turn_view> views = turn_views(s, recs, p);
    std::vector<const turn_view*> turns;
    for (const turn_view& t : views)
        turns.push_back(&t);

    // Every part of the page in a landmark: the title in the header, the
    // rest in the main part.
    const std::string body =
        element("header", {}, page_top(o), true) + "\n" +
        element("main", {},
                at_a_glance(seen, s, p, audio) + (o.dialogs ? dialogs_part(s) : "") + speakers_part(s, turns, audio) +
                    words_and_tags_parts(s) + counts_part(s, audio) + warnings_part(s) + left_out_part(seen) +
                    (audio ? section("Pairing per dialog", pairing_chart(turns, p)) + pairing_part(p) : ""),
                true) +
        "\n";
    namespace fs = std::filesystem;
    const fs::path page = o.html;
    folder_writer w(page.parent_path().empty() ? fs::path(".") : page.parent_path());
    std::string error;
    const std::string name = page.filename().string();
    const bool ok = w.write(name, html_page("Corpus report", body), error) &&
                    (!o.dialogs || write_dialog_pages(w, s, views, p, seen, o, name, error)) && w.commit(error);
    if (!ok) {
        w.discard();
        complain(error);
        return 2;
    }
    return seen.status(false);
}

} // namespace corpus
