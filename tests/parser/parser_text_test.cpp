// The checker over whole texts: what it echoes, where it stops, what it
// returns.
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "checker/lex.trl.h"
#include "tests/support/parse.h"
#include "checker/stack_limit.h"
#include "checker/velmar.h"

namespace {

const std::string minimal = turn("001_ABC", "hi .");

void expect_accepted(const std::string& text, const std::string& out)
{
    const parse_run r = parse_text(text);
    EXPECT_EQ(r.status, 0) << text;
    EXPECT_EQ(r.out, out) << text;
    EXPECT_EQ(r.err, "");
}

void expect_rejected(const std::string& text, const std::string& out)
{
    const parse_run r = parse_text(text);
    EXPECT_EQ(r.status, 1) << text;
    EXPECT_EQ(r.out, out) << text;
    EXPECT_EQ(r.err, "");
}

TEST(Turns, MinimalTextIsTheTokenSequenceOfTheGrammar)
{
    // The minimal text scans to exactly the token sequence that the grammar's
    // minimal example is written in, and is accepted with its echo.
    const std::vector<std::pair<int, int>> tokens = {
        {L, 'g'},   {'0', '0'}, {N, '1'},   {N, '2'},   {L, 'a'},   {L, 'b'},   {L, 'c'},   {N, '3'},
        {'_', '_'}, {'0', '0'}, {'0', '0'}, {N, '1'},   {'_', '_'}, {MC, 'A'},  {MC, 'B'},  {MC, 'C'},
        {'_', '_'}, {'0', '0'}, {'0', '0'}, {'0', '0'}, {'0', '0'}, {'0', '0'}, {'0', '0'}, {':', ':'},
        {WS, -1},   {L, 'h'},   {L, 'i'},   {WS, -1},   {'.', '.'}, {END, -1}};
    trl_buffer* b = trl_scan_string(minimal.c_str());
    lineno = 0;
    for (const auto& [code, value] : tokens) {
        ASSERT_EQ(trllex(), code);
        if (value >= 0) {
            EXPECT_EQ(trllval, value);
        }
    }
    EXPECT_EQ(trllex(), 0);
    trl_delete_buffer(b);

    expect_accepted(minimal, "\n001_ABC\nhi\n");
}

TEST(Turns, TurnsFollowEachOtherDirectly)
{
    expect_accepted(minimal + turn("002_ABC", "ja , <P> so ?"), "\n001_ABC\nhi\n\n002_ABC\nja\nso\n");
}

TEST(Turns, EmptyInputIsRejectedAtTheEnd)
{
    expect_rejected("", "parse error in line 0\n");
}

TEST(Turns, EveryTurnIsClosedByExactlyOneEnd)
{
    // Not closed: the line's newline is counted, then end of input.
    expect_rejected("g012abc3_001_ABC_000000: hi .\n", "\n001_ABC\nhi\nparse error in line 1\n");
    expect_rejected("g012abc3_001_ABC_000000: hi .", "\n001_ABC\nhi\nparse error in line 0\n");
    // A second END after the last turn, between turns, and before the first.
    expect_rejected(minimal + "\n", "\n001_ABC\nhi\nparse error in line 1\n");
    expect_rejected(minimal + "\n" + turn("002_ABC", "so ."), "\n001_ABC\nhi\nparse error in line 1\n");
    expect_rejected("\n" + minimal, "parse error in line 0\n");
    // A line holding one blank is not empty.
    expect_rejected(minimal + " \n" + turn("002_ABC", "so ."), "\n001_ABC\nhi\nparse error in line 1\n");
    // A turn needs running text.
    expect_rejected("g012abc3_001_ABC_000000: \n\n", "\n001_ABC\nparse error in line 1\n");
}

TEST(Turns, OnlyTheFirstErrorIsReportedWhateverFollows)
{
    std::string text = "g012abc3_001_ABC_000000: hi  so .\n\n";
    for (int i = 0; i < 50; ++i)
        text += "%% !! garbage\n\n" + minimal;
    expect_rejected(text, "\n001_ABC\nhi\nparse error in line 0\n");
    // After the last complete turn.
    expect_rejected(minimal + "ab\n\ncd\n", "\n001_ABC\nhi\nparse error in line 1\n");
    expect_rejected(minimal + "g012abc3_002_ABC_000000: ja .\n",
                    "\n001_ABC\nhi\n\n002_ABC\nja\nparse error in line 2\n");
}

// The line count goes on past 2^31 (a text of more lines than an int
// counts, as the line count starts there).
TEST(Turns, LineNumbersBeyond32Bits)
{
    const parse_run r = parse_text(";a\n;b\n" + minimal + "x", false, 2147483646);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "\n001_ABC\nhi\nparse error in line 2147483649\n");
}

TEST(Identification, HasItsFixedShape)
{
    expect_rejected("g012ab3_001_ABC_000000: hi .\n\n", "parse error in line 0\n");
    expect_rejected("g012abcd3_001_ABC_000000: hi .\n\n", "parse error in line 0\n");
    // The header is printed once the closing '_' of the turn number is read,
    // so a bad cdrom_number comes after it.
    expect_rejected("g012abc3_001_ABC_00000: hi .\n\n", "\n001_ABC\nparse error in line 0\n");
    expect_rejected("g012abc3_001_ABC_0000000: hi .\n\n", "\n001_ABC\nparse error in line 0\n");
    expect_rejected("g012abc3_001_ABC_000000:hi .\n\n", "\n001_ABC\nparse error in line 0\n");
    expect_rejected("g012abc3_001_ABC_x", "\n001_ABC\nparse error in line 0\n");
    expect_rejected("g012abc3_001_A", "parse error in line 0\n");
}

TEST(Identification, TurnNumberAndLanguageMarker)
{
    // A digit in seventh place appends nothing: an empty header line.
    expect_accepted(turn("001_AB1", "hi ."), "\n\nhi\n");
    expect_accepted(turn("123_XYZ", "hi ."), "\n123_XYZ\nhi\n");
    expect_accepted(turn("001_ABC", "<*tENG> hi ."), "\n001_ABC\nhi\n");
    expect_rejected(turn("001_ABC", "<*tENG>hi ."), "\n001_ABC\nparse error in line 0\n");
}

TEST(Echo, CollectsOnlyTheLettersOfEachElement)
{
    // Umlauts put their double quote into the line.
    expect_accepted(turn("001_ABC", "\"ahm ."), "\n001_ABC\n\"hm\n");
    expect_accepted(turn("001_ABC", "M\"uller \"Ost ."), "\n001_ABC\nM\"ller\n\"st\n");
    // Spelled letters: only the capital, not the plural ending or the marks.
    expect_accepted(turn("001_ABC", "$A , $B<L>s<Z> , $C-$D ."), "\n001_ABC\nA\nB\nCD\n");
    // Compounds, apostrophes, length marks, tags.
    expect_accepted(turn("001_ABC", "Haus-tor-schl'ussel ."), "\n001_ABC\nHaustorschlussel\n");
    expect_accepted(turn("001_ABC", "'s geht's hab' ."), "\n001_ABC\ns\ngehts\nhab\n");
    expect_accepted(turn("001_ABC", "ja<L>a<Z> ."), "\n001_ABC\njaa\n");
    expect_accepted(turn("001_ABC", "*ja --ja ja-- #ja ~ja= ja% <T_>ja ja<_T> <*ENG>ok ."),
                    "\n001_ABC\nja\nja\nja\nja\nja\nja\nja\nja\nok\n");
}

TEST(Echo, LongElementsAreEchoedWhole)
{
    std::string word;
    for (int i = 0; i < 450; ++i)
        word += static_cast<char>('a' + i % 26);
    expect_accepted(turn("001_ABC", word + " , " + word.substr(0, 99) + " , " + word.substr(0, 100) + " ."),
                    "\n001_ABC\n" + word + "\n" + word.substr(0, 99) + "\n" + word.substr(0, 100) + "\n");
}

// The line's room doubles up to the most an int counts, and no further:
// a word that needs more ends the check with the message and status 2.
TEST(Echo, TheLineGrowsUpToTheLargestIntAndNoFurther)
{
    static char room[4] = "ab";
#if !defined(__SANITIZE_ADDRESS__)
    // From above half of it, the next room is the largest int itself (2
    // GiB reserved; only the letters held are touched).
    EXPECT_EXIT(
        {
            linebuf = room;
            bp = 2;
            line_size = std::numeric_limits<int>::max() / 2 + 1;
            grow_line();
            std::exit(line_size == std::numeric_limits<int>::max() && std::string(linebuf) == "ab" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
#endif
    // A line as long as an int counts: one more letter is the end.
    EXPECT_EXIT(
        {
            linebuf = room;
            line_size = std::numeric_limits<int>::max();
            bp = line_size - 1;
            append_char('c');
            std::exit(0);
        },
        ::testing::ExitedWithCode(2), "^fatal error - echo line buffer overflow\n$");
}

TEST(Errors, EchoLinesComeBeforeTheReport)
{
    // The word is complete when '.' arrives: its line is printed, then the error.
    expect_rejected(turn("001_ABC", "hi."), "\n001_ABC\nhi\nparse error in line 0\n");
    expect_rejected(turn("001_ABC", "hi  so ."), "\n001_ABC\nhi\nparse error in line 0\n");
    expect_rejected(";comment\n;another\n" + turn("001_ABC", "ja , hi."), "\n001_ABC\nja\nhi\nparse error in line 2\n");
    // Characters that no rule takes, and the bytes of the decided mend.
    expect_rejected(turn("001_ABC", "hi\t."), "\n001_ABC\nhi\nparse error in line 0\n");
    expect_rejected(minimal + std::string(1, '\0'), "\n001_ABC\nhi\nparse error in line 1\n");
    expect_rejected(minimal + "\xe4", "\n001_ABC\nhi\nparse error in line 1\n");
    expect_rejected(turn("001_ABC", "h\xe4i ."), "\n001_ABC\nh\nparse error in line 0\n");
}

TEST(Events, TheThreeTurnEndingsOfTheConflict)
{
    // event WS END (shifted), event END, event WS TABT END, and the TABT forms.
    for (const char* ending :
         {"<A> \n\n", "<A>\n\n", "<A> <*T>t\n\n", "<A><*T>t\n\n", "<A><*T>t \n\n", "<A> <*T>t \n\n"}) {
        expect_accepted(std::string("g012abc3_001_ABC_000000: ja ") + ending, "\n001_ABC\nja\n");
        expect_accepted(std::string("g012abc3_001_ABC_000000: ") + ending, "\n001_ABC\n");
    }
    expect_rejected(turn("001_ABC", "<A> ."), "\n001_ABC\nparse error in line 0\n");
    expect_rejected(turn("001_ABC", "<A>  ."), "\n001_ABC\nparse error in line 0\n");
}

TEST(Events, SpeakerMarksAndNoises)
{
    expect_accepted(turn("001_ABC", "<@12<Husten> <ah>3@> <#Klopfen> <%> <B> @1ja ja7@ , <P>2@> so ."),
                    "\n001_ABC\nja\nja\nso\n");
    expect_accepted(turn("001_ABC", "<:<Lachen> <#> ja:> ."), "\n001_ABC\nja\n");
}

TEST(Agrammatical, RepairsAndFalseStartsInARow)
{
    expect_accepted(turn("001_ABC", "+/ich/+ -/du/- <A> <P> +/er , <Husten> <P> ich , es/+ <P> <B> ja ."),
                    "\n001_ABC\nich\ndu\ner\nich\nes\nja\n");
    expect_accepted(turn("001_ABC", "-/ja <P> so , ja/- <!1 jo> +/a <P> <A> <P> b , c/+ <*T> x ."),
                    "\n001_ABC\nja\nso\nja\na\nb\nc\nx\n");
    // A repair holds lexical elements, never another repair.
    expect_rejected(turn("001_ABC", "+/+/ja/+/+ so ."), "\n001_ABC\nparse error in line 0\n");
    // The closing element stands directly before WHE.
    expect_rejected(turn("001_ABC", "+/ja /+ so ."), "\n001_ABC\nja\nparse error in line 0\n");
    // An agrammatical phase must end in a lexical segment.
    expect_rejected(turn("001_ABC", "+/ja/+ ."), "\n001_ABC\nja\nparse error in line 0\n");
}

TEST(DisconnectedWords, InterruptedByRepairsEventsAndSilences)
{
    // The left half shares the line of the repair's first element; the final
    // piece gets the disconnected word's own line.
    expect_accepted(turn("001_ABC", "ha_ +/ja/+ _llo ."), "\n001_ABC\nhaja\nllo\n");
    expect_accepted(turn("001_ABC", "ha_ <A> _l_ <P> _lo ."), "\n001_ABC\nhallo\n");
    expect_accepted(turn("001_ABC", "ha_ <P> <A> <*T> _l_ <*T> +/so/+ <B> _lo-ren ."), "\n001_ABC\nhalso\nloren\n");
    expect_accepted(turn("001_ABC", "@1ha_ <A> <:<Husten> _l_:> <A> _-lo3@ ."), "\n001_ABC\nhallo\n");
    expect_accepted(turn("001_ABC", "<:<Husten> ha_:> +/a/+ +/b/+ <A> _llo% ."), "\n001_ABC\nhaa\nb\nllo\n");
    // The interruption is required, and the halves need their '_'.
    expect_rejected(turn("001_ABC", "ha_ _llo ."), "\n001_ABC\nparse error in line 0\n");
    expect_rejected(turn("001_ABC", "ha_ <A> llo ."), "\n001_ABC\nparse error in line 0\n");
}

TEST(Pronunciation, CommentsFollowAnElementAndEchoNothing)
{
    expect_accepted(turn("001_ABC", "ja <!1 'ne-ne ja'' A's> so ."), "\n001_ABC\nja\nso\n");
    expect_accepted(turn("001_ABC", "+/ja/+ <!2 jo> <P> so <!3 s> ."), "\n001_ABC\nja\nso\n");
    // No length marks, no tags, a digit N, a blank before '>'.
    expect_rejected(turn("001_ABC", "ja <!1 jo<L>> so ."), "\n001_ABC\nja\nparse error in line 0\n");
    expect_rejected(turn("001_ABC", "ja <!0 jo> so ."), "\n001_ABC\nja\nparse error in line 0\n");
    expect_rejected(turn("001_ABC", "ja <!1 jo > so ."), "\n001_ABC\nja\nparse error in line 0\n");
    expect_rejected(turn("001_ABC", "ja <!1 -jo> so ."), "\n001_ABC\nja\nparse error in line 0\n");
}

TEST(Stack, ATurnOfAbout5000WordsOverflows)
{
    // Two stack entries per word, and six for the turn around them: that
    // many words fit in the stack, one more overflows.  The words before the
    // overflow are echoed.
    const int fit = (velmar_stack_limit - 6) / 2;
    auto words = [](int n) {
        std::string text;
        for (int i = 0; i < n; ++i)
            text += "ja ";
        return turn("001_ABC", text + ".");
    };
    std::string echo;
    for (int i = 0; i < fit; ++i)
        echo += "ja\n";
    expect_accepted(words(fit), "\n001_ABC\n" + echo);

    const parse_run r = parse_text(words(fit + 1));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "\n001_ABC\n" + echo + "parser stack overflow in line 0\n");
    EXPECT_EQ(r.err, "");

    // Many ordinary turns release their entries.
    std::string turns;
    for (int i = 0; i < 3000; ++i)
        turns += turn("001_ABC", "ja ja ja .");
    EXPECT_EQ(parse_text(turns).status, 0);
}

} // namespace
