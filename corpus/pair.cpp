// quenda-corpus pair: the turns and recordings that do not pair.
#include "corpus/commands.h"
#include "corpus/spoken_text.h"
#include "corpus/stats.h"
#include "common/text.h"

namespace corpus {

namespace {

std::string_view problem_words(pair_problem::kind k)
{
    switch (k) {
    case pair_problem::kind::turn_without_recording:
        return "turn without recording";
    case pair_problem::kind::recording_without_turn:
        return "recording without turn";
    case pair_problem::kind::key_twice:
        return "key found twice";
    case pair_problem::kind::unreadable_recording:
        return "unreadable recording";
    case pair_problem::kind::empty_recording:
        return "recording without samples";
    case pair_problem::kind::rate_differs:
        return "sample rate differs";
    case pair_problem::kind::text_differs:
        return "text differs";
    }
    return "";
}

std::string joined(const std::vector<std::string>& places, bool printable)
{
    std::string s;
    for (const std::string& p : places) {
        if (!s.empty())
            s += ", ";
        s += printable ? text::printable(p) : p;
    }
    return s;
}

} // namespace

// "turn without recording: KEY (PLACE)", and the detail.
std::string problem_line(const pair_problem& p)
{
    std::string line = std::string(problem_words(p.what)) + ": " + text::printable(p.key);
    if (p.what == pair_problem::kind::key_twice)
        line += " in " + p.detail;
    line += " (" + joined(p.places, true) + ")";
    if (p.what != pair_problem::kind::key_twice && !p.detail.empty())
        line += ": " + p.detail;
    return line;
}

// A version-2 recording whose text says other words than its turn:
// what each says where they differ.  The turn's words are those an export
// writes for it (no tags or marks).
void compare_texts(const survey& s, const recordings& recs, pairing& p)
{
    for (const auto& [turn, rec] : p.paired) {
        const recording& r = recs.found[rec];
        if (r.spoken.empty())
            continue;
        const auto d = compare_words(r.spoken, s.texts[turn]);
        if (!d)
            continue;
        const turn_place& t = s.places[turn];
        p.problems.push_back({pair_problem::kind::text_differs,
                              r.key,
                              {s.files[t.file] + ":" + std::to_string(t.line), r.path},
                              "the recording says \"" + d->recording + "\", the turn \"" + d->turn + "\""});
    }
}

int run_pair(const options& o, checked_stdout& out)
{
    outcomes seen(o, out);
    recordings recs;
    pairing p;
    survey_needs needs;
    needs.places = needs.texts = true;
    needs.letters = form::utf8;
    const survey s = survey_with_recordings(o, needs, seen, &recs, &p);
    compare_texts(s, recs, p);
    switch (o.output) {
    case format::text: {
        for (const pair_problem& pr : p.problems)
            out.write(problem_line(pr) + "\n");
        std::string summary = counted(static_cast<long>(s.places.size()), "turn", "turns") + ", " +
                              counted(static_cast<long>(recs.found.size()), "recording", "recordings") + ": " +
                              number(static_cast<long>(p.paired.size())) + " paired, " +
                              counted(static_cast<long>(p.problems.size()), "problem", "problems");
        if (p.common_rate)
            summary += "; most recordings at " + std::to_string(p.common_rate) + " Hz";
        out.write(summary + "\n");
        break;
    }
    case format::tsv: {
        table tb({"problem", "key", "places", "detail"});
        for (const pair_problem& pr : p.problems)
            tb.row({std::string(problem_name(pr.what)), pr.key, joined(pr.places, false), pr.detail});
        out.write(tb.tsv());
        break;
    }
    case format::json:
        for (const pair_problem& pr : p.problems) {
            out.write(json_writer::object()
                          .field("type", "problem")
                          .field("problem", problem_name(pr.what))
                          .field("key", pr.key)
                          .field("places", json_writer::strings(pr.places))
                          .field("detail", pr.detail)
                          .line());
        }
        out.write(json_writer::object()
                      .field("type", "summary")
                      .field("turns", static_cast<long>(s.places.size()))
                      .field("recordings", static_cast<long>(recs.found.size()))
                      .field("paired", static_cast<long>(p.paired.size()))
                      .field("problems", static_cast<long>(p.problems.size()))
                      .field("sample_rate", p.common_rate)
                      .line());
        break;
    }
    return seen.status(!p.problems.empty());
}

} // namespace corpus
