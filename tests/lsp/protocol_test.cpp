// trl-check --lsp driven by a scripted client: lifecycle, diagnostics
// against the command line and against the checker on texts edited here,
// positions in both encodings, the requests, and bad input.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <tuple>
#include <sstream>

#include "tests/support/acceptance.h"
#include "language/check.h"
#include "tests/support/lsp_client.h"
#include "common/text.h"

namespace {

using namespace lsp_test;
namespace fs = std::filesystem;

std::string example(const std::string& name)
{
    return test_support::read_file(fs::path(TRL_CHECK_EXAMPLES) / name);
}

json position_at(std::string_view text, std::string_view needle, std::size_t plus = 0)
{
    const auto [line, character] = model_position(text, text.find(needle) + plus, true);
    return {{"line", line}, {"character", character}};
}

// The start of the well-formed character that holds byte `at`.
std::size_t char_start(std::string_view text, std::size_t at)
{
    for (std::size_t back = 1; back <= 3 && back <= at; ++back)
        if (text::decode_utf8(text.substr(at - back)).length > back)
            return at - back;
    return at;
}

// Diagnostics as (line, character, code), from the server or from the
// checker run here.
using triples = std::vector<std::tuple<std::size_t, std::size_t, std::string>>;

triples published_triples(const json& diagnostics)
{
    triples out;
    for (const json& d : diagnostics)
        out.emplace_back(d["range"]["start"]["line"], d["range"]["start"]["character"], d["code"]);
    return out;
}

triples checker_triples(std::string_view text, bool utf8)
{
    triples out;
    for (const trl::diagnostic& d : trl::checker().check(text).diagnostics) {
        const auto [line, character] = model_position(text, d.span_begin, utf8);
        out.emplace_back(line, character, trl::info(d.kind).id);
    }
    return out;
}

json doc_params(const std::string& uri, json extra = json::object())
{
    extra["textDocument"] = {{"uri", uri}};
    return extra;
}

// A hover waits for the check of the version it is about, so that version
// is published before anything that comes after it.
void await_check(script& s, const std::string& uri)
{
    s.request("textDocument/hover", doc_params(uri, {{"position", {{"line", 0}, {"character", 0}}}}));
}

TEST(LspProtocol, LifecycleAndExitStatus)
{
    const json hover = doc_params(uri_of("a.trl"), {{"position", {{"line", 0}, {"character", 0}}}});
    struct lifecycle_case {
        const char* name;
        std::function<void(script&)> steps;
        int status;
        std::vector<std::pair<int, int>> errors; // request id, error code; other requests succeed
    };
    const lifecycle_case cases[] = {
        {"shutdown, exit", [](script& s) { s.initialize(false), s.finish(); }, 0, {}},
        {"exit without shutdown", [](script& s) { s.initialize(false), s.exit(); }, 1, {}},
        {"end of input", [](script& s) { s.initialize(false); }, 1, {}},
        {"shutdown, end of input", [](script& s) { s.initialize(false), s.request("shutdown", nullptr); }, 0, {}},
        {"request before initialize",
         [&](script& s) { s.request("textDocument/hover", hover), s.initialize(false), s.finish(); },
         0,
         {{1, -32002}}},
        {"initialize twice", [](script& s) { s.initialize(false), s.initialize(false), s.finish(); }, 0, {{2, -32600}}},
        {"request after shutdown",
         [&](script& s) {
             s.initialize(false), s.request("shutdown", nullptr), s.request("textDocument/hover", hover), s.exit();
         },
         0,
         {{3, -32600}}},
    };
    for (const lifecycle_case& c : cases) {
        SCOPED_TRACE(c.name);
        script s;
        c.steps(s);
        const session r = run_server(s);
        EXPECT_EQ(r.run.status, c.status) << r.run.err;
        ASSERT_TRUE(r.framed);
        EXPECT_EQ(r.messages.size(), static_cast<std::size_t>(s.last_id)); // answers only, one each
        for (int id = 1; id <= s.last_id; ++id) {
            const json answer = r.response(id);
            const auto error = std::find_if(c.errors.begin(), c.errors.end(), [&](auto& e) { return e.first == id; });
            EXPECT_EQ(answer.contains("result"), error == c.errors.end()) << answer;
            if (error != c.errors.end()) {
                EXPECT_EQ(answer["error"]["code"], error->second) << answer;
            }
        }
    }
}

TEST(LspProtocol, DiagnosticsOfErrorsTrlAreTheCommandLines)
{
    const std::string uri = uri_of("errors.trl");
    script s;
    s.initialize(true);
    s.open(uri, example("errors.trl"), 7);
    await_check(s, uri);
    s.notify("textDocument/didClose", doc_params(uri));
    s.finish();
    const session r = run_server(s);
    ASSERT_EQ(r.run.status, 0) << r.run.err;
    EXPECT_EQ(r.response(1)["result"]["capabilities"]["positionEncoding"], "utf-8");

    std::vector<json> expected;
    for (const json& d : test_support::parse_json_lines(
             test_support::run(TRL_CHECK_PATH, {"--format=json", fs::path(TRL_CHECK_EXAMPLES) / "errors.trl"}).out))
        if (d["type"] == "diagnostic")
            expected.push_back(d);
    ASSERT_EQ(expected.size(), 4u);
    const std::vector<json> published = r.published(uri);
    ASSERT_EQ(published.size(), 2u);
    EXPECT_EQ(published[0]["version"], 7);
    const json got = published[0]["diagnostics"];
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].dump());
        EXPECT_EQ(got[i]["range"]["start"]["line"].get<int>() + 1, expected[i]["line"]);
        EXPECT_EQ(got[i]["range"]["start"]["character"].get<int>() + 1, expected[i]["column"]);
        EXPECT_EQ(got[i]["code"], expected[i]["code"]);
        EXPECT_EQ(got[i]["severity"], expected[i]["severity"] == "error" ? 1 : 2);
        EXPECT_EQ(got[i]["source"], "trl-check");
        EXPECT_EQ(got[i]["relatedInformation"][0]["message"],
                  "velmar: parse error in line " + std::to_string(expected[i]["velmar_line"].get<int>()));
    }
    EXPECT_EQ(published[1], (json{{"uri", uri}, {"diagnostics", json::array()}})); // didClose
}

// In each encoding: a line with ö in UTF-8, a Latin-1 byte and a character
// outside the BMP before its error, which a blank put in by a change ends;
// then random edits on several documents, whose last diagnostics must be
// the checker's on the texts edited here.
TEST(LspProtocol, ColumnsAndIncrementalEdits)
{
    REQUIRE_ACCEPTANCE_CASES(cases);
    std::vector<std::string> texts = {example("errors.trl"), example("dialog.trl")};
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(cases))
        if (e.path().extension() == ".trl" && fs::file_size(e.path()) < 4096)
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (std::size_t i = 0; i < files.size(); i += std::max<std::size_t>(1, files.size() / 30))
        texts.push_back(test_support::read_file(files[i]));
    const std::vector<std::string> pieces = {" ",
                                             ".",
                                             "\n",
                                             "\n\n",
                                             "ja ",
                                             " .\n\n",
                                             "<ah> ",
                                             "<;x\n> ",
                                             "\xC3\xB6",
                                             "\xF6",
                                             "\xF0\x9F\x99\x82",
                                             "\r\n",
                                             "",
                                             "g012abc3_001_ABC_000000: "};
    const std::string columns = "g012abc3_001_ABC_000000: ja <;sch\xC3\xB6n \xF6 \xF0\x9F\x99\x82> so.\n\n";
    const std::size_t dot = columns.find("so.") + 2;

    for (const bool utf8 : {true, false}) {
        SCOPED_TRACE(utf8 ? "utf-8" : "utf-16");
        // Bytes before the '.': ö is one unit, the emoji four in UTF-8 and two in UTF-16.
        const std::size_t character = utf8 ? dot : dot - 1 - 2;
        std::mt19937 random(utf8 ? 7 : 11);
        script s;
        s.initialize(utf8);
        s.open(uri_of("columns"), columns);
        await_check(s, uri_of("columns"));
        s.change(uri_of("columns"), 2, {{0, character, 0, character}}, {" "});
        std::vector<std::string> model = texts;
        constexpr int versions = 25;
        for (std::size_t d = 0; d < model.size(); ++d) {
            s.open(uri_of(std::to_string(d)), model[d]);
            for (int v = 2; v <= versions; ++v) {
                std::vector<std::vector<std::size_t>> ranges;
                std::vector<std::string> replacements;
                for (int n = 1 + static_cast<int>(random() % 3); n > 0; --n) {
                    const std::size_t from = char_start(model[d], random() % (model[d].size() + 1));
                    const std::size_t to =
                        std::max(from, char_start(model[d], std::min(model[d].size(), from + random() % 12)));
                    const auto [l1, c1] = model_position(model[d], from, utf8);
                    const auto [l2, c2] = model_position(model[d], to, utf8);
                    ranges.push_back({l1, c1, l2, c2});
                    replacements.push_back(pieces[random() % pieces.size()]);
                    model[d].replace(from, to - from, replacements.back());
                }
                s.change(uri_of(std::to_string(d)), v, ranges, replacements);
            }
        }
        s.finish();
        const session r = run_server(s);
        ASSERT_EQ(r.run.status, 0) << r.run.err;
        EXPECT_EQ(r.response(1)["result"]["capabilities"]["positionEncoding"], utf8 ? "utf-8" : "utf-16");

        const std::vector<json> published = r.published(uri_of("columns"));
        ASSERT_EQ(published.size(), 2u);
        EXPECT_EQ(published_triples(published[0]["diagnostics"]), (triples{{0, character, "T009"}}));
        EXPECT_EQ(published[0]["diagnostics"][0]["range"]["end"]["character"], character + 1);
        EXPECT_EQ(published[1]["version"], 2);
        EXPECT_EQ(published[1]["diagnostics"], json::array());
        for (std::size_t d = 0; d < model.size(); ++d) {
            const std::vector<json> last = r.published(uri_of(std::to_string(d)));
            ASSERT_FALSE(last.empty());
            EXPECT_EQ(last.back()["version"], versions);
            EXPECT_EQ(published_triples(last.back()["diagnostics"]), checker_triples(model[d], utf8))
                << "document " << d << ": " << text::escape_bytes(model[d]);
        }
    }
}

// Hover, completion, symbols, semantic tokens and code actions in one session.
TEST(LspProtocol, Requests)
{
    const std::string events = "g012abc3_001_ABC_000000: <Husten> <ah> ja <#Klopfen> <P> <A> so.\n\n";
    const std::string colours = "; note\ng012abc3_001_ABC_000000: <A> @1ja , <;c> <P> so1@ .\n\n";
    const std::string typing = "g012abc3_001_ABC_000000: ja <Hu";
    const std::string errors = example("errors.trl");
    script s;
    s.initialize(true);
    for (const auto& [name, text] :
         {std::pair{"events", events}, {"colours", colours}, {"typing", typing}, {"errors", errors}})
        s.open(uri_of(name), text);

    // Hover on each of these (at its last byte): what the answer says; null
    // where there is none.
    const std::vector<std::pair<std::string, std::string>> hovers = {{"<Husten>", "speaker-noise tag"},
                                                                     {"<ah>", "hesitation tag"},
                                                                     {"<#Klopfen>", "technical-noise tag"},
                                                                     {"<P>", "pause"},
                                                                     {"<A>", "breathing tag"},
                                                                     {".", "### T009 (error): missing blank\n"},
                                                                     {"ja", ""}};
    for (const auto& [needle, words] : hovers)
        s.request("textDocument/hover",
                  doc_params(uri_of("events"), {{"position", position_at(events, needle, needle.size() - 1)}}));
    const int completion = s.request("textDocument/completion",
                                     doc_params(uri_of("typing"), {{"position", position_at(typing, "<Hu", 3)}}));
    const int symbols = s.request("textDocument/documentSymbol", doc_params(uri_of("errors")));
    const int tokens = s.request("textDocument/semanticTokens/full", doc_params(uri_of("colours")));
    const json dot = position_at(events, ".");
    const int actions = s.request("textDocument/codeAction",
                                  doc_params(uri_of("events"), {{"range", {{"start", dot}, {"end", dot}}},
                                                                {"context", {{"diagnostics", json::array()}}}}));
    s.finish();
    const session r = run_server(s);
    ASSERT_EQ(r.run.status, 0) << r.run.err;
    const json capabilities = r.response(1)["result"]["capabilities"];

    for (std::size_t i = 0; i < hovers.size(); ++i) {
        SCOPED_TRACE(hovers[i].first);
        const json answer = r.response(2 + static_cast<int>(i))["result"];
        ASSERT_EQ(answer.is_null(), hovers[i].second.empty()) << answer;
        if (answer.is_null())
            continue;
        const std::string value = answer["contents"]["value"];
        EXPECT_EQ(answer["contents"]["kind"], "markdown");
        EXPECT_TRUE(value.starts_with("### ") && value.find(hovers[i].second) != std::string::npos) << value;
        EXPECT_EQ(answer["range"]["start"], position_at(events, hovers[i].first));
    }
    const std::string explanation = r.response(7)["result"]["contents"]["value"];
    EXPECT_NE(explanation.find("```\ng012abc3_001_ABC_000000: ja.\n"), std::string::npos) << explanation;

    // Completion after "<Hu": the speaker-noise tags of lex.trl.l that begin
    // so, read here from the rule file ("..." strings, \" for ").
    std::ifstream rules(TRL_LEX_RULES);
    std::vector<std::string> wanted;
    for (std::string line; std::getline(rules, line);)
        for (std::size_t at = line.find('"'); line.starts_with("SPEAKER_NOISE") && at != std::string::npos;
             at = line.find('"', at + 1)) {
            std::string tag;
            for (++at; at < line.size() && line[at] != '"'; ++at)
                tag += line[at] == '\\' ? line[++at] : line[at];
            if (tag.starts_with("<Hu"))
                wanted.push_back(tag);
        }
    ASSERT_EQ(wanted, std::vector<std::string>{"<Husten>"});
    const json items = r.response(completion)["result"]["items"];
    ASSERT_EQ(items.size(), 1u) << items;
    EXPECT_EQ(items[0]["label"], "<Husten>");
    EXPECT_NE(items[0]["detail"].get<std::string>().find("speaker-noise"), std::string::npos);
    EXPECT_EQ(items[0]["textEdit"],
              (json{{"newText", "<Husten>"},
                    {"range", {{"start", position_at(typing, "<Hu")}, {"end", position_at(typing, "<Hu", 3)}}}}));

    // Symbols: each line after a comment or an empty line with a complete
    // identification (23 characters and ':'), up to the line after the next
    // empty line; the turn with five digits in its CD-ROM number is none.
    std::vector<std::string> lines;
    std::istringstream in(errors);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    json expected = json::array();
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (!(lines[i - 1].empty() || lines[i - 1].starts_with(";")) || lines[i].find(':') != 23)
            continue;
        const std::size_t end =
            std::find(lines.begin() + static_cast<std::ptrdiff_t>(i), lines.end(), "") - lines.begin();
        expected.push_back({{"name", lines[i].substr(0, 23)},
                            {"detail", lines[i].substr(13, 3)},
                            {"line", i},
                            {"end", {{"line", std::min(end + 1, lines.size())}, {"character", 0}}}});
    }
    json got = json::array();
    const json listed = r.response(symbols)["result"];
    for (const json& sym : listed) {
        EXPECT_EQ(sym["selectionRange"]["end"]["character"], 24);
        got.push_back({{"name", sym["name"]},
                       {"detail", sym["detail"]},
                       {"line", sym["range"]["start"]["line"]},
                       {"end", sym["range"]["end"]}});
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(expected.size(), 6u);

    // Semantic tokens, decoded with the legend.
    const json legend = capabilities["semanticTokensProvider"]["legend"]["tokenTypes"];
    const json data = r.response(tokens)["result"]["data"];
    std::vector<std::pair<std::string, std::string>> decoded;
    for (std::size_t i = 0, line = 0, character = 0; i + 5 <= data.size(); i += 5) {
        character = data[i] == 0 ? character + data[i + 1].get<std::size_t>() : data[i + 1].get<std::size_t>();
        line += data[i].get<std::size_t>();
        std::size_t offset = 0;
        for (std::size_t l = 0; l < line; ++l)
            offset = colours.find('\n', offset) + 1;
        decoded.emplace_back(colours.substr(offset + character, data[i + 2]), legend[data[i + 3].get<std::size_t>()]);
    }
    EXPECT_EQ(decoded, (std::vector<std::pair<std::string, std::string>>{{"; note", "comment"},
                                                                         {"g012abc3_001_ABC_000000:", "namespace"},
                                                                         {"<A>", "keyword"},
                                                                         {"@1", "parameter"},
                                                                         {",", "operator"},
                                                                         {"<;c>", "comment"},
                                                                         {"<P>", "keyword"},
                                                                         {"1@", "parameter"},
                                                                         {".", "operator"}}));

    // At the '.' of "so.": the blank before it, not preferred (it changes
    // the text's elements); no fix of all, the text needing none that is
    // safe.  Both kinds are offered.
    const json at_dot = r.response(actions)["result"];
    ASSERT_EQ(at_dot.size(), 1u) << at_dot;
    EXPECT_EQ(at_dot[0]["kind"], "quickfix");
    EXPECT_EQ(at_dot[0]["diagnostics"][0]["code"], "T009");
    EXPECT_FALSE(at_dot[0].contains("isPreferred"));
    EXPECT_EQ(at_dot[0]["edit"]["changes"][uri_of("events")],
              (json::array({{{"range", {{"start", dot}, {"end", dot}}}, {"newText", " "}}})));
    EXPECT_EQ(capabilities["codeActionProvider"]["codeActionKinds"], (json{"quickfix", "source.fixAll.trl-check"}));
}

// Hover at the first and just past the last byte of a tag and of a
// diagnostic's text: a span's end is exclusive, so just past it the span
// says nothing (here nothing else does either).
TEST(LspProtocol, HoverEndsWhereTheSpanEnds)
{
    const std::string text = "g012abc3_001_ABC_000000: <Husten> so.\n\n";
    const std::size_t tag = text.find("<Husten>");
    const std::size_t dot = text.find('.');
    // Offset, and what the answer begins with (empty: none).
    const std::vector<std::pair<std::size_t, std::string>> hovers = {
        {tag, "### `<Husten>`"}, {tag + 7, "### `<Husten>`"}, {tag + 8, ""}, {dot, "### T009"}, {dot + 1, ""},
    };
    const std::string uri = uri_of("ends.trl");
    script s;
    s.initialize(true);
    s.open(uri, text);
    std::vector<int> ids;
    for (const auto& [offset, _] : hovers)
        ids.push_back(s.request("textDocument/hover",
                                doc_params(uri, {{"position", position_at(text, text.substr(offset), 0)}})));
    s.finish();
    const session r = run_server(s);
    ASSERT_EQ(r.run.status, 0) << r.run.err;
    for (std::size_t i = 0; i < hovers.size(); ++i) {
        SCOPED_TRACE(hovers[i].first);
        const json answer = r.response(ids[i])["result"];
        ASSERT_EQ(answer.is_null(), hovers[i].second.empty()) << answer;
        if (!answer.is_null()) {
            EXPECT_TRUE(answer["contents"]["value"].get<std::string>().starts_with(hovers[i].second)) << answer;
        }
    }
}

// The edits of a WorkspaceEdit for one document applied to its text
// (positions in UTF-8 code units: bytes).
std::string applied(std::string text, const json& edits)
{
    std::vector<std::size_t> starts{0};
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n')
            starts.push_back(i + 1);
    auto offset = [&](const json& p) {
        return starts.at(p["line"].get<std::size_t>()) + p["character"].get<std::size_t>();
    };
    std::vector<std::tuple<std::size_t, std::size_t, std::string>> todo;
    for (const json& e : edits)
        todo.emplace_back(offset(e["range"]["start"]), offset(e["range"]["end"]), e["newText"]);
    std::sort(todo.rbegin(), todo.rend());
    for (const auto& [from, to, by] : todo)
        text.replace(from, to - from, by);
    return text;
}

std::string replaced(std::string text, std::string_view what, std::string_view by)
{
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += by.size())
        text.replace(at, what.size(), by);
    return text;
}

// Code actions: every fix the checker's table has for a diagnostic in the
// range, the safe ones preferred, and all the safe fixes of the document at
// once, which write it as the conventions do: no byte order mark, LF line
// ends, the umlauts with a double quote, the empty line at the end.
TEST(LspProtocol, CodeActionsAreTheCheckersFixes)
{
    const std::string uri = uri_of("fix.trl");
    const std::string text = "\xEF\xBB\xBFg012abc3_001_ABC_000000: sch\xC3\xB6n , gr\xC3\xBC\xC3\x9F ja .\r\n\r\n"
                             "g012abc3_002_ABC_000000: <Hust> \xC3\x84rger .";
    script s;
    s.initialize(true);
    s.open(uri, text);
    const json everything = {{"start", {{"line", 0}, {"character", 0}}}, {"end", {{"line", 9}, {"character", 0}}}};
    const int all = s.request("textDocument/codeAction",
                              doc_params(uri, {{"range", everything}, {"context", {{"diagnostics", json::array()}}}}));
    const int only_fix_all =
        s.request("textDocument/codeAction",
                  doc_params(uri, {{"range", everything},
                                   {"context", {{"diagnostics", json::array()}, {"only", {"source.fixAll"}}}}}));
    s.finish();
    const session r = run_server(s);
    ASSERT_EQ(r.run.status, 0) << r.run.err;

    const json actions = r.response(all)["result"];
    std::map<std::string, int> preferred, not_preferred;
    json fix_all;
    for (const json& a : actions) {
        if (a["kind"] == "source.fixAll.trl-check") {
            fix_all = a;
            continue;
        }
        EXPECT_EQ(a["kind"], "quickfix");
        ++(a.value("isPreferred", false) ? preferred : not_preferred)[a["diagnostics"][0]["code"]];
        // Each fix mends its diagnostic's bytes, which it starts at.
        EXPECT_EQ(a["edit"]["changes"][uri][0]["range"]["start"], a["diagnostics"][0]["range"]["start"]) << a;
    }
    // The byte order mark, the first umlaut of each word of the first turn
    // (the rest of the word is passed over after an error), its carriage
    // return and the missing end of the text; the unknown tag.
    EXPECT_EQ(preferred, (std::map<std::string, int>{{"T002", 1}, {"T005", 3}, {"T006", 1}})) << actions;
    EXPECT_EQ(not_preferred, (std::map<std::string, int>{{"T011", 1}})) << actions;
    ASSERT_TRUE(fix_all.is_object()) << actions;
    std::string written = replaced(replaced(text.substr(3), "\r\n", "\n"), "\xC3\xB6", "\"o");
    written = replaced(replaced(replaced(written, "\xC3\xBC", "\"u"), "\xC3\x9F", "\"s"), "\xC3\x84", "\"A");
    EXPECT_EQ(applied(text, fix_all["edit"]["changes"][uri]), written + "\n\n");
    EXPECT_EQ(r.response(only_fix_all)["result"], json::array({fix_all}));
}

// The file: URI of a path, every byte but letters, digits and "/-._~"
// percent-escaped (a blank, a non-ASCII letter).
std::string file_uri(const fs::path& path)
{
    std::string uri = "file://";
    for (const char c : path.string()) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
            std::string_view("/-._~").find(c) != std::string_view::npos) {
            uri += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", b);
            uri += escaped;
        }
    }
    return uri;
}

// The command line's diagnostics of a file, as JSON objects.
std::vector<json> cli_diagnostics(const fs::path& path)
{
    std::vector<json> out;
    for (const json& d : test_support::parse_json_lines(test_support::run(TRL_CHECK_PATH, {"--format=json", path}).out))
        if (d["type"] == "diagnostic")
            out.push_back(d);
    return out;
}

// A message and its hints as the server writes them.
std::string with_hints(const json& d)
{
    std::string m = d["message"];
    for (const json& h : d["hints"])
        m += "\nhint: " + h.get<std::string>();
    return m;
}

const std::string a_turn = "g012abc3_001_ABC_000000: ja .\n\n";

// Whether a code action mends what the editor hides of a file: its
// diagnostic stands at the start of the text, and has no width.
bool is_note(const json& action)
{
    const json start = {{"line", 0}, {"character", 0}};
    return action.contains("diagnostics") &&
           action["diagnostics"][0]["range"] == json{{"start", start}, {"end", start}};
}
const std::string a_bom = "\xEF\xBB\xBF";

std::string crlf_of(std::string_view s)
{
    std::string out;
    for (const char c : s)
        out += c == '\n' ? "\r\n" : std::string(1, c);
    return out;
}

// Files whose bytes the editor's text does not show: each opened as a file:
// URI with a blank and a non-ASCII letter in its path, with the editor's
// text of it.  What the editor hides comes first, at the start of the first
// line, each with the command line's code, message and hints for those
// bytes and a hint naming the setting; the text's own diagnostics follow.
// Its quick fix on the first line is the client's command with the
// settings (for a client that runs it), or the edit of the letters.
TEST(LspProtocol, WhatTheEditorHidesOfAFileIsSaidOnTheFirstLine)
{
    const std::string latin1 = "g012abc3_001_ABC_000000: sch\xF6n , gr\xFC\xDF .\n\n";
    const std::string converted = text::latin1_to_utf8(latin1);
    std::string utf16 = "\xFF\xFE";
    for (const char c : a_turn)
        (utf16 += c) += '\0';
    struct hidden_case {
        const char* name;
        std::string file;
        std::string text;               // the editor's
        std::vector<std::string> codes; // of what it hides, in order
        std::vector<std::string> which; // the command line's diagnostic of each: "start", "CR", "byte"
        std::vector<json> settings;     // of each quick fix; null: an edit
    };
    const hidden_case cases[] = {
        {"byte order mark", a_bom + a_turn, a_turn, {"T005"}, {"start"}, {{{"bomb", false}}}},
        {"CR LF", crlf_of(a_turn), a_turn, {"T006"}, {"CR"}, {{{"fileformat", "unix"}}}},
        {"both",
         a_bom + crlf_of(a_turn + "g012abc3_002_ABC_000000: ja & so .\n\n"),
         a_turn + "g012abc3_002_ABC_000000: ja & so .\n\n",
         {"T005", "T006"},
         {"start", "CR"},
         {{{"bomb", false}}, {{"fileformat", "unix"}}}},
        {"UTF-16", utf16, a_turn, {"T005"}, {"start"}, {{{"bomb", false}, {"fileencoding", "utf-8"}}}},
        {"Latin-1", latin1, converted, {"T005"}, {"byte"}, {nullptr}},
        {"all shown", a_bom + crlf_of(latin1), a_bom + crlf_of(latin1), {}, {}, {}},
    };
    test_support::temp_dir dir;
    for (const bool client_runs_command : {true, false}) {
        SCOPED_TRACE(client_runs_command ? "the client runs the command" : "a client without the command");
        script s;
        json options = json::object();
        if (client_runs_command)
            options["clientCommands"] = {"other.command", "trl-check.writeFile"};
        s.request("initialize", {{"processId", nullptr},
                                 {"capabilities", {{"general", {{"positionEncodings", {"utf-8"}}}}}},
                                 {"initializationOptions", options}});
        s.notify("initialized", json::object());
        std::vector<int> first_line, second_line, hovers;
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            const std::string path = dir.write("a b/\xC3\xB6 " + std::to_string(i) + ".trl", cases[i].file);
            s.open(file_uri(path), cases[i].text);
            hovers.push_back(s.request("textDocument/hover",
                                       doc_params(file_uri(path), {{"position", {{"line", 0}, {"character", 0}}}})));
            for (auto* ids : {&first_line, &second_line}) {
                const json at = {{"line", ids == &first_line ? 0 : 1}, {"character", 0}};
                ids->push_back(s.request("textDocument/codeAction",
                                         doc_params(file_uri(path), {{"range", {{"start", at}, {"end", at}}},
                                                                     {"context", {{"diagnostics", json::array()}}}})));
            }
        }
        s.finish();
        const session r = run_server(s);
        ASSERT_EQ(r.run.status, 0) << r.run.err;
        const json save = r.response(1)["result"]["capabilities"]["textDocumentSync"]["save"];
        EXPECT_TRUE(save == true || save.is_object()) << save; // the server hears of saves

        for (std::size_t i = 0; i < std::size(cases); ++i) {
            const hidden_case& c = cases[i];
            SCOPED_TRACE(c.name);
            const fs::path path = dir / ("a b/\xC3\xB6 " + std::to_string(i) + ".trl");
            const std::string uri = file_uri(path);
            const std::vector<json> published = r.published(uri);
            ASSERT_EQ(published.size(), 1u);
            const json& got = published[0]["diagnostics"];
            ASSERT_GE(got.size(), c.codes.size()) << got;
            const std::vector<json> cli = cli_diagnostics(path);
            for (std::size_t n = 0; n < c.codes.size(); ++n) {
                const json& note = got[n];
                EXPECT_EQ(note["code"], c.codes[n]);
                EXPECT_EQ(note["range"],
                          (json{{"start", {{"line", 0}, {"character", 0}}}, {"end", {{"line", 0}, {"character", 0}}}}));
                const auto said = std::find_if(cli.begin(), cli.end(), [&](const json& d) {
                    return c.which[n] == "start" ? d["line"] == 1 && d["column"] == 1
                           : c.which[n] == "CR"  ? d["found"] == "\\r"
                                                 : d["found"].get<std::string>().starts_with("\\x");
                });
                ASSERT_NE(said, cli.end());
                EXPECT_EQ(note["code"], (*said)["code"]);
                const std::string message = note["message"];
                EXPECT_TRUE(message.starts_with(with_hints(*said) + "\nhint: ")) << message;
                const std::string setting = c.settings[n].is_null()                  ? "Latin-1"
                                            : c.settings[n].contains("fileencoding") ? ":set fileencoding=utf-8 nobomb"
                                            : c.settings[n].contains("bomb")         ? ":set nobomb"
                                                                                     : ":set fileformat=unix";
                EXPECT_NE(message.find(setting), std::string::npos) << message;
                EXPECT_EQ(note["relatedInformation"][0]["message"],
                          "velmar: parse error in line " + std::to_string((*said)["velmar_line"].get<int>()));
            }
            // Hover at the start explains each code said there, once.
            const json hover = r.response(hovers[i])["result"];
            for (const std::string& code : c.codes) {
                const std::string heading = "### " + code + " (error)";
                const std::string value = hover.is_null() ? "" : hover["contents"]["value"].get<std::string>();
                EXPECT_NE(value.find(heading), std::string::npos) << hover;
                EXPECT_EQ(value.find(heading), value.rfind(heading)) << hover;
            }
            json rest = json::array();
            for (std::size_t n = c.codes.size(); n < got.size(); ++n)
                rest.push_back(got[n]);
            EXPECT_EQ(published_triples(rest), checker_triples(c.text, true));

            // The quick fixes on the first line, none on the second.
            const json on_first = r.response(first_line[i])["result"];
            const json on_second = r.response(second_line[i])["result"];
            std::vector<json> fixes;
            for (const json& a : on_first)
                if (is_note(a))
                    fixes.push_back(a);
            std::vector<json> expected_fixes;
            for (std::size_t n = 0; n < c.codes.size(); ++n) {
                if (c.settings[n].is_null()) {
                    EXPECT_EQ(applied(c.text, fixes.at(expected_fixes.size())["edit"]["changes"][uri]),
                              "g012abc3_001_ABC_000000: sch\"on , gr\"u\"s .\n\n");
                    expected_fixes.push_back(fixes.at(expected_fixes.size()));
                } else if (client_runs_command) {
                    json arguments = c.settings[n];
                    arguments["uri"] = uri;
                    ASSERT_LT(expected_fixes.size(), fixes.size());
                    const json& command = fixes[expected_fixes.size()]["command"];
                    EXPECT_EQ(command["command"], "trl-check.writeFile");
                    EXPECT_EQ(command["arguments"], json::array({arguments}));
                    expected_fixes.push_back(fixes[expected_fixes.size()]);
                }
            }
            EXPECT_EQ(fixes, expected_fixes);
            for (const json& f : fixes) {
                EXPECT_EQ(f["kind"], "quickfix");
                EXPECT_EQ(f["isPreferred"], true);
            }
            for (const json& a : on_second)
                EXPECT_FALSE(is_note(a)) << a;
        }
    }
}

// Opened and saved: a save reads the file again and compares it with the
// text of that moment (the script cannot change the file during the
// session: the editor's text changes instead).  Files that cannot be read
// and URIs that name no file of this machine say nothing of a file.
TEST(LspProtocol, OpenAndSaveReadTheFile)
{
    test_support::temp_dir dir;
    const std::string with_bom = dir.write("bom.trl", a_bom + a_turn);
    const fs::path folder = dir / "folder.trl";
    fs::create_directories(folder);
    const fs::path fifo = dir / "fifo.trl";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string unreadable = dir.write("unreadable.trl", a_bom + a_turn);
    fs::permissions(unreadable, fs::perms::none);
    const bool root = ::geteuid() == 0; // reads any file whatever its permissions

    const std::string bom_uri = file_uri(with_bom);
    // Each URI opened with a_turn, the file's text without its byte order
    // mark: whether the editor is told that it hides one.
    const std::vector<std::pair<std::string, bool>> opened = {
        {file_uri(dir / "deleted.trl"), false},
        {file_uri(folder), false},
        {file_uri(fifo), false},
        {file_uri(unreadable), root},
        {"untitled:" + with_bom, false},
        {"file://elsewhere" + with_bom, false},
        {"file://localhost" + with_bom, true},
        {bom_uri.substr(0, bom_uri.size() - 4) + "%2Etrl", true},
        {bom_uri.substr(0, bom_uri.size() - 4) + "%G0trl", false},
    };
    script s;
    s.initialize(true);
    for (const auto& [uri, hidden] : opened) {
        s.open(uri, a_turn);
        await_check(s, uri);
    }
    // The text holds the byte order mark as the file does: nothing hidden;
    // it loses it and is saved: the byte order mark is hidden (as it is when
    // the editor has written the file with the mark again); it gets it back
    // and is saved with its text: nothing hidden again.
    s.open(bom_uri, a_bom + a_turn);
    await_check(s, bom_uri);
    s.change(bom_uri, 2, {{0, 0, 0, 3}}, {""}); // the mark is one character of three bytes
    await_check(s, bom_uri);
    s.notify("textDocument/didSave", doc_params(bom_uri));
    await_check(s, bom_uri);
    s.notify("textDocument/didSave", doc_params(bom_uri, {{"text", a_bom + a_turn}}));
    await_check(s, bom_uri);
    s.finish();
    const session r = run_server(s);
    ASSERT_FALSE(r.run.timed_out);
    ASSERT_EQ(r.run.status, 0) << r.run.err;

    for (const auto& [uri, hidden] : opened) {
        SCOPED_TRACE(uri);
        const std::vector<json> published = r.published(uri);
        ASSERT_EQ(published.size(), 1u);
        const triples note = hidden ? triples{{0, 0, "T005"}} : triples{};
        EXPECT_EQ(published_triples(published[0]["diagnostics"]), note);
    }
    std::vector<triples> versions;
    for (const json& p : r.published(bom_uri))
        versions.push_back(published_triples(p["diagnostics"]));
    // The text with its byte order mark has the diagnostic of the mark's
    // first byte, the same place and code as the note of the hidden one.
    const triples visible = checker_triples(a_bom + a_turn, true);
    ASSERT_EQ(visible, (triples{{0, 0, "T005"}}));
    EXPECT_EQ(versions, (std::vector<triples>{visible, {}, {{0, 0, "T005"}}, visible}));
    const std::vector<json> all = r.published(bom_uri);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[2]["diagnostics"][0]["range"]["end"], (json{{"line", 0}, {"character", 0}}));
    EXPECT_EQ(all[3]["diagnostics"][0]["range"]["end"], (json{{"line", 0}, {"character", 3}}));
}

// Bad input, each case followed by a request that must still be answered:
// between two of those answers come exactly the errors expected.
TEST(LspProtocol, BadInputGetsErrorsAndTheServerReadsOn)
{
    const std::string uri = uri_of("a.trl");
    const std::size_t too_large = (std::size_t{64} << 20) + 1;
    const auto message = [](json m) { return (m["jsonrpc"] = "2.0", m.dump()); };
    const json hover = {{"textDocument", {{"uri", uri}}}, {"position", {{"line", 0}, {"character", 0}}}};
    json bad_position = hover, closed = hover;
    bad_position["position"]["line"] = "0";
    closed["textDocument"]["uri"] = uri_of("closed.trl");
    // What is sent (after "raw:" bytes as they are, else a body), the error
    // code of the answer (0: no answer).
    const std::pair<std::string, int> cases[] = {
        {R"({"jsonrpc":"2.0","id":)", -32700},
        {"[1,2]", -32600},
        {R"({"id":"x","method":"shutdown"})", -32600},
        {message({{"id", json::object()}, {"method", "shutdown"}}), -32600},
        {message({{"id", "u"}, {"method", "textDocument/unknown"}}), -32601},
        {message({{"id", "p"}, {"method", "textDocument/hover"}, {"params", doc_params(uri)}}), -32602},
        {message({{"id", "t"}, {"method", "textDocument/hover"}, {"params", bad_position}}), -32602},
        {message({{"id", 99}, {"method", "textDocument/hover"}, {"params", 5}}), -32602},
        {message({{"id", "c"}, {"method", "textDocument/hover"}, {"params", closed}}), -32602},
        {message({{"method", "custom/thing"}}), 0},
        {message({{"method", "textDocument/didChange"}, {"params", doc_params(uri)}}), 0},
        {message({{"method", "$/cancelRequest"}, {"params", {{"id", 1}}}}), 0},
        {"raw:Content-Type: x\r\n\r\n{}", -32700},
        {"raw:Content-Length: 1x\r\n\r\n{}", -32700},
        {"raw:hello\r\n{}", -32700},
        {"raw:Content-Length: " + std::to_string(too_large) + "\r\n\r\n" + std::string(too_large, '{'), -32600}};
    script s;
    s.initialize(false);
    s.open(uri, "g012abc3_001_ABC_000000: ja .\n\n");
    std::vector<int> probes;
    for (const auto& [bytes, code] : cases) {
        if (bytes.starts_with("raw:"))
            s.input += bytes.substr(4);
        else
            s.frame(bytes);
        probes.push_back(s.request("textDocument/documentSymbol", doc_params(uri)));
    }
    s.finish();
    const session r = run_server(s);
    ASSERT_EQ(r.run.status, 0) << r.run.err;
    ASSERT_TRUE(r.framed);
    std::vector<json> answers; // in order, after initialize's
    for (const json& m : r.messages)
        if (!m.contains("method") && m["id"] != 1)
            answers.push_back(m);
    auto at = answers.begin();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].first.substr(0, 120));
        const auto probe = std::find_if(at, answers.end(), [&](const json& a) { return a["id"] == probes[i]; });
        ASSERT_NE(probe, answers.end());
        ASSERT_EQ(probe - at, cases[i].second ? 1 : 0);
        if (cases[i].second) {
            EXPECT_EQ((*at)["error"]["code"], cases[i].second) << *at;
        }
        EXPECT_EQ((*probe)["result"].size(), 1u);
        at = probe + 1;
    }
}

} // namespace
