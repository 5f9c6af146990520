// Parts of trl-check --lsp tested alone: file: URIs to paths, what an
// editor hides of a file, positions converted in any order, a change given
// end first, Markdown made of the checker's explanations, and what an
// editor colours.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "language/catalogue.h"
#include "language/check.h"
#include "checker/trl-check/lsp/analysis.h"
#include "checker/trl-check/lsp/document.h"
#include "checker/trl-check/lsp/features.h"
#include "checker/trl-check/lsp/on_disk.h"
#include "checker/trl-check/lsp/positions.h"
#include "checker/trl-check/lsp/protocol.h"
#include "common/text.h"
#include "tests/support/lsp_client.h"

namespace {

using namespace trl::lsp;
using lsp_test::model_position;

TEST(LspParts, FileUrisBecomePaths)
{
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"file:///home/a/x.trl", "/home/a/x.trl"},
        {"file:///home/a%20b/x.trl", "/home/a b/x.trl"},
        {"file:///tmp/%C3%B6%c3%bc.trl", "/tmp/\xC3\xB6\xC3\xBC.trl"}, // either case of hex digits
        {"file:///tmp/100%25.trl", "/tmp/100%.trl"},                   // an escaped '%' is not escaped again
        {"file:///tmp/a%2520b.trl", "/tmp/a%20b.trl"},
        {"file:///tmp/%E4.trl", "/tmp/\xE4.trl"}, // a Latin-1 name: its byte
        {"FILE:///tmp/x.trl", "/tmp/x.trl"},      // the scheme in capitals
        {"file://localhost/tmp/x.trl", "/tmp/x.trl"},
        {"file://LocalHost/tmp/x.trl", "/tmp/x.trl"},
        {"file:/tmp/x.trl", "/tmp/x.trl"},
        {"file:///tmp/a+b.trl", "/tmp/a+b.trl"}, // '+' is no blank in a path
        {"file:///tmp/x.trl?query#part", "/tmp/x.trl"},
        {"file:///tmp/%23x.trl", "/tmp/#x.trl"},
        {"file://otherhost/tmp/x.trl", std::nullopt},
        {"file://otherhost", std::nullopt},
        {"file:relative/x.trl", std::nullopt},
        {"file:", std::nullopt},
        {"untitled:x.trl", std::nullopt},
        {"https:///tmp/x.trl", std::nullopt},
        {"fil", std::nullopt},
        {"file:///tmp/%2", std::nullopt}, // cut short
        {"file:///tmp/%", std::nullopt},
        {"file:///tmp/%G0.trl", std::nullopt}, // no hex digit
        {"file:///tmp/%0G.trl", std::nullopt},
        {"file:///tmp/a%00b.trl", std::nullopt}, // no file name holds a NUL
        {"file:///tmp/a%2Fb.trl", std::nullopt}, // or a '/'
        {"file:///tmp/a%2fb.trl", std::nullopt},
    };
    for (const auto& [uri, path] : cases)
        EXPECT_EQ(file_path(uri), path) << uri;
}

TEST(LspParts, WhatTheEditorHidesOfAFile)
{
    const std::string turn = "g012abc3_001_ABC_000000: ja .\n\n";
    const std::string crlf = "g012abc3_001_ABC_000000: ja .\r\n\r\n";
    const std::string bom = "\xEF\xBB\xBF";
    const std::string latin1 = "g012abc3_001_ABC_000000: sch\xF6n .\n\n";
    const std::string utf8 = "g012abc3_001_ABC_000000: sch\xC3\xB6n .\n\n";
    std::string utf16 = "\xFF\xFE";
    for (const char c : turn)
        (utf16 += c) += '\0';
    struct hide_case {
        const char* name;
        std::string file;
        std::string text; // the editor's
        std::vector<hidden> hides;
    };
    const hide_case cases[] = {
        {"the same bytes", bom + crlf, bom + crlf, {}},
        {"a byte order mark", bom + turn, turn, {hidden::byte_order_mark}},
        {"CR LF", crlf, turn, {hidden::crlf}},
        {"CR LF shown", crlf, crlf, {}},
        {"a byte order mark and CR LF", bom + crlf, turn, {hidden::byte_order_mark, hidden::crlf}},
        {"a byte order mark shown, CR LF not", bom + crlf, bom + turn, {hidden::crlf}},
        {"UTF-16", utf16, turn, {hidden::utf16}},
        {"UTF-16 as it is", utf16, utf16, {}},
        {"Latin-1 converted", latin1, utf8, {hidden::latin1}},
        {"Latin-1 as it is", latin1, latin1, {}},
        {"Latin-1 with CR LF", "g012abc3_001_ABC_000000: sch\xF6n .\r\n\r\n", utf8, {hidden::crlf, hidden::latin1}},
        {"UTF-8 as it is", utf8, utf8, {}},
        {"a text changed since", turn, "g012abc3_001_ABC_000000: so .\n\n", {}},
        {"Latin-1, and the text changed", latin1, utf8 + "g", {}},
        {"an empty file", "", turn, {}},
    };
    for (const hide_case& c : cases)
        EXPECT_EQ(hidden_in(c.file, c.text), c.hides) << c.name;
}

// What is said of what the editor hides: the command line's diagnostic of
// the first bytes concerned, and nothing where the command line reports no
// error at them (letters in a comment, which the check takes as they are).
TEST(LspParts, WhatIsSaidOfAFileIsTheCommandLines)
{
    const std::string turn = "g012abc3_001_ABC_000000: ja .\n\n";
    const std::string comment = "; sch\xF6n\n";
    const std::string letters = "g012abc3_001_ABC_000000: sch\xF6n .\r\n\r\n";
    const std::string crlf_turn = "g012abc3_001_ABC_000000: ja .\r\n\r\n";
    struct note_case {
        const char* name;
        std::string file;
        std::string text;
        std::vector<std::pair<hidden, std::size_t>> notes; // what, and the offset of the command line's diagnostic
    };
    const note_case cases[] = {
        {"a byte order mark", "\xEF\xBB\xBF" + turn, turn, {{hidden::byte_order_mark, 0}}},
        {"CR LF and Latin-1",
         letters,
         "g012abc3_001_ABC_000000: sch\xC3\xB6n .\n\n",
         {{hidden::crlf, letters.find('\r')}, {hidden::latin1, letters.find('\xF6')}}},
        {"Latin-1 in a comment", comment + turn, text::latin1_to_utf8(comment) + turn, {}},
        // The first CR, in the comment, is no error; the turn's is.
        {"CR LF first in a comment", "; a\r\n" + crlf_turn, "; a\n" + turn, {{hidden::crlf, 5 + crlf_turn.find('\r')}}},
    };
    trl::checker ck;
    for (const note_case& c : cases) {
        SCOPED_TRACE(c.name);
        const file_bytes file{c.file, hidden_in(c.file, c.text)};
        ASSERT_FALSE(file.hides.empty());
        trl::check_options every;
        every.max_errors = 0;
        const trl::file_report report = ck.check(c.file, every);
        const std::vector<file_note> notes = file_notes(file, ck);
        ASSERT_EQ(notes.size(), c.notes.size());
        for (std::size_t i = 0; i < notes.size(); ++i) {
            EXPECT_EQ(notes[i].what, c.notes[i].first);
            const auto said = std::find_if(report.diagnostics.begin(), report.diagnostics.end(),
                                           [&](const auto& d) { return d.span_begin == c.notes[i].second; });
            ASSERT_NE(said, report.diagnostics.end());
            EXPECT_EQ(notes[i].said.message, said->message);
            EXPECT_EQ(notes[i].said.hints, said->hints);
            EXPECT_EQ(notes[i].said.kind, said->kind);
            EXPECT_EQ(notes[i].said.velmar_line, said->velmar_line);
            EXPECT_FALSE(notes[i].advice.empty());
            EXPECT_EQ(!notes[i].settings, notes[i].what == hidden::latin1);
        }
    }
}

// One map asked for offsets in every order: later then earlier on one
// line, across lines and back, each character boundary of a line that holds
// characters outside the BMP (two UTF-16 units), multi-byte UTF-8 and a
// Latin-1 byte.
TEST(LspParts, PositionsInAnyOrder)
{
    const std::string text = "a\xC3\xB6\xF0\x9F\x99\x82"
                             "b\xF0\x9F\x98\x80\xE2\x82\xAC"
                             "c\xF6\n"
                             "\xF0\x9F\x99\x82x\xC3\xA4y\n";
    std::vector<std::size_t> boundaries;
    for (std::size_t i = 0; i <= text.size(); ++i)
        if (i == text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            boundaries.push_back(i);
    const line_index lines(text);
    for (const encoding e : {encoding::utf16, encoding::utf8}) {
        SCOPED_TRACE(encoding_name(e));
        position_map map(text, lines, e);
        // Every pair of boundaries, the later first and then the earlier.
        for (std::size_t i = 0; i < boundaries.size(); ++i)
            for (std::size_t j = 0; j < boundaries.size(); ++j) {
                for (const std::size_t at : {boundaries[std::max(i, j)], boundaries[std::min(i, j)]}) {
                    const position got = map.at(at);
                    ASSERT_EQ(std::pair(got.line, got.character), model_position(text, at, e == encoding::utf8))
                        << "offset " << at << " after " << boundaries[std::max(i, j)];
                    EXPECT_EQ(map.offset(got), at);
                }
            }
        // Inside a character: its start, or its end when rounded up.
        const std::size_t emoji = text.find("\xF0\x9F\x98\x80");
        const position start = map.at(emoji + 2);
        const position end = map.at(emoji + 2, true);
        const position before = map.at(emoji + 1);
        EXPECT_EQ(start.character, model_position(text, emoji, e == encoding::utf8).second);
        EXPECT_EQ(end.character, model_position(text, emoji + 4, e == encoding::utf8).second);
        EXPECT_EQ(before.character, start.character);
    }
}

// A change whose range is given end first replaces the same text as the
// range start first; the rest of the document stays as it was.
TEST(LspParts, ChangesWithTheirRangeEndFirst)
{
    const std::string text = "g012abc3_001_ABC_000000: ja so .\n\ng012abc3_002_ABC_000000: gut .\n\n";
    auto change = [](std::size_t l1, std::size_t c1, std::size_t l2, std::size_t c2, std::string by) {
        return json{
            {"range", {{"start", {{"line", l1}, {"character", c1}}}, {"end", {{"line", l2}, {"character", c2}}}}},
            {"text", by}};
    };
    struct change_case {
        json change;
        std::string result;
    };
    const change_case cases[] = {
        {change(0, 25, 0, 28, ""), "g012abc3_001_ABC_000000: so .\n\ng012abc3_002_ABC_000000: gut .\n\n"},
        {change(0, 28, 0, 25, ""), "g012abc3_001_ABC_000000: so .\n\ng012abc3_002_ABC_000000: gut .\n\n"},
        {change(0, 31, 0, 25, "na "), "g012abc3_001_ABC_000000: na .\n\ng012abc3_002_ABC_000000: gut .\n\n"},
        {change(2, 25, 0, 28, ""), "g012abc3_001_ABC_000000: ja gut .\n\n"},
        {change(2, 99, 2, 25, "so"), "g012abc3_001_ABC_000000: ja so .\n\ng012abc3_002_ABC_000000: so\n\n"},
        {change(9, 0, 3, 0, "x"), "g012abc3_001_ABC_000000: ja so .\n\ng012abc3_002_ABC_000000: gut .\nx"},
    };
    for (const change_case& c : cases) {
        std::string edited = text;
        json change = c.change;
        apply_change(edited, take_change(change, false), encoding::utf16);
        EXPECT_EQ(edited, c.result) << c.change.dump();
    }
}

// The explanation of every code as Markdown: outside its code blocks every
// character that Markdown takes for markup is escaped, and with the escapes
// taken off (and the heading's mark) it says what --explain says.
TEST(LspParts, ExplanationsAreEscapedForMarkdown)
{
    const std::string_view markup = "\\`*_[]<>";
    int marked = 0;
    for (const trl::code_info& entry : trl::catalogue()) {
        SCOPED_TRACE(entry.id);
        const std::string markdown = explanation_markdown(entry);
        std::string plain;
        bool in_code = false;
        for (std::size_t at = 0; at < markdown.size();) {
            const std::size_t nl = markdown.find('\n', at);
            std::string_view line = std::string_view(markdown).substr(at, nl - at);
            at = nl + 1;
            if (line == "```") {
                in_code = !in_code;
                continue;
            }
            if (in_code) {
                (plain += "    ") += line;
                plain += '\n';
                continue;
            }
            if (line.starts_with("### "))
                line.remove_prefix(4);
            for (std::size_t i = 0; i < line.size(); ++i) {
                if (line[i] == '\\') {
                    ASSERT_LT(i + 1, line.size()) << line;
                    ASSERT_NE(markup.find(line[i + 1]), std::string_view::npos) << line;
                    plain += line[++i];
                    ++marked;
                    continue;
                }
                ASSERT_EQ(markup.find(line[i]), std::string_view::npos) << "unescaped in: " << line;
                plain += line[i];
            }
            plain += '\n';
        }
        EXPECT_FALSE(in_code);
        EXPECT_EQ(plain, trl::explain(entry));
    }
    EXPECT_GT(marked, 0); // the explanations hold such characters
}

// What is coloured, as the bytes of each span and its kind: comments of
// both forms (empty ones, one over two lines, blanks at the end of a comment
// line, a CR before its line end) without the blank and line end that
// follow a bracketed one; "<PP> " as a tag without its blank; and no comment
// where a ';' is not at a line's start or a comment is not closed.
TEST(LspParts, WhatIsColoured)
{
    const std::string id = "g012abc3_001_ABC_000000:";
    using spans = std::vector<std::pair<std::string, span_kind>>;
    const auto comment = span_kind::comment;
    const auto tag = span_kind::tag;
    const auto dot = span_kind::punctuation;
    const auto identification = span_kind::identification;
    const auto speaker = span_kind::speaker_mark;
    const std::pair<std::string, spans> cases[] = {
        {"; a  \n" + id + " ja .\n\n", {{"; a  ", comment}, {id, identification}, {".", dot}}},
        {";\n;x\r\n" + id + " ja .\n\n", {{";", comment}, {";x\r", comment}, {id, identification}, {".", dot}}},
        {id + " ja <;> so <; two\nlines >\n so .\n\n",
         {{id, identification}, {"<;>", comment}, {"<; two\nlines >", comment}, {".", dot}}},
        {id + " ja <PP> so ?\n\n", {{id, identification}, {"<PP>", tag}, {"?", dot}}},
        {id + " <A> @1ja , <P> so1@ <ah> .\n\n",
         {{id, identification},
          {"<A>", tag},
          {"@1", speaker},
          {",", dot},
          {"<P>", tag},
          {"1@", speaker},
          {"<ah>", tag},
          {".", dot}}},
        {id + " ja ; so .\n\n", {{id, identification}, {".", dot}}},
        {id + " ja <; open .\n\n", {{id, identification}, {".", dot}}},
        {";x", {}},
    };
    for (const auto& [text, expected] : cases) {
        spans got;
        for (const span& s : semantic_spans(text))
            got.emplace_back(text.substr(s.offset, s.length), s.kind);
        EXPECT_EQ(got, expected) << text::escape_bytes(text);
    }
}

} // namespace
