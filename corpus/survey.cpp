#include "corpus/survey.h"

#include <algorithm>
#include <optional>

#include "language/catalogue.h"

namespace corpus {

using trl::kind;

void tally::add_turn(const trl::turn& t)
{
    turns += t.part == 0;
    for (const trl::element& e : t.elements) {
        switch (e.what) {
        case kind::word:
        case kind::noise_word:
            break;
        case kind::spelled:
        case kind::foreign:
            break;
        case kind::disconnected:
            ++broken_off;
            break;
        case kind::hesitation:
            ++hesitations;
            break;
        case kind::speaker_noise:
            ++speaker_noises;
            break;
        case kind::technical_noise:
            ++technical_noises;
            break;
        case kind::breathing:
        case kind::event:
        case kind::silence:
        case kind::pronunciation:
            break;
        case kind::pause:
            ++pauses;
            break;
        case kind::repair:
            ++repairs;
            break;
        case kind::false_start:
            ++false_starts;
            break;
        }
        if (trl::is_lexical(e.what)) {
            ++words;
            foreign += e.language.size > 0;
            spelled += e.spelled;
        }
    }
}

void tally::add(const tally& o)
{
    for (const tally_column& c : tally_columns)
        this->*c.field += o.*c.field;
    recordings += o.recordings;
    seconds += o.seconds;
    rates.insert(o.rates.begin(), o.rates.end());
}

void append_form(std::string& out, const trl::turn& t, const trl::element& e, form f)
{
    switch (f) {
    case form::written:
        out.append(t.text(e.letters));
        break;
    case form::utf8:
        trl::append_utf8_form(out, t.text(e.letters));
        break;
    case form::echo:
        trl::append_echo_form(out, t.text(e.echo));
        break;
    }
}

namespace {

// The tags that an export with --tags=keep writes among the words: what
// was heard (hesitations, noises, breathing, events), not pauses and
// silences.
constexpr bool is_token_tag(trl::kind k)
{
    using trl::kind;
    return k == kind::hesitation || k == kind::speaker_noise || k == kind::technical_noise || k == kind::breathing ||
           k == kind::event;
}

// A warning of consistency as the report keeps it, its dialog that of the
// identification it stands at.
corpus_warning warning_of(const trl::diagnostic& d)
{
    corpus_warning w;
    w.line = d.line;
    w.column = d.column;
    w.code = trl::info(d.kind).id;
    w.message = d.message;
    if (const std::optional<trl::turn_id> id = trl::turn_id::parse(d.found))
        w.dialog = std::string(id->dialog());
    return w;
}

} // namespace

void survey_gatherer::turn(const trl::turn& t, file_view& where)
{
    if (!t.complete)
        return;
    corpus_.add_turn(t);
    const std::string_view dialog = t.id.dialog();
    const std::string_view speaker = t.id.speaker();
    auto part = [](std::map<std::string, tally, std::less<>>& m, std::string_view name) -> tally& {
        auto it = m.find(name);
        if (it == m.end())
            it = m.emplace(std::string(name), tally{}).first;
        return it->second;
    };
    tally& d = part(dialogs_, dialog);
    tally& s = part(speakers_, speaker);
    d.add_turn(t);
    s.add_turn(t);
    for (const trl::element& e : t.elements) {
        if (trl::is_lexical(e.what)) {
            const std::string_view w = t.text(e.letters);
            if (needs_.vocabulary) {
                for (const auto& [mark, part] :
                     {std::pair<char, std::string_view>{'\1', {}}, std::pair<char, std::string_view>{'\2', dialog},
                      std::pair<char, std::string_view>{'\3', speaker}}) {
                    scratch_.assign(1, mark);
                    if (!part.empty())
                        scratch_.append(part).append(1, '\37');
                    scratch_.append(w);
                    vocabulary_.add(scratch_);
                }
            }
            if (needs_.words) {
                scratch_.clear();
                append_form(scratch_, t, e, needs_.letters);
                words_.add(scratch_);
            }
        } else if (needs_.tags && e.tag.size > 0 && e.what != kind::pronunciation) {
            scratch_.assign(trl::kind_name(e.what)).append("\37").append(t.text(e.tag));
            tags_.add(scratch_);
        }
    }
    if (needs_.warnings && t.part == 0) {
        text_ = where.text();
        path_ = where.path();
        starts_.push_back({t.begin, 0});
    }
    if (needs_.places) {
        if (t.part == 0) {
            turn_place p;
            p.id = t.id;
            p.line = where.line_of(t.begin);
            places_.push_back(p);
            if (needs_.texts)
                texts_.emplace_back();
        }
        places_.back().words += std::count_if(t.elements.begin(), t.elements.end(),
                                              [](const trl::element& e) { return trl::is_lexical(e.what); });
        if (needs_.texts) {
            std::string& words = texts_.back(); // a later part goes on with its turn's words
            for (const trl::element& e : t.elements) {
                const bool lexical = trl::is_lexical(e.what);
                if (!lexical && !(needs_.text_tags && is_token_tag(e.what)))
                    continue;
                if (!words.empty())
                    words += ' ';
                if (lexical)
                    append_form(words, t, e, needs_.letters);
                else if (needs_.letters == form::utf8)
                    trl::append_utf8_form(words, t.text(e.tag));
                else
                    words.append(t.text(e.tag));
            }
        }
    }
}

// The checks of consistency on the file's turns, the whole text read
// without an error: nothing but where its turns begin is needed.
void survey_gatherer::finish()
{
    if (!needs_.warnings || starts_.empty())
        return;
    trl::file_report report;
    report.turn_starts = std::move(starts_);
    trl::check_options options;
    options.file_name = path_;
    options.keep_identifications = true;
    trl::check_consistency(text_, options, report);
    for (const trl::diagnostic& d : report.diagnostics)
        warnings_.push_back(warning_of(d));
    identifications_ = std::move(report.identifications);
}

void survey::merge(survey_gatherer& g, std::string_view path)
{
    const auto file = static_cast<std::uint32_t>(files.size());
    files.emplace_back(path);
    for (corpus_warning& w : g.warnings_) {
        w.file = file;
        warnings.push_back(std::move(w));
    }
    if (g.needs_.warnings) {
        for (const trl::diagnostic& d : identifications.add(path, g.identifications_, false)) {
            corpus_warning& w = warnings.emplace_back(warning_of(d));
            w.file = file;
        }
    }
    corpus.add(g.corpus_);
    for (auto& [name, t] : g.dialogs_)
        dialogs[name].add(t);
    for (auto& [name, t] : g.speakers_)
        speakers[name].add(t);
    vocabulary.merge(std::move(g.vocabulary_));
    words.merge(std::move(g.words_));
    tags.merge(std::move(g.tags_));
    for (turn_place& p : g.places_) {
        p.file = file;
        places.push_back(p);
    }
    for (std::string& t : g.texts_)
        texts.push_back(std::move(t));
}

void survey::count_distinct()
{
    vocabulary.for_each([&](const counter::item& i) {
        const std::string_view k = i.key;
        if (k.empty())
            return;
        if (k[0] == '\1') {
            ++corpus.distinct;
            return;
        }
        const std::string_view name = k.substr(1, k.find('\37') - 1);
        auto& parts = k[0] == '\2' ? dialogs : speakers;
        if (const auto it = parts.find(name); it != parts.end())
            ++it->second.distinct;
    });
}

void survey::add_recordings(const std::vector<recording>& recs, const pairing& p)
{
    for (const recording& r : recs) {
        if (!r.problem.empty() || r.samples == 0)
            continue;
        ++corpus.recordings;
        if (r.rate_plausible) {
            corpus.seconds += r.seconds;
            corpus.rates.insert(r.rate);
        }
    }
    for (const auto& [turn, rec] : p.paired) {
        const trl::turn_id& id = places[turn].id;
        const recording& r = recs[rec];
        for (tally* t : {&dialogs[std::string(id.dialog())], &speakers[std::string(id.speaker())]}) {
            ++t->recordings;
            t->seconds += r.seconds;
            t->rates.insert(r.rate);
        }
    }
}

} // namespace corpus
