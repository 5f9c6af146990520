// trl-check --lsp driven by a scripted client: lifecycle, diagnostics
// against the command line and against the checker on an independently
// edited text, positions in both encodings, the requests, and bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "acceptance.h"
#include "check.h"
#include "client.h"
#include "text.h"

namespace {

using namespace lsp_test;
namespace fs = std::filesystem;

std::string example(const std::string& name)
{
    return test_support::read_file(fs::path(TRL_CHECK_EXAMPLES) / name);
}

// The model of positions: line and character of a byte offset, counted here
// from the start of the text.
std::pair<std::size_t, std::size_t> model_position(std::string_view text, std::size_t offset, bool utf8)
{
    const std::size_t line_start = text.rfind('\n', offset == 0 ? 0 : offset - 1);
    const std::size_t from = offset == 0 || line_start == std::string_view::npos ? 0 : line_start + 1;
    std::size_t units = 0;
    for (std::size_t i = from; i < offset;) {
        const text::utf8_char c = text::decode_utf8(text.substr(i, offset - i));
        const std::size_t bytes = c.length ? c.length : 1;
        units += utf8 ? bytes : c.code_point > 0xFFFF ? 2 : 1;
        i += bytes;
    }
    return {static_cast<std::size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(from), '\n')),
            units};
}

// Diagnostics as (line, character, code) lists, from the server and from
// the checker run here.
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
    trl_check::checker ck;
    triples out;
    for (const trl_check::diagnostic& d : ck.check(text).diagnostics) {
        const auto [line, character] = model_position(text, d.offset, utf8);
        out.emplace_back(line, character, trl_check::info(d.kind).id);
    }
    return out;
}

// The start of the well-formed character that holds `at` (`at` itself when
// none does).
std::size_t char_start(std::string_view text, std::size_t at)
{
    for (std::size_t back = 1; back <= 3 && back <= at; ++back)
        if (text::decode_utf8(text.substr(at - back)).length > back)
            return at - back;
    return at;
}

// The strings in double quotes on a line of the rule file, \" read as ".
std::vector<std::string> quoted_strings(std::string_view line)
{
    std::vector<std::string> out;
    for (std::size_t at = line.find('"'); at != std::string_view::npos; at = line.find('"', at + 1)) {
        std::string s;
        for (++at; at < line.size() && line[at] != '"'; ++at)
            s += line[at] == '\\' ? line[++at] : line[at];
        out.push_back(s);
    }
    return out;
}

// Whether a line begins with a turn identification as the conventions
// describe it: a small letter, three digits, three small letters, a digit,
// '_', three digits, '_', two capitals and a capital or digit, '_', six
// digits, ':'.
bool is_identification(std::string_view line)
{
    constexpr std::string_view shape = "a999aaa9_999_AAX_999999:";
    if (line.size() < shape.size())
        return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const char c = line[i];
        const bool digit = c >= '0' && c <= '9', upper = c >= 'A' && c <= 'Z';
        const bool ok = shape[i] == 'a'   ? c >= 'a' && c <= 'z'
                        : shape[i] == '9' ? digit
                        : shape[i] == 'A' ? upper
                        : shape[i] == 'X' ? upper || digit
                                          : c == shape[i];
        if (!ok)
            return false;
    }
    return true;
}

json position_at(std::string_view text, std::string_view needle, std::size_t plus = 0)
{
    const auto [line, character] = model_position(text, text.find(needle) + plus, true);
    return {{"line", line}, {"character", character}};
}

json doc_params(const std::string& uri, json extra = json::object())
{
    extra["textDocument"] = {{"uri", uri}};
    return extra;
}

TEST(LspProtocol, LifecycleAndExitStatus)
{
    const std::string uri = uri_of("a.trl");
    const json hover = doc_params(uri, {{"position", {{"line", 0}, {"character", 0}}}});
    struct lifecycle_case {
        const char* name;
        std::function<void(script&)> steps;
        int status;
        std::vector<std::pair<int, int>> errors;   // request id, error code
    };
    const lifecycle_case cases[] = {
        {"shutdown, exit", [](script& s) { s.initialize(false), s.finish(); }, 0, {}},
        {"exit without shutdown", [](script& s) { s.initialize(false), s.frame(R"({"jsonrpc":"2.0","method":"exit"})"); }, 1, {}},
        {"end of input", [](script& s) { s.initialize(false); }, 1, {}},
        {"shutdown, end of input", [](script& s) { s.initialize(false), s.request("shutdown", nullptr); }, 0, {}},
        {"request before initialize", [&](script& s) { s.request("textDocument/hover", hover), s.initialize(false), s.finish(); },
         0, {{1, -32002}}},
        {"initialize twice", [](script& s) { s.initialize(false), s.initialize(false), s.finish(); }, 0, {{2, -32600}}},
        {"request after shutdown",
         [&](script& s) {
             s.initialize(false), s.request("shutdown", nullptr), s.request("textDocument/hover", hover);
             s.frame(R"({"jsonrpc":"2.0","method":"exit"})");
         },
         0, {{3, -32600}}},
    };
    for (const lifecycle_case& c : cases) {
        SCOPED_TRACE(c.name);
        script s;
        c.steps(s);
        const session r = run_server(s);
        EXPECT_EQ(r.run.status, c.status) << r.run.err;
        EXPECT_EQ(r.problem, "");
        for (int id = 1; id <= s.last_id(); ++id) {
            const json answer = r.response(id);
            ASSERT_FALSE(answer.is_null()) << "request " << id << " has no single answer";
            const auto error = std::find_if(c.errors.begin(), c.errors.end(), [&](auto& e) { return e.first == id; });
            if (error != c.errors.end())
                EXPECT_EQ(answer["error"]["code"], error->second) << answer;
            else
                EXPECT_TRUE(answer.contains("result")) << answer;
        }
        EXPECT_EQ(r.messages.size(), static_cast<std::size_t>(s.last_id()));   // requests only: nothing else
    }
}

TEST(LspProtocol, DiagnosticsOfErrorsTrlAreTheCommandLines)
{
    const std::string uri = uri_of("errors.trl");
    script s;
    s.initialize(true);
    s.open(uri, example("errors.trl"), 7);
    // A hover waits for the check of the version it is about: it is
    // published before a didClose can drop it.
    s.request("textDocument/hover", doc_params(uri, {{"position", {{"line", 0}, {"character", 0}}}}));
    s.notify("textDocument/didClose", doc_params(uri));
    s.finish();
    const session r = run_server(s);
    ASSERT_EQ(r.run.status, 0) << r.run.err;
    const json init = r.response(1)["result"]["capabilities"];
    EXPECT_EQ(init["positionEncoding"], "utf-8");

    const test_support::run_result cli =
        test_support::run(TRL_CHECK_PATH, {"--format=json", fs::path(TRL_CHECK_EXAMPLES) / "errors.trl"});
    std::vector<json> expected;
    for (const json& line : test_support::parse_json_lines(cli.out))
        if (line["type"] == "diagnostic")
            expected.push_back(line);

    const std::vector<json> published = r.published(uri);
    ASSERT_EQ(published.size(), 2u);
    EXPECT_EQ(published[0]["version"], 7);
    const json& got = published[0]["diagnostics"];
    ASSERT_EQ(got.size(), expected.size());
    ASSERT_EQ(expected.size(), 4u);
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
    // didClose empties the list.
    EXPECT_EQ(published[1]["diagnostics"], json::array());
    EXPECT_FALSE(published[1].contains("version"));
}

// Random edits, in both encodings, on several documents in one session;
// the last diagnostics of each must be the checker's on the text edited
// here.
TEST(LspProtocol, IncrementalEditsGiveTheDiagnosticsOfTheEditedText)
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

    const std::vector<std::string> pieces = {" ", ".", "\n", "\n\n", "ja ", " .\n\n", "<ah> ", "<;x\n> ", "\xC3\xB6",
                                             "\xF6", "\xF0\x9F\x99\x82", "g012abc3_001_ABC_000000: ", "\r\n", ""};
    for (const bool utf8 : {true, false}) {
        SCOPED_TRACE(utf8 ? "utf-8" : "utf-16");
        std::mt19937 random(utf8 ? 7 : 11);
        script s;
        s.initialize(utf8);
        std::vector<std::string> model = texts;
        constexpr int versions = 25;
        for (std::size_t d = 0; d < model.size(); ++d) {
            s.open(uri_of(std::to_string(d) + ".trl"), model[d]);
            for (int v = 2; v <= versions; ++v) {
                std::vector<std::vector<std::size_t>> ranges;
                std::vector<std::string> replacements;
                for (int n = 1 + static_cast<int>(random() % 3); n > 0; --n) {
                    std::size_t from = char_start(model[d], random() % (model[d].size() + 1));
                    std::size_t to = char_start(model[d], std::min(model[d].size(), from + random() % 12));
                    if (to < from)
                        std::swap(from, to);
                    const auto [l1, c1] = model_position(model[d], from, utf8);
                    const auto [l2, c2] = model_position(model[d], to, utf8);
                    const std::string piece = pieces[random() % pieces.size()];
                    ranges.push_back({l1, c1, l2, c2});
                    replacements.push_back(piece);
                    model[d].replace(from, to - from, piece);
                }
                s.change(uri_of(std::to_string(d) + ".trl"), v, ranges, replacements);
            }
        }
        s.finish();
        const session r = run_server(s);
        ASSERT_EQ(r.run.status, 0) << r.run.err;
        for (std::size_t d = 0; d < model.size(); ++d) {
            const std::vector<json> published = r.published(uri_of(std::to_string(d) + ".trl"));
            ASSERT_FALSE(published.empty());
            EXPECT_EQ(published.back()["version"], versions);
            EXPECT_EQ(published_triples(published.back()["diagnostics"]), checker_triples(model[d], utf8))
                << "document " << d << ": " << text::escape_bytes(model[d]);
        }
    }
}

// A line with ö in UTF-8, a Latin-1 byte and a character outside the BMP
// (in a comment) before the error; a blank put in by an incremental change
// in either encoding ends it.
TEST(LspProtocol, ColumnsInUtf8AndUtf16)
{
    const std::string text = "g012abc3_001_ABC_000000: ja <;sch\xC3\xB6n \xF6 \xF0\x9F\x99\x82> so.\n\n";
    const std::size_t dot = text.find("so.") + 2;
    for (const bool utf8 : {true, false}) {
        SCOPED_TRACE(utf8 ? "utf-8" : "utf-16");
        // Bytes before the '.', less one unit for ö, three for the emoji in
        // UTF-16 (two units for four bytes) or none in UTF-8.
        const std::size_t character = utf8 ? dot : dot - 1 - 2;
        const std::string uri = uri_of("columns.trl");
        script s;
        s.initialize(utf8);
        s.open(uri, text);
        s.request("textDocument/hover", doc_params(uri, {{"position", {{"line", 0}, {"character", 0}}}}));
        s.change(uri, 2, {{0, character, 0, character}}, {" "});
        s.finish();
        const session r = run_server(s);
        ASSERT_EQ(r.run.status, 0) << r.run.err;
        EXPECT_EQ(r.response(1)["result"]["capabilities"]["positionEncoding"], utf8 ? "utf-8" : "utf-16");
        const std::vector<json> published = r.published(uri);
        ASSERT_EQ(published.size(), 2u);
        EXPECT_EQ(published_triples(published[0]["diagnostics"]), (triples{{0, character, "T009"}}));
        EXPECT_EQ(published[0]["diagnostics"][0]["range"]["end"]["character"], character + 1);
        EXPECT_EQ(published[1]["version"], 2);
        EXPECT_EQ(published[1]["diagnostics"], json::array());
    }
}

// Hover, completion, symbols and semantic tokens on one session.
TEST(LspProtocol, Requests)
{
    const std::string events = "g012abc3_001_ABC_000000: <Husten> <ah> ja <#Klopfen> <P> <A> so.\n\n";
    const std::string colours = "; note\ng012abc3_001_ABC_000000: <A> @1ja , <;c> <P> so1@ .\n\n";
    const std::string typing = "g012abc3_001_ABC_000000: ja <Hu";
    const std::string errors = example("errors.trl");
    script s;
    s.initialize(true);
    for (const auto& [name, text] : {std::pair{"events", events}, {"colours", colours}, {"typing", typing}, {"errors", errors}})
        s.open(uri_of(name), text);

    // Hover: a table of places and what the answer says (null: no answer).
    const std::vector<std::pair<std::string, std::string>> hovers = {
        {"<Husten>", "speaker-noise tag"}, {"<ah>", "hesitation tag"}, {"<#Klopfen>", "technical-noise tag"},
        {"<P>", "pause"},   {"<A>", "breathing tag"},  {".", "### T009 (error): missing blank\n"},
        {"ja", ""},
    };
    std::vector<int> hover_ids;
    for (const auto& [needle, words] : hovers)
        hover_ids.push_back(s.request("textDocument/hover",
                                      doc_params(uri_of("events"), {{"position", position_at(events, needle, needle.size() - 1)}})));
    const int completion = s.request("textDocument/completion",
                                     doc_params(uri_of("typing"), {{"position", position_at(typing, "<Hu", 3)}}));
    const int symbols = s.request("textDocument/documentSymbol", doc_params(uri_of("errors")));
    const int tokens = s.request("textDocument/semanticTokens/full", doc_params(uri_of("colours")));
    const int actions = s.request("textDocument/codeAction",
                                  doc_params(uri_of("events"), {{"range", {{"start", position_at(events, ".")}, {"end", position_at(events, ".")}}},
                                                                {"context", {{"diagnostics", json::array()}}}}));
    s.finish();
    const session r = run_server(s);
    ASSERT_EQ(r.run.status, 0) << r.run.err;

    for (std::size_t i = 0; i < hovers.size(); ++i) {
        SCOPED_TRACE(hovers[i].first);
        const json answer = r.response(hover_ids[i])["result"];
        if (hovers[i].second.empty()) {
            EXPECT_TRUE(answer.is_null()) << answer;
            continue;
        }
        ASSERT_EQ(answer["contents"]["kind"], "markdown");
        const std::string value = answer["contents"]["value"];
        EXPECT_NE(value.find(hovers[i].second), std::string::npos) << value;
        EXPECT_EQ(value.starts_with("### "), true) << value;
        EXPECT_EQ(answer["range"]["start"], position_at(events, hovers[i].first));
    }
    const std::string explanation = r.response(hover_ids[5])["result"]["contents"]["value"];
    EXPECT_NE(explanation.find("```\ng012abc3_001_ABC_000000: ja.\n"), std::string::npos) << explanation;

    // Completion after "<Hu": the tags of lex.trl.l's definitions that
    // begin so, read here from the rule file.
    std::ifstream rules(TRL_LEX_RULES);
    std::string line;
    std::vector<std::string> wanted;
    while (std::getline(rules, line))
        if (line.starts_with("SPEAKER_NOISE"))
            for (const std::string& tag : quoted_strings(line))
                if (tag.starts_with("<Hu"))
                    wanted.push_back(tag);
    ASSERT_EQ(wanted, std::vector<std::string>{"<Husten>"});
    const json items = r.response(completion)["result"]["items"];
    ASSERT_EQ(items.size(), 1u) << items;
    EXPECT_EQ(items[0]["label"], "<Husten>");
    EXPECT_NE(items[0]["detail"].get<std::string>().find("speaker-noise"), std::string::npos);
    EXPECT_EQ(items[0]["textEdit"]["newText"], "<Husten>");
    EXPECT_EQ(items[0]["textEdit"]["range"]["start"], position_at(typing, "<Hu"));
    EXPECT_EQ(items[0]["textEdit"]["range"]["end"], position_at(typing, "<Hu", 3));

    // Symbols: the lines that begin with a well-formed identification at the
    // start of a turn, up to the line after the next empty line.
    std::vector<std::string> lines;
    std::istringstream in(errors);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    json expected = json::array();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const bool turn_start = i == 0 || lines[i - 1].empty() || lines[i - 1].starts_with(";");
        if (!turn_start || !is_identification(lines[i]))
            continue;
        std::size_t end = i;
        while (end < lines.size() && !lines[end].empty())
            ++end;
        const json range_end = end < lines.size() ? json{{"line", end + 1}, {"character", 0}}
                                                  : json{{"line", lines.size()}, {"character", 0}};
        expected.push_back({{"name", lines[i].substr(0, 23)}, {"detail", lines[i].substr(13, 3)},
                            {"start", {{"line", i}, {"character", 0}}}, {"end", range_end},
                            {"selection_end", {{"line", i}, {"character", 24}}}});
    }
    json got = json::array();
    const json listed = r.response(symbols)["result"];
    for (const json& sym : listed)
        got.push_back({{"name", sym["name"]}, {"detail", sym["detail"]}, {"start", sym["range"]["start"]},
                       {"end", sym["range"]["end"]}, {"selection_end", sym["selectionRange"]["end"]}});
    EXPECT_EQ(got, expected);
    EXPECT_EQ(expected.size(), 6u);   // the turn with five digits in its CD-ROM number is none

    // Semantic tokens, decoded with the legend.
    const json legend = r.response(1)["result"]["capabilities"]["semanticTokensProvider"]["legend"]["tokenTypes"];
    const json data = r.response(tokens)["result"]["data"];
    std::vector<std::pair<std::string, std::string>> decoded;
    std::size_t at_line = 0, at_char = 0;
    for (std::size_t i = 0; i + 5 <= data.size(); i += 5) {
        at_char = data[i] == 0 ? at_char + data[i + 1].get<std::size_t>() : data[i + 1].get<std::size_t>();
        at_line += data[i].get<std::size_t>();
        std::size_t offset = 0;
        for (std::size_t l = 0; l < at_line; ++l)
            offset = colours.find('\n', offset) + 1;
        decoded.emplace_back(colours.substr(offset + at_char, data[i + 2]), legend[data[i + 3].get<std::size_t>()]);
    }
    const std::vector<std::pair<std::string, std::string>> colour_table = {
        {"; note", "comment"}, {"g012abc3_001_ABC_000000:", "namespace"}, {"<A>", "keyword"}, {"@1", "parameter"},
        {",", "operator"},     {"<;c>", "comment"},   {"<P>", "keyword"},  {"1@", "parameter"},
        {".", "operator"},
    };
    EXPECT_EQ(decoded, colour_table);

    // No fixes yet: no actions, but the kinds are offered.
    EXPECT_EQ(r.response(actions)["result"], json::array());
    EXPECT_EQ(r.response(1)["result"]["capabilities"]["codeActionProvider"]["codeActionKinds"],
              (json{"quickfix", "source.fixAll.trl-check"}));
}

// Bad input, each case followed by a request that must still be answered:
// between two of those answers come exactly the errors expected.
TEST(LspProtocol, BadInputGetsErrorsAndTheServerReadsOn)
{
    const std::string uri = uri_of("a.trl");
    const json hover_at = {{"line", 0}, {"character", 0}};
    struct bad_case {
        const char* name;
        std::function<void(script&)> send;
        int code;   // 0: no answer at all
    };
    const bad_case cases[] = {
        {"malformed JSON", [](script& s) { s.frame(R"({"jsonrpc":"2.0","id":)"); }, -32700},
        {"not an object", [](script& s) { s.frame("[1,2]"); }, -32600},
        {"no jsonrpc member", [](script& s) { s.frame(R"({"id":"x","method":"shutdown"})"); }, -32600},
        {"id of a wrong type", [](script& s) { s.frame(R"({"jsonrpc":"2.0","id":{},"method":"shutdown"})"); }, -32600},
        {"unknown method", [](script& s) { s.request("textDocument/unknown", json::object()); }, -32601},
        {"no position", [&](script& s) { s.request("textDocument/hover", doc_params(uri)); }, -32602},
        {"position of a wrong type",
         [&](script& s) { s.request("textDocument/hover", doc_params(uri, {{"position", {{"line", "0"}, {"character", 0}}}})); },
         -32602},
        {"params not structured", [](script& s) { s.frame(R"({"jsonrpc":"2.0","id":99,"method":"textDocument/hover","params":5})"); },
         -32602},
        {"document not open",
         [&](script& s) { s.request("textDocument/hover", doc_params(uri_of("b.trl"), {{"position", hover_at}})); }, -32602},
        {"unknown notification", [](script& s) { s.notify("custom/thing", json::object()); }, 0},
        {"notification with bad params", [&](script& s) { s.notify("textDocument/didChange", doc_params(uri)); }, 0},
        {"cancellation", [](script& s) { s.notify("$/cancelRequest", {{"id", 1}}); }, 0},
        {"no Content-Length", [](script& s) { s.raw("Content-Type: x\r\n\r\n{}"); }, -32700},
        {"Content-Length not a number", [](script& s) { s.raw("Content-Length: 1x\r\n\r\n{}"); }, -32700},
        {"no header at all", [](script& s) { s.raw("hello\r\n{}"); }, -32700},
        {"body over 64 MiB",
         [](script& s) {
             const std::size_t size = (std::size_t{64} << 20) + 1;
             s.raw("Content-Length: " + std::to_string(size) + "\r\n\r\n" + std::string(size, '{'));
         },
         -32600},
    };
    script s;
    s.initialize(false);
    s.open(uri, "g012abc3_001_ABC_000000: ja .\n\n");
    std::vector<int> probes;
    for (const bad_case& c : cases) {
        c.send(s);
        probes.push_back(s.request("textDocument/documentSymbol", doc_params(uri)));
    }
    s.finish();
    const session r = run_server(s);
    ASSERT_EQ(r.run.status, 0) << r.run.err;
    ASSERT_EQ(r.problem, "");
    std::vector<json> answers;   // responses only, in order
    for (const json& m : r.messages)
        if (!m.contains("method"))
            answers.push_back(m);
    auto probe = answers.begin() + 1;   // after initialize's
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        const auto next = std::find_if(probe, answers.end(), [&](const json& a) { return a["id"] == probes[i]; });
        ASSERT_NE(next, answers.end());
        ASSERT_EQ(next - probe, cases[i].code ? 1 : 0);
        if (cases[i].code) {
            EXPECT_EQ((*probe)["error"]["code"], cases[i].code) << *probe;
        }
        EXPECT_EQ((*next)["result"].size(), 1u);
        probe = next + 1;
    }
}

} // namespace
