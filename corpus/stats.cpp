// quenda-corpus stats: counts per corpus, dialog and speaker, with the
// recordings when they are given.
#include "corpus/commands.h"
#include "corpus/stats.h"
#include "common/text.h"

namespace corpus {

std::string rates_text(const std::set<std::int32_t>& rates, std::string_view between)
{
    std::string s;
    for (const std::int32_t r : rates) {
        if (!s.empty())
            s += between;
        s += std::to_string(r);
    }
    return s;
}

json_writer::array json_list(const std::set<std::int32_t>& rates)
{
    json_writer::array a;
    for (const std::int32_t r : rates)
        a.add(r);
    return a;
}

std::vector<stats_row> stats_rows(const survey& s)
{
    std::vector<stats_row> rows;
    rows.push_back({"corpus", "", &s.corpus});
    for (const auto& [name, t] : s.dialogs)
        rows.push_back({"dialog", name, &t});
    for (const auto& [name, t] : s.speakers)
        rows.push_back({"speaker", name, &t});
    return rows;
}

table stats_table(const survey& s, bool audio, std::string_view rates_between)
{
    std::vector<std::string> header = {"part", "name"};
    for (const tally_column& c : tally_columns)
        header.emplace_back(c.header);
    if (audio) {
        header.emplace_back("recordings");
        header.emplace_back("seconds");
        header.emplace_back("rates");
    }
    table tb(std::move(header));
    for (const stats_row& r : stats_rows(s)) {
        std::vector<std::string> cells = {std::string(r.part), text::printable(r.name)};
        for (const tally_column& c : tally_columns)
            cells.push_back(number(r.counts->*c.field));
        if (audio) {
            cells.push_back(number(r.counts->recordings));
            cells.push_back(seconds_text(r.counts->seconds));
            cells.push_back(rates_text(r.counts->rates, rates_between));
        }
        tb.row(std::move(cells));
    }
    return tb;
}

// Reads the corpus, and the recordings when they are given.
survey survey_with_recordings(const options& o, survey_needs needs, outcomes& seen, recordings* recs, pairing* p)
{
    const bool audio = !o.audio.empty();
    needs.places = needs.places || audio;
    survey s = read_survey(o, needs, seen);
    if (audio) {
        *recs = find_recordings(o);
        for (const auto& [path, reason] : recs->unusable)
            seen.note_audio(path, reason);
        *p = pair_turns(s.places, s.files, recs->found);
        s.add_recordings(recs->found, *p);
    }
    return s;
}

int run_stats(const options& o, checked_stdout& out)
{
    outcomes seen(o, out);
    survey_needs needs;
    needs.vocabulary = true;
    recordings recs;
    pairing p;
    const survey s = survey_with_recordings(o, needs, seen, &recs, &p);
    const bool audio = !o.audio.empty();
    switch (o.output) {
    case format::text: {
        std::string head = counted(seen.files_read, "file", "files") + " read";
        if (!seen.left_out.empty())
            head += ", " + counted(static_cast<long>(seen.left_out.size()), "file", "files") + " with errors left out";
        out.write(head + "\n\n" + stats_table(s, audio).text());
        break;
    }
    case format::tsv:
        out.write(stats_table(s, audio).tsv());
        break;
    case format::json:
        for (const stats_row& r : stats_rows(s)) {
            json_writer::object j;
            j.field("type", "stats").field("part", r.part).field("name", r.name);
            for (const tally_column& c : tally_columns)
                j.field(c.name, r.counts->*c.field);
            if (audio)
                j.field("recordings", r.counts->recordings)
                    .raw("seconds", seconds_text(r.counts->seconds))
                    .field("rates", json_list(r.counts->rates));
            out.write(j.line());
        }
        break;
    }
    return seen.status(false);
}

} // namespace corpus
