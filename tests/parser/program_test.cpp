// The velmar program: arguments, standard streams and exit statuses.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/glob.h"
#include "tests/support/parse.h"
#include "tests/support/process.h"
#include "checker/stack_limit.h"

namespace {

using test_support::run_options;

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

    // More words than the stack has entries.
    std::string words;
    for (int i = 0; i < velmar_stack_limit; ++i)
        words += "a ";
    r = run_velmar(turn("001_ABC", words + "."));
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.ends_with("\na\nparser stack overflow in line 0\n"));
    EXPECT_EQ(r.err, "");
}

std::string large_text()
{
    std::string large;
    for (int i = 0; i < 3000; ++i)
        large += turn("001_ABC", "hallo , wie geht's ?");
    return large;
}

// Standard output is the result: when it fails, the check fails with the
// reason on standard error and status 2, whether the output is small (the
// final flush fails) or large (a write on the way fails).
TEST(Program, FailedOutputIsAnError)
{
    const std::string large = large_text();
    const std::string small = turn("001_ABC", "hi .");
    const struct {
        std::string out_to;
        std::string text;
        std::string reason;
    } cases[] = {
        {"/dev/full", small, "No space left on device"},
        {"/dev/full", "", "No space left on device"}, // the error report itself
        {"/dev/full", large, "No space left on device"},
        {"-", small, "Bad file descriptor"}, // standard output closed
        {"-", large, "Bad file descriptor"},
    };
    for (const auto& c : cases) {
        run_options o;
        o.out_to = c.out_to;
        const parse_run r = run_velmar(c.text, {}, o);
        EXPECT_EQ(r.status, 2) << c.out_to << " " << c.text.size();
        EXPECT_EQ(r.err, "velmar: write error: " + c.reason + "\n") << c.out_to << " " << c.text.size();
    }
}

// A reader that is gone ends velmar as it ends any filter: by SIGPIPE, with
// nothing on standard error.  Where SIGPIPE is ignored the write fails, and
// that is a failed write like any other.
TEST(Program, ReaderThatIsGone)
{
    test_support::temp_dir dir;
    const std::string in = dir.write("in.trl", large_text()); // more than a pipe holds
    const std::string pipeline = test_support::shell_line({VELMAR_PATH, in}) + " | true; echo ${PIPESTATUS[0]}";

    test_support::run_result r = test_support::run_shell(pipeline);
    EXPECT_EQ(r.out, std::to_string(128 + SIGPIPE) + "\n");
    EXPECT_EQ(r.err, "");

    r = test_support::run_shell("trap '' PIPE; " + pipeline);
    EXPECT_EQ(r.out, "2\n");
    EXPECT_EQ(r.err, "velmar: write error: Broken pipe\n");
}

// velmar FILE checks the file as velmar checks standard input: the same
// output and status for every kind of text.
TEST(Program, FileAndStandardInputGiveTheSameResult)
{
    test_support::temp_dir dir;
    std::string long_turn;
    for (int i = 0; i < velmar_stack_limit; ++i)
        long_turn += "a ";
    const std::vector<std::string> texts = {
        turn("001_ABC", "hi .") + turn("002_ABC", "ja , <P> so ?"),
        "",
        ";x\n" + turn("001_ABC", "hi."),
        turn("001_ABC", long_turn + "."),
        std::string("g012abc3_001_ABC_000000: ja\0 .\n\n", 32),
        large_text(),
    };
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::string path = dir.write("text" + std::to_string(i) + ".trl", texts[i]);
        const parse_run from_stdin = run_velmar(texts[i]);
        // Standard input holds another text, which must not be read.
        for (const std::vector<std::string>& args : {std::vector<std::string>{path}, {"--", path}}) {
            const parse_run from_file = run_velmar("g012abc3_001_ABC_000000: no .\n\n", args);
            EXPECT_EQ(from_file.status, from_stdin.status) << i;
            EXPECT_EQ(from_file.out, from_stdin.out) << i;
            EXPECT_EQ(from_file.err, from_stdin.err) << i;
        }
        run_options pipe;
        pipe.in_is_pipe = true;
        const parse_run dash = run_velmar(texts[i], {"-"}, pipe);
        EXPECT_EQ(dash.status, from_stdin.status) << i;
        EXPECT_EQ(dash.out, from_stdin.out) << i;
    }
}

TEST(Program, Arguments)
{
    // Names relative to the folder velmar runs in, so that one can begin
    // with '-'.
    test_support::temp_dir dir;
    dir.write("good.trl", turn("001_ABC", "hi ."));
    dir.write("-x.trl", turn("001_ABC", "ja ."));
    std::filesystem::create_directory(dir / "folder");

    const struct {
        std::vector<std::string> args;
        int status;
        std::string out; // a pattern ('*' for any text)
        std::string err; // likewise
    } cases[] = {
        {{"--help"}, 0, "usage: velmar [FILE]\n*\n", ""},
        {{"-h"}, 0, "usage: velmar [FILE]\n*\n", ""},
        {{"--version"}, 0, "velmar (quenda tools) *.*\n", ""},
        // Answered where they stand, whatever follows.
        {{"--help", "a", "b", "-x"}, 0, "usage: velmar [FILE]\n*\n", ""},
        {{"good.trl", "--version"}, 0, "velmar (quenda tools) *.*\n", ""},
        {{"good.trl"}, 0, "\n001_ABC\nhi\n", ""},
        {{"--", "-x.trl"}, 0, "\n001_ABC\nja\n", ""},
        {{"good.trl", "good.trl"}, 2, "", "velmar: more than one file given*\n"},
        {{"good.trl", "-"}, 2, "", "velmar: more than one file given*\n"},
        {{"-x"}, 2, "", "velmar: unknown option '-x'*\n"},
        {{"--helpx"}, 2, "", "velmar: unknown option '--helpx'*\n"},
        {{"-x", "--help"}, 2, "", "velmar: unknown option '-x'*\n"},
        {{"-x.trl"}, 2, "", "velmar: unknown option '-x.trl'*\n"},
        {{"missing.trl"}, 2, "", "velmar: missing.trl: No such file or directory\n"},
        {{"folder"}, 2, "", "velmar: folder: Is a directory\n"},
    };
    run_options in_dir;
    in_dir.cwd = dir.path();
    for (const auto& c : cases) {
        std::string line;
        for (const std::string& a : c.args)
            line += a + " ";
        // Standard input is empty: read, it would give a parse error.
        const parse_run r = run_velmar("", c.args, in_dir);
        EXPECT_EQ(r.status, c.status) << line;
        EXPECT_TRUE(test_support::glob_match(r.out, c.out)) << line << "\n" << r.out;
        EXPECT_TRUE(test_support::glob_match(r.err, c.err)) << line << "\n" << r.err;
    }
    // The answers are output like any other: a failed write is an error.
    run_options full;
    full.out_to = "/dev/full";
    for (const char* option : {"--help", "--version"}) {
        const parse_run r = run_velmar("", {option}, full);
        EXPECT_EQ(r.status, 2) << option;
        EXPECT_EQ(r.err, "velmar: write error: No space left on device\n") << option;
    }
}

#if !defined(__SANITIZE_ADDRESS__)
// A token or word longer than the memory that velmar may take (a word of
// 2 GiB in earnest, here a few MB under a small address space) ends the
// check as the other failures of the input buffering do: a message on
// standard error and status 2, the lines echoed before it written.  Each
// text is far longer than the limit lets velmar hold; it stops reading
// where its buffer cannot grow.
TEST(Program, TokenLongerThanTheMemoryIsAFatalError)
{
    const std::string start = "g012abc3_001_ABC_000000: ";
    const struct {
        std::string what;
        std::string head;
        std::string repeated; // to 40 MB
        std::string out;
        std::string err;
    } cases[] = {
        {"a word", start, "a", "\n001_ABC\n", "fatal error - echo line buffer overflow\n"},
        {"a word of capitals and umlauts", start + "ja ", "M\"u", "\n001_ABC\nja\n",
         "fatal error - echo line buffer overflow\n"},
        {"a bracketed comment", start + "<;", "x", "\n001_ABC\n", "fatal error - scanner input buffer overflow\n"},
        {"a speaker mark", start + "ja @1", "0", "\n001_ABC\nja\n", "fatal error - scanner input buffer overflow\n"},
        {"a comment line", ";", "x", "", "fatal error - scanner input buffer overflow\n"},
    };
    run_options limited;
    limited.in_is_pipe = true;
    limited.address_limit = rlim_t{32} << 20; // about 8 MB of them are velmar's at its start
    for (const auto& c : cases) {
        std::string text = c.head;
        while (text.size() < (std::size_t{40} << 20))
            text += c.repeated;
        const parse_run r = run_velmar(text, {}, limited);
        EXPECT_EQ(r.status, 2) << c.what;
        EXPECT_EQ(r.out, c.out) << c.what;
        EXPECT_EQ(r.err, c.err) << c.what;
    }
}
#endif

// Input and echo larger than the pieces they are read and written in, with
// a line longer than a piece of the echo between others.
TEST(Program, ReadsInputLargerThanItsBuffer)
{
    std::string text;
    std::string echo;
    for (int i = 0; i < 6000; ++i) {
        text += turn("001_ABC", "<; a comment > hallo , wie <!1 vi> geht's ?");
        echo += "\n001_ABC\nhallo\nwie\ngehts\n";
        if (i == 3000) {
            const std::string long_word(70000, 'a');
            text += turn("002_ABC", "ja " + long_word + " ?");
            echo += "\n002_ABC\nja\n" + long_word + "\n";
        }
    }
    ASSERT_GT(text.size(), 3u * 16384u);
    const parse_run r = run_velmar(text);
    EXPECT_EQ(r.status, 0);
    EXPECT_GT(r.out.size(), 3u * 65536u);
    EXPECT_EQ(r.out, echo);
}

} // namespace
