// The velmar program: standard streams and exit statuses.
#include <gtest/gtest.h>

#include <string>

#include "parse_support.h"

namespace {

TEST(Program, ExitStatusIsTheParseResult)
{
    const std::string good = turn("001_ABC", "hi .") + turn("002_ABC", "ja , <P> so ?");
    parse_run r = run_velmar(good);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\n001_ABC\nhi\n\n002_ABC\nja\nso\n");
    EXPECT_EQ(r.err, "");

    r = run_velmar("");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "parse error in line 0\n");
    EXPECT_EQ(r.err, "");

    r = run_velmar(";x\n" + turn("001_ABC", "hi."));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "\n001_ABC\nhi\nparse error in line 1\n");
    EXPECT_EQ(r.err, "");

    std::string words;
    for (int i = 0; i < 6000; ++i)
        words += "a ";
    r = run_velmar(turn("001_ABC", words + "."));
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.ends_with("\na\nparser stack overflow in line 0\n"));
    EXPECT_EQ(r.err, "");
}

// Standard output is the result: when it fails, the check fails with the
// reason on standard error and status 2, whether the output is small (the
// final flush fails) or large (a write on the way fails).
TEST(Program, FailedOutputIsAnError)
{
    std::string large;
    for (int i = 0; i < 3000; ++i)
        large += turn("001_ABC", "hallo , wie geht's ?");
    const std::string small = turn("001_ABC", "hi .");
    const struct {
        std::string redirect;
        std::string text;
        std::string reason;
    } cases[] = {
        {"> /dev/full", small, "No space left on device"},
        {"> /dev/full", "", "No space left on device"},   // the error report itself
        {"> /dev/full", large, "No space left on device"},
        {">&-", small, "Bad file descriptor"},
        {">&-", large, "Bad file descriptor"},
        // A reader that is gone, with SIGPIPE ignored (run_velmar ignores it):
        // more output than a pipe holds.
        {"| (exec 0<&-; sleep 1)", large, "Broken pipe"},
    };
    for (const auto& c : cases) {
        const parse_run r = run_velmar(c.text, {}, c.redirect);
        EXPECT_EQ(r.status, 2) << c.redirect << " " << c.text.size();
        EXPECT_EQ(r.err, "velmar: write error: " + c.reason + "\n") << c.redirect << " " << c.text.size();
    }
}

TEST(Program, IgnoresItsArguments)
{
    const parse_run r = run_velmar(turn("001_ABC", "hi ."), {"-d", "--help", "x"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\n001_ABC\nhi\n");
    EXPECT_EQ(r.err, "");
}

TEST(Program, ReadsInputLargerThanItsBuffer)
{
    std::string text;
    std::string echo;
    for (int i = 0; i < 2000; ++i) {
        text += turn("001_ABC", "<; a comment > hallo , wie <!1 vi> geht's ?");
        echo += "\n001_ABC\nhallo\nwie\ngehts\n";
    }
    ASSERT_GT(text.size(), 3u * 16384u);
    const parse_run r = run_velmar(text);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, echo);
}

} // namespace
