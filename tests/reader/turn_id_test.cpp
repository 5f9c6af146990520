// The turn identification: which texts are one (each part's shape, byte by
// byte), its parts, the language marker read after it, and its order.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "language/turn_id.h"

namespace {

using trl::turn_id;

TEST(TurnId, ParsesOnlyTheShapeOfAnIdentification)
{
    const struct {
        std::string text;
        bool valid;
    } cases[] = {
        {"g071ach1_001_ABC_004711", true},   {"z999zzz9_999_ZZ9_999999", true}, // the speaker code may end in a digit
        {"a000aaa0_000_AAA_000000", true},   {"", false},
        {"g071ach1_001_ABC_00471", false},   // a byte short
        {"g071ach1_001_ABC_0047111", false}, // a byte over
        {"G071ach1_001_ABC_004711", false},  // the dialog name: a small letter first
        {"gx71ach1_001_ABC_004711", false},  // then three digits
        {"g07xach1_001_ABC_004711", false},  {"g071Ach1_001_ABC_004711", false}, // then three small letters
        {"g071acH1_001_ABC_004711", false},  {"g071achx_001_ABC_004711", false}, // then a digit
        {"g071ach1-001_ABC_004711", false},                                      // '_' after it
        {"g071ach1_0a1_ABC_004711", false},                                      // the turn number: three digits
        {"g071ach1_00x_ABC_004711", false},  {"g071ach1_001-ABC_004711", false}, // '_' after it
        {"g071ach1_001_aBC_004711", false},                                      // the speaker code: capitals
        {"g071ach1_001_A1C_004711", false},                                      // a digit only last
        {"g071ach1_001_1BC_004711", false},  {"g071ach1_001_ABc_004711", false},
        {"g071ach1_001_ABC-004711", false}, // '_' after it
        {"g071ach1_001_ABC_0047x1", false}, // the CD-ROM number: six digits
        {"g071ach1_001_ABC_x04711", false},  {"g071ach1_001_ABC_00471:", false},
        {"g071ach1_001_ABC_004711:", false}, // the ':' is the turn's, not the identification's
    };
    for (const auto& c : cases) {
        const std::optional<turn_id> id = turn_id::parse(c.text);
        EXPECT_EQ(id.has_value(), c.valid) << c.text;
        if (id) {
            EXPECT_EQ(id->text(), c.text);
        }
    }
}

TEST(TurnId, Parts)
{
    const std::optional<turn_id> id = turn_id::parse("g071ach1_042_AB1_004711", "GER");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->text(), "g071ach1_042_AB1_004711");
    EXPECT_EQ(id->dialog(), "g071ach1");
    EXPECT_EQ(id->number(), "042");
    EXPECT_EQ(id->number_value(), 42);
    EXPECT_EQ(id->speaker(), "AB1");
    EXPECT_EQ(id->cdrom(), "004711");
    EXPECT_EQ(id->key(), "g071ach1_042_AB1");
    EXPECT_EQ(id->language(), "GER");
    for (const auto& [text, number] : {std::pair<const char*, int>{"g071ach1_000_ABC_000000", 0},
                                       {"g071ach1_999_ABC_000000", 999},
                                       {"g071ach1_100_ABC_000000", 100},
                                       {"g071ach1_010_ABC_000000", 10}})
        EXPECT_EQ(turn_id::parse(text)->number_value(), number) << text;
    EXPECT_EQ(turn_id::parse("g071ach1_042_AB1_004711")->language(), "");
}

TEST(TurnId, TheLanguageIsThreeCapitals)
{
    for (const char* language : {"GER", "ENG", "JAP", "XYZ"})
        EXPECT_EQ(turn_id::parse("g071ach1_001_ABC_004711", language)->language(), language);
    for (const char* language : {"Ger", "GE", "GERM", "GE1", "<*tGER> "})
        EXPECT_FALSE(turn_id::parse("g071ach1_001_ABC_004711", language)) << language;
}

// At the start of a turn's text: the identification, its ':', and the
// marker when ": <*tXXX> " follows as the scanner takes it.
TEST(TurnId, ReadsTheStartOfATurn)
{
    const struct {
        std::string text;
        std::optional<std::string> language; // nothing: no identification read
    } cases[] = {
        {"g071ach1_001_ABC_004711: ja .\n\n", ""},
        {"g071ach1_001_ABC_004711:", ""},
        {"g071ach1_001_ABC_004711: <*tGER> ja .\n\n", "GER"},
        {"g071ach1_001_ABC_004711: <*tENG> ", "ENG"},
        {"g071ach1_001_ABC_004711: <*tENG>", ""},    // no blank after the marker: none
        {"g071ach1_001_ABC_004711: <*tEN> ja", ""},  // too short
        {"g071ach1_001_ABC_004711: <*teng> ja", ""}, // small letters
        {"g071ach1_001_ABC_004711:<*tGER> ja", ""},  // the blank after the ':' comes first
        {"g071ach1_001_ABC_004711: <*TGER> ja", ""},
        {"g071ach1_001_ABC_004711", std::nullopt}, // no ':'
        {"g071ach1_001_ABC_004711 : ja", std::nullopt},
        {"g071ach1_001_ABC_<;x>004711: ja", std::nullopt}, // a comment between the parts
        {"g071ach1_001_ABC_0047: ja", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<turn_id> id = turn_id::read(c.text);
        ASSERT_EQ(id.has_value(), c.language.has_value()) << c.text;
        if (!id)
            continue;
        EXPECT_EQ(id->text(), "g071ach1_001_ABC_004711") << c.text;
        EXPECT_EQ(id->language(), *c.language) << c.text;
    }
}

TEST(TurnId, IsDialogName)
{
    for (const char* name : {"g071ach1", "a000aaa0", "z999zzz9"})
        EXPECT_TRUE(turn_id::is_dialog_name(name)) << name;
    for (const char* name : {"", "g071ach", "g071ach12", "G071ach1", "g071ach1_", "g07aach1", "g071a1h1", "g071achx"})
        EXPECT_FALSE(turn_id::is_dialog_name(name)) << name;
}

// Equal when every part is, the language too; sorted by the bytes of the
// identification, then the language.  An empty value sorts first.
TEST(TurnId, Order)
{
    const auto id = [](const char* text, const char* language = "") { return *turn_id::parse(text, language); };
    std::vector<turn_id> sorted = {
        turn_id{},
        id("g071ach1_001_ABC_000000"),
        id("g071ach1_001_ABC_000000", "ENG"),
        id("g071ach1_001_ABC_000000", "GER"),
        id("g071ach1_001_ABC_000001"),
        id("g071ach1_001_ABD_000000"),
        id("g071ach1_002_AAA_000000"),
        id("g071ach2_000_AAA_000000"),
    };
    for (std::size_t i = 0; i < sorted.size(); ++i)
        for (std::size_t j = 0; j < sorted.size(); ++j) {
            EXPECT_EQ(sorted[i] == sorted[j], i == j) << i << " " << j;
            EXPECT_EQ(sorted[i] < sorted[j], i < j) << i << " " << j;
        }
    std::vector<turn_id> shuffled(sorted.rbegin(), sorted.rend());
    std::sort(shuffled.begin(), shuffled.end());
    EXPECT_EQ(shuffled, sorted);
    EXPECT_EQ(turn_id{}.language(), "");
}

} // namespace
