// The JSON writer's structure: fields and items in the order given, a comma
// between two and none elsewhere, objects and lists inside each other, null,
// whole numbers of every width, and a line of JSON Lines; each compared with
// the exact text and read back by a JSON parser.  How strings are escaped is
// common/text.h's rule, tested there.
#include "common/json_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/json.h"

namespace {

using json_writer::array;
using json_writer::object;
using test_support::json;

TEST(JsonWriter, Structure)
{
    const struct {
        std::string written, expected;
    } cases[] = {
        {object().str(), "{}"},
        {array().str(), "[]"},
        {object().field("a", "x").str(), R"({"a":"x"})"},
        {object().field("a", "x").field("b", "y").field("c", "z").str(), R"({"a":"x","b":"y","c":"z"})"},
        {object().null("a").field("b", 1).null("c").str(), R"({"a":null,"b":1,"c":null})"},
        {object().field("a", std::optional<int>()).field("b", std::optional<int>(2)).str(), R"({"a":null,"b":2})"},
        {object().field("a", std::optional<std::string>("s")).str(), R"({"a":"s"})"},
        {object().field("e", object()).field("l", array()).str(), R"({"e":{},"l":[]})"},
        {object().field("o", object().field("p", object().field("q", 1))).field("r", 2).str(),
         R"({"o":{"p":{"q":1}},"r":2})"},
        {array().add(1).add("two").add(object().field("three", 3)).add(array().str()).str(),
         R"([1,"two",{"three":3},"[]"])"},
        {array().raw("[]").raw("{}").raw("null").str(), "[[],{},null]"},
        {array().add(object()).add(object().field("a", array().add(1).add(2))).str(), R"([{},{"a":[1,2]}])"},
        {object().raw("seconds", "0.256").raw("rates", "[8000,16000]").str(),
         R"({"seconds":0.256,"rates":[8000,16000]})"},
        {json_writer::strings(std::vector<std::string>{"a", "b", "c"}).str(), R"(["a","b","c"])"},
        {json_writer::strings(std::vector<std::string_view>{}).str(), "[]"},
        {object().field("n", 0).field("m", -1).field("k", 42u).str(), R"({"n":0,"m":-1,"k":42})"},
        {object().field("min", std::numeric_limits<std::int64_t>::min()).str(), R"({"min":-9223372036854775808})"},
        {object().field("max", std::numeric_limits<std::uint64_t>::max()).str(), R"({"max":18446744073709551615})"},
        {array().add(std::int8_t{-5}).add(std::uint16_t{65535}).add(std::size_t{7}).str(), "[-5,65535,7]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.written, c.expected);
        EXPECT_EQ(json::parse(c.written), json::parse(c.expected)) << c.written;
    }
}

// A record of the kind the programs write: one line, read back whole, its
// fields in the order given.
TEST(JsonWriter, Lines)
{
    const std::string line = object()
                                 .field("type", "word")
                                 .field("word", std::string_view("say \"hi\"\n\\ \x01"))
                                 .field("count", 3)
                                 .field("big", std::int64_t{-9000000000})
                                 .field("unsigned", std::size_t{7})
                                 .raw("seconds", "0.25")
                                 .field("rates", array().add(8000).add(16000))
                                 .field("utf8", "M\xC3\xBCller")
                                 .field("places", json_writer::strings(std::vector<std::string>{"a:1", "b:2"}))
                                 .line();
    ASSERT_TRUE(line.ends_with("}\n"));
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
    const json j = json::parse(line);
    EXPECT_EQ(j, (json{{"type", "word"},
                       {"word", "say \"hi\"\n\\ \x01"},
                       {"count", 3},
                       {"big", -9000000000},
                       {"unsigned", 7},
                       {"seconds", 0.25},
                       {"rates", {8000, 16000}},
                       {"utf8", "M\xC3\xBCller"},
                       {"places", {"a:1", "b:2"}}}));
    EXPECT_TRUE(line.starts_with(R"({"type":"word","word":)")) << line;
    EXPECT_EQ(object().line(), "{}\n");
    // A value written and then added to keeps what it had.
    object o;
    o.field("a", 1);
    const std::string before = o.str();
    o.field("b", 2);
    EXPECT_EQ(before, R"({"a":1})");
    EXPECT_EQ(o.str(), R"({"a":1,"b":2})");
}

} // namespace
