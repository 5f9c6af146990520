// The reader against independent facts: velmar's own echo lines and turn
// headers on every accepted acceptance case, the identifications written in
// the texts, trl-check's first error, and elements written out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/acceptance.h"
#include "language/check.h"
#include "language/text_scanner.h"
#include "tests/support/process.h"
#include "language/reader.h"
#include "tests/support/running_text.h"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using trl::kind;

// The acceptance cases that expect the given status, sorted.
std::vector<fs::path> cases_with_status(const fs::path& dir, int status)
{
    std::vector<fs::path> found = test_support::case_files(dir);
    std::erase_if(found, [status](const fs::path& path) { return test_support::case_status(path) != status; });
    return found;
}

// velmar's output as turns: each turn's header line and element lines.
struct echoed_turn {
    std::string header;
    std::vector<std::string> lines;
};
std::vector<echoed_turn> velmar_turns(const std::string& out)
{
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t nl; (nl = out.find('\n', from)) != std::string::npos; from = nl + 1)
        lines.push_back(out.substr(from, nl - from));
    std::vector<echoed_turn> turns;
    for (std::size_t i = 0; i < lines.size();) {
        if (lines[i].empty() && i + 1 < lines.size()) { // an empty line, then the header
            turns.push_back({lines[i + 1], {}});
            i += 2;
        } else {
            turns.back().lines.push_back(lines[i++]);
        }
    }
    return turns;
}

bool is_letter_byte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '"';
}

// Whether `small` is a subsequence of `big`.
bool subsequence(std::string_view small, std::string_view big)
{
    std::size_t i = 0;
    for (const char c : big)
        if (i < small.size() && small[i] == c)
            ++i;
    return i == small.size();
}

TEST(Reader, EchoesWhatVelmarEchoesOnEveryAcceptedCase)
{
    REQUIRE_ACCEPTANCE_CASES(dir);
    const std::vector<fs::path> accepted = cases_with_status(dir, 0);
    ASSERT_GT(accepted.size(), 500u);
    trl::reader reader;
    for (const fs::path& path : accepted) {
        SCOPED_TRACE(path.string());
        const std::string text = read_file(path);
        fs::path out = path;
        out.replace_extension(".out");
        const std::vector<echoed_turn> expected = velmar_turns(read_file(out));
        std::vector<echoed_turn> got;
        const auto r = reader.read(text, [&](const trl::turn& t) {
            echoed_turn e;
            // velmar's header: the turn number and the speaker when the
            // speaker code ends in a capital; else nothing.
            const char last = t.id.speaker()[2];
            if (last >= 'A' && last <= 'Z')
                e.header = std::string(t.id.number()) + "_" + std::string(t.id.speaker());
            // velmar prints a lexical element's line where it ends.
            std::vector<const trl::element*> lexical;
            for (const auto& el : t.elements)
                if (trl::is_lexical(el.what))
                    lexical.push_back(&el);
            std::stable_sort(lexical.begin(), lexical.end(), [](auto* a, auto* b) { return a->end < b->end; });
            for (const auto* el : lexical)
                e.lines.push_back(trl::echo_form(t.text(el->echo)));
            got.push_back(std::move(e));

            // What holds everywhere: reading order, nesting, letters.
            for (std::size_t i = 0; i < t.elements.size(); ++i) {
                const auto& el = t.elements[i];
                EXPECT_TRUE(t.begin <= el.begin && el.begin < el.end && el.end <= t.end);
                if (i > 0) {
                    const auto& before = t.elements[i - 1];
                    EXPECT_TRUE(before.begin < el.begin || (before.begin == el.begin && before.end >= el.end));
                }
                if (el.parent >= 0) {
                    const auto& holder = t.elements[static_cast<std::size_t>(el.parent)];
                    EXPECT_TRUE(holder.begin <= el.begin && el.end <= holder.end);
                }
                if (trl::is_lexical(el.what)) {
                    const std::string_view letters = t.text(el.letters);
                    EXPECT_FALSE(letters.empty());
                    EXPECT_TRUE(std::all_of(letters.begin(), letters.end(), is_letter_byte)) << letters;
                    EXPECT_TRUE(subsequence(letters, std::string_view(text).substr(el.begin, el.end - el.begin)))
                        << letters;
                } else if (el.tag.size > 0 && el.what != kind::pronunciation) {
                    EXPECT_NE(std::string_view(text).substr(el.begin, el.end - el.begin).find(t.text(el.tag)),
                              std::string_view::npos);
                }
            }
        });
        ASSERT_TRUE(r.ok());
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].header, expected[i].header) << "turn " << i;
            EXPECT_EQ(got[i].lines, expected[i].lines) << "turn " << i;
        }
    }
}

// The identifications as the scanner's tokens show them, without the
// grammar: where each turn begins (at the start of the text or after an
// empty line), its first 24 tokens, each a byte, end in ':'.  (Line breaks
// inside a line, "<PP> " and comments are no tokens.)
std::map<std::string, long> speakers_written(const std::string& text)
{
    std::map<std::string, long> turns;
    trl_text_scanner s;
    trl_text_scanner_start(s, text.data(), text.size());
    std::string id;
    bool turn_starts = true;
    for (int code; (code = trl_text_scan(s)) != 0;) {
        if (code == END) {
            turn_starts = true;
            id.clear();
            continue;
        }
        if (!turn_starts)
            continue;
        id += s.length == 1 ? *s.token : '?';
        if (id.size() == 24) {
            if (id[8] == '_' && id[12] == '_' && id[16] == '_' && id[23] == ':')
                ++turns[id.substr(13, 3)];
            turn_starts = false;
        }
    }
    return turns;
}

TEST(Reader, TurnsPerSpeakerAreTheIdentificationsWritten)
{
    REQUIRE_ACCEPTANCE_CASES(dir);
    trl::reader reader;
    long compared = 0;
    for (const fs::path& path : cases_with_status(dir, 0)) {
        const std::string text = read_file(path);
        std::map<std::string, long> read;
        reader.read(text, [&](const trl::turn& t) {
            ++read[std::string(t.id.speaker())];
            EXPECT_EQ(t.id.key(), t.id.text().substr(0, 16));
            EXPECT_EQ(text[t.begin], t.id.dialog()[0]) << path;
            EXPECT_EQ(text[t.end - 1], '\n');
            // The identification's 24 tokens end with its ':'.
            EXPECT_TRUE(t.begin + 24 <= t.identification_end && t.identification_end < t.end) << path;
            EXPECT_EQ(text[t.identification_end - 1], ':') << path;
        });
        EXPECT_EQ(read, speakers_written(text)) << path;
        ++compared;
    }
    EXPECT_GT(compared, 500);
}

// A text with errors: the reader stops where trl-check's first error is.
TEST(Reader, FirstErrorIsTrlChecksOnEveryRejectedCase)
{
    REQUIRE_ACCEPTANCE_CASES(dir);
    trl::reader reader;
    trl::checker ck;
    for (const fs::path& path : cases_with_status(dir, 1)) {
        const std::string text = read_file(path);
        const auto r = reader.read(text, [](const trl::turn& t) { EXPECT_TRUE(t.complete); });
        const auto report = ck.check(text);
        ASSERT_FALSE(r.ok()) << path;
        ASSERT_TRUE(r.first_error.has_value());
        const auto first = std::find_if(report.diagnostics.begin(), report.diagnostics.end(),
                                        [](const auto& d) { return !trl::info(d.kind).warning; });
        ASSERT_NE(first, report.diagnostics.end()) << path;
        EXPECT_EQ(r.first_error->offset, first->offset) << path;
        EXPECT_EQ(r.first_error->velmar_line, first->velmar_line) << path;
    }
}

TEST(Reader, OutlineOfATextWithErrors)
{
    const std::string text = read_file(fs::path(TRL_EXAMPLES) / "errors.trl");
    trl::read_options recover;
    recover.recover = true;
    const auto doc = trl::read_document(text, recover);
    std::vector<std::pair<std::string, bool>> outline;
    for (const auto& t : doc.turns) {
        outline.emplace_back(std::string(t.id.key()), t.complete);
        // Each turn runs from its identification to its empty line (or the
        // end of the text).
        EXPECT_EQ(text.substr(t.begin, 16), t.id.key());
        EXPECT_EQ(text.substr(t.begin, t.identification_end - t.begin), std::string(t.id.text()) + ':');
        EXPECT_TRUE(t.end == text.size() || text.substr(t.end - 2, 2) == "\n\n");
    }
    // Turn 5's identification is wrong (five digits): it has no key.
    const std::vector<std::pair<std::string, bool>> expected = {
        {"g012abc3_001_ABC", true}, {"g012abc3_002_ABC", true},  {"g012abc3_003_ABC", false},
        {"g012abc3_004_ABC", true}, {"g012abc3_006_ABC", false}, {"g012abc3_007_ABC", false}};
    EXPECT_EQ(outline, expected);
    EXPECT_EQ(doc.result.errors, 4);
    // Without recovery the reading ends at the first error.
    const auto first_only = trl::read_document(text);
    EXPECT_EQ(first_only.turns.size(), 2u);
    EXPECT_EQ(first_only.result.errors, 1);
}

// Elements written out by hand from the conventions.
struct expected_element {
    kind what;
    std::string source;  // the element's bytes in the text
    std::string letters; // or the tag
    std::string marks;   // "init|final|language|speaker", empty parts for none
    int parent = -1;
};

std::string marks_of(const trl::turn& t, const trl::element& e)
{
    return std::string(t.text(e.init_mark)) + "|" + std::string(t.text(e.final_mark)) + "|" +
           std::string(t.text(e.language)) + "|" + std::string(t.text(e.speaker_mark));
}

// A turn as a caller sees it, with every element's texts and holder, from
// whole turns or put together from their parts.
struct flat_element {
    std::string what, letters, echo, tag, marks;
    std::size_t begin, end;
    long parent;
    int spelled;
    auto tie() const { return std::tie(what, letters, echo, tag, marks, begin, end, parent, spelled); }
    bool operator==(const flat_element& o) const { return tie() == o.tie(); }
};
struct flat_turn {
    std::string id, language;
    std::size_t begin = 0, end = 0, identification_end = 0;
    bool complete = false;
    bool ended = false; // its last part came
    std::uint32_t parts = 0;
    std::vector<flat_element> elements;
    bool operator==(const flat_turn& o) const
    {
        return std::tie(id, language, begin, end, identification_end, complete, ended, elements) ==
               std::tie(o.id, o.language, o.begin, o.end, o.identification_end, o.complete, o.ended, o.elements);
    }
};

// Reads `text` in parts of `per_part` elements (0: whole turns); the sizes
// of the parts go to `sizes`.
std::vector<flat_turn> read_flat(const std::string& text, std::size_t per_part, bool recover,
                                 std::vector<std::size_t>* sizes = nullptr, trl::read_result* result = nullptr)
{
    trl::read_options options;
    options.elements_per_part = per_part;
    options.recover = recover;
    std::vector<flat_turn> turns;
    trl::reader reader;
    const auto r = reader.read(
        text,
        [&](const trl::turn& t) {
            if (t.part == 0) {
                turns.emplace_back();
                flat_turn& f = turns.back();
                f.id = t.id.text();
                f.language = t.id.language();
                f.begin = t.begin;
                f.identification_end = t.identification_end;
            }
            flat_turn& f = turns.back();
            EXPECT_EQ(t.part, f.parts) << f.id; // the parts in order, each once
            EXPECT_FALSE(f.ended) << f.id;
            EXPECT_EQ(t.id.text(), f.id);
            ++f.parts;
            const long offset = static_cast<long>(f.elements.size());
            for (const trl::element& e : t.elements)
                f.elements.push_back({std::string(trl::kind_name(e.what)), std::string(t.text(e.letters)),
                                      std::string(t.text(e.echo)), std::string(t.text(e.tag)), marks_of(t, e), e.begin,
                                      e.end, e.parent < 0 ? -1 : offset + e.parent, e.spelled});
            if (t.last_part) {
                f.ended = true;
                f.end = t.end;
                f.complete = t.complete;
            } else {
                EXPECT_EQ(t.end, 0u);
                EXPECT_TRUE(t.complete);
            }
            if (sizes)
                sizes->push_back(t.elements.size());
        },
        options);
    if (result)
        *result = r;
    return turns;
}

// A turn read in parts is the whole turn cut between its elements: the
// same elements, texts and holders, in the same order, on every accepted
// and (read with recovery) every rejected acceptance case and on long
// turns of every construct.
TEST(Reader, PartsOfATurnPutTogetherAreTheWholeTurn)
{
    REQUIRE_ACCEPTANCE_CASES(dir);
    std::vector<std::pair<std::string, bool>> texts; // a text, and whether to recover
    for (const fs::path& path : cases_with_status(dir, 0))
        texts.emplace_back(read_file(path), false);
    for (const fs::path& path : cases_with_status(dir, 1))
        texts.emplace_back(read_file(path), true);
    texts.emplace_back(read_file(fs::path(TRL_EXAMPLES) / "errors.trl"), true);
    const std::string ident = "g071ach1_001_ABC_004711: ";
    for (std::size_t first = 0; first < test_support::text_pieces.size(); ++first)
        texts.emplace_back(ident + test_support::running_text(60, first) + " .\n\n" + ident + "ja .\n\n", false);
    // An error late in a long turn: its last part is incomplete.
    texts.emplace_back(ident + test_support::running_text(60) + " , , .\n\n" + ident + "ja .\n\n", true);
    long cut = 0;
    for (const auto& [text, recover] : texts) {
        SCOPED_TRACE(text.substr(0, 200));
        trl::read_result whole_result;
        const std::vector<flat_turn> whole = read_flat(text, 0, recover, nullptr, &whole_result);
        for (const std::size_t per_part : {1, 2, 7}) {
            std::vector<std::size_t> sizes;
            trl::read_result parts_result;
            EXPECT_EQ(read_flat(text, per_part, recover, &sizes, &parts_result), whole) << per_part;
            EXPECT_EQ(parts_result.turns, whole_result.turns);
            EXPECT_EQ(parts_result.errors, whole_result.errors);
            cut += static_cast<long>(sizes.size() - whole.size());
        }
    }
    EXPECT_GT(cut, 10000);
}

// A long turn comes in parts of about the size asked for: a part ends at
// the first lexical element outside repairs and false starts once it
// holds that many elements.
TEST(Reader, ALongTurnComesInPartsOfTheSizeAskedFor)
{
    const std::string ident = "g071ach1_001_ABC_004711: ";
    const std::string text = ident + test_support::running_text(20000) + " .\n\n";
    for (const std::size_t per_part : {1, 16, 1000}) {
        std::vector<std::size_t> sizes;
        trl::read_result r;
        const std::vector<flat_turn> turns = read_flat(text, per_part, false, &sizes, &r);
        ASSERT_TRUE(r.ok());
        ASSERT_EQ(turns.size(), 1u);
        ASSERT_TRUE(turns[0].ended);
        const std::size_t total = turns[0].elements.size();
        EXPECT_GT(total, 40000u);
        // A piece of the text holds at most 6 elements (the repair in a
        // disconnected word, their words and the breath between).
        for (std::size_t i = 0; i + 1 < sizes.size(); ++i) {
            EXPECT_GE(sizes[i], per_part) << i;
            EXPECT_LT(sizes[i], per_part + 6) << i;
        }
        EXPECT_LE(sizes.back(), per_part + 6);
        EXPECT_GE(sizes.size(), total / (per_part + 6));
    }
}

TEST(Reader, ElementsOfEachConstruct)
{
    const struct {
        std::string text; // a turn's text after its identification
        std::vector<expected_element> elements;
    } cases[] = {
        {"M\"uller .", {{kind::word, "M\"uller", "M\"uller", "|||"}}},
        {"*tsch\"u<Z>ss <#Klingeln>",
         {{kind::word, "*tsch\"u<Z>ss", "tsch\"uss", "*|||"},
          {kind::technical_noise, "<#Klingeln>", "<#Klingeln>", "|||"}}},
        {"<*ENG>hello ja= ?",
         {{kind::foreign, "<*ENG>hello", "hello", "<*ENG>||ENG|"}, {kind::word, "ja=", "ja", "|=||"}}},
        {"$B-$Ks geht's .", {{kind::spelled, "$B-$Ks", "BK", "|||"}, {kind::word, "geht's", "gehts", "|||"}}},
        {"<:<Lachen> prima:> , dann .",
         {{kind::noise_word, "<:<Lachen> prima:>", "prima", "|||"},
          {kind::speaker_noise, "<Lachen>", "<Lachen>", "|||", 0},
          {kind::word, "dann", "dann", "|||"}}},
        {"aus_ <A> _machen .",
         {{kind::disconnected, "aus_ <A> _machen", "ausmachen", "|||"}, {kind::breathing, "<A>", "<A>", "|||", 0}}},
        {"+/einen/+ einen <P>2@> Termin .",
         {{kind::repair, "+/einen/+", "", "|||"},
          {kind::word, "einen", "einen", "|||", 0},
          {kind::word, "einen", "einen", "|||"},
          {kind::pause, "<P>2@>", "<P>", "|||2@"},
          {kind::word, "Termin", "Termin", "|||"}}},
        {"-/am Mon/- am <@1<B> wegen <!1 Maier> dem .",
         {{kind::false_start, "-/am Mon/-", "", "|||"},
          {kind::word, "am", "am", "|||", 0},
          {kind::word, "Mon", "Mon", "|||", 0},
          {kind::word, "am", "am", "|||"},
          {kind::breathing, "<@1<B>", "<B>", "|||@1"},
          {kind::word, "wegen", "wegen", "|||"},
          {kind::pronunciation, "<!1 Maier>", "Maier", "|||"},
          {kind::word, "dem", "dem", "|||"}}},
        {"@1ja ja1@ <T_>so<_T> --ab ab-- #x ~y% <*T> <%> <\"ahm>",
         {{kind::word, "@1ja", "ja", "|||@1"},
          {kind::word, "ja1@", "ja", "|||1@"},
          {kind::word, "<T_>so<_T>", "so", "<T_>|<_T>||"},
          {kind::word, "--ab", "ab", "--|||"},
          {kind::word, "ab--", "ab", "|--||"},
          {kind::word, "#x", "x", "#|||"},
          {kind::word, "~y%", "y", "~|%||"},
          {kind::silence, "<*T>", "<*T>", "|||"},
          {kind::event, "<%>", "<%>", "|||"},
          {kind::hesitation, "<\"ahm>", "<\"ahm>", "|||"}}},
    };
    const std::string ident = "g071ach1_001_ABC_004711: ";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string text = ident + c.text + "\n\n";
        const auto doc = trl::read_document(text);
        ASSERT_TRUE(doc.result.ok());
        ASSERT_EQ(doc.turns.size(), 1u);
        const auto& t = doc.turns[0];
        ASSERT_EQ(t.elements.size(), c.elements.size());
        for (std::size_t i = 0; i < c.elements.size(); ++i) {
            const auto& e = t.elements[i];
            const auto& x = c.elements[i];
            EXPECT_EQ(trl::kind_name(e.what), trl::kind_name(x.what)) << i;
            EXPECT_EQ(text.substr(e.begin, e.end - e.begin), x.source) << i;
            EXPECT_EQ(trl::is_lexical(e.what) || e.what == kind::pronunciation ? t.text(e.letters) : t.text(e.tag),
                      x.letters)
                << i;
            EXPECT_EQ(marks_of(t, e), x.marks) << i;
            EXPECT_EQ(e.parent, x.parent) << i;
        }
    }
}

TEST(Reader, TurnIdentificationAndEchoOfADisconnectedWord)
{
    const std::string text = "; a comment line\n"
                             "g071ach1_001_AB1_004711: <*tGER> Jt\"ohn\"aEc_ +/m/+ _int ca .\n\n"
                             "k002xyz9_017_XYZ_000000: ja .\n\n";
    const auto doc = trl::read_document(text);
    ASSERT_TRUE(doc.result.ok());
    ASSERT_EQ(doc.turns.size(), 2u);
    const auto& t = doc.turns[0];
    EXPECT_EQ(t.id.text(), "g071ach1_001_AB1_004711");
    EXPECT_EQ(t.id.dialog(), "g071ach1");
    EXPECT_EQ(t.id.number(), "001");
    EXPECT_EQ(t.id.speaker(), "AB1");
    EXPECT_EQ(t.id.cdrom(), "004711");
    EXPECT_EQ(t.id.key(), "g071ach1_001_AB1");
    EXPECT_EQ(t.id.language(), "GER");
    EXPECT_EQ(text.substr(t.begin, t.end - t.begin), text.substr(17, text.find("\n\n") + 2 - 17));
    EXPECT_TRUE(t.complete);
    EXPECT_EQ(doc.turns[1].id.key(), "k002xyz9_017_XYZ");
    EXPECT_EQ(doc.turns[1].id.language(), "");
    // The disconnected word's letters are its own; velmar prints the letters
    // before the interruption on the line of the word inside it.
    ASSERT_EQ(t.elements.size(), 4u);
    EXPECT_EQ(t.text(t.elements[0].letters), "Jt\"ohn\"aEcint");
    EXPECT_EQ(trl::echo_form(t.text(t.elements[0].echo)), "int");
    EXPECT_EQ(t.text(t.elements[2].letters), "m");
    EXPECT_EQ(trl::echo_form(t.text(t.elements[2].echo)), "Jt\"hn\"Ecm");
}

// The identification is put together from its tokens, wherever they stand:
// a comment between its parts is passed over, the language comes from the
// marker after it.
TEST(Reader, IdentificationPutTogetherFromItsTokens)
{
    const std::string text = "k002xyz9_<;a> 017_XY<;b> 9_0<;c> 00000: <*tENG> ja .\n\n"
                             "k002xyz9_018_XYZ_000001: <;d> ja .\n\n";
    const auto doc = trl::read_document(text);
    ASSERT_TRUE(doc.result.ok());
    ASSERT_EQ(doc.turns.size(), 2u);
    EXPECT_EQ(doc.turns[0].id, trl::turn_id::parse("k002xyz9_017_XY9_000000", "ENG"));
    EXPECT_EQ(doc.turns[1].id, trl::turn_id::parse("k002xyz9_018_XYZ_000001"));
}

TEST(Reader, Forms)
{
    const struct {
        std::string written, echo, utf8;
    } cases[] = {
        {"M\"uller", "M\"ller", "M\xC3\xBCller"},
        {"\"A\"O\"U\"a\"o\"u\"s", "\"\"\"\"\"\"\"", "\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F"},
        {"ja", "ja", "ja"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(trl::echo_form(c.written), c.echo);
        EXPECT_EQ(trl::utf8_form(c.written), c.utf8);
    }
    for (int k = 0; k < trl::kind_count; ++k)
        EXPECT_EQ(trl::kind_named(trl::kind_name(static_cast<kind>(k))), static_cast<kind>(k));
    EXPECT_FALSE(trl::kind_named("words").has_value());
}

} // namespace
