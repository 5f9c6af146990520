// Argument library: parsing, conversions, messages, usage text and listing.
// Every path that ends the process runs in a forked child whose standard
// error is captured byte for byte.
#include "args/kestargs.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cfloat>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

// A writable argument vector, as a process receives it.
class Words {
public:
    Words(std::initializer_list<const char*> words) : store_(words.begin(), words.end())
    {
        for (auto& w : store_)
            ptrs_.push_back(w.data());
        ptrs_.push_back(nullptr);
        argc = static_cast<int>(store_.size());
        argv = ptrs_.data();
    }
    char* word(size_t i) { return ptrs_[i]; }
    int argc;
    char** argv;

private:
    std::vector<std::string> store_;
    std::vector<char*> ptrs_;
};

struct Outcome {
    int status; // exit status, or 1000 + signal number
    std::string err;
};

// Runs `body` in a child process; its standard error is captured.
template <class Body> Outcome in_child(Body body)
{
    fflush(nullptr);
    int fds[2];
    if (pipe(fds) != 0)
        return {-1, "pipe failed"};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], 2);
        close(fds[1]);
        body();
        fflush(nullptr);
        _exit(0);
    }
    close(fds[1]);
    Outcome out{-1, {}};
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        out.err.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    out.status = WIFEXITED(st) ? WEXITSTATUS(st) : 1000 + WTERMSIG(st);
    return out;
}

// What `body` writes to a stream it is handed.
template <class Body> std::string written_to_stream(Body body)
{
    FILE* f = tmpfile();
    body(f);
    std::string text;
    rewind(f);
    int c;
    while ((c = fgetc(f)) != EOF)
        text.push_back(static_cast<char>(c));
    fclose(f);
    return text;
}

// A table with one row of every type, and its variables.
struct Demo {
    int n = 7;
    char* file = nullptr;
    int flag = 0;
    double ratio = 1.5;
    long big = -3;
    float f = 1e6f;
    char* name = nullptr;
    arg_entry table[9] = {
        {nullptr, "demo: usage line", ARG_USAGE, nullptr, 0},
        {"n", "a number", ARG_INT, &n, 0},
        {"file", "input file", ARG_STRING, &file, 1},
        {"flag", "a flag", ARG_BOOL, &flag, 0},
        {"ratio", "a ratio", ARG_DOUBLE, &ratio, 0},
        {"big", "a long", ARG_LONG, &big, 0},
        {"f", "a float", ARG_FLOAT, &f, 0},
        {"name", "a name", ARG_STRING, &name, 0},
        {nullptr, nullptr, ARG_END, nullptr, 0},
    };
    Demo() = default;
    Demo(const Demo&) = delete;
    ~Demo()
    {
        free(file);
        free(name);
    }
};

const std::string demo_usage = "prog:\n"
                               "  demo: usage line\n"
                               "  n\ta number (int) (7)\n"
                               "  file\tinput file (string) (*REQ*)\n"
                               "  flag\ta flag (boolean) (false)\n"
                               "  ratio\ta ratio (double) (1.5)\n"
                               "  big\ta long (long) (-3)\n"
                               "  f\ta float (float) (1e+06)\n"
                               "  name\ta name (string) (null)\n";

// Parses `words` with the demo table in a child process.
Outcome parse_demo(std::initializer_list<const char*> words)
{
    return in_child([&] {
        Demo d;
        Words w(words);
        kestargs(d.table, &w.argc, &w.argv, nullptr);
    });
}

// The converter's table, as its usage shows it.
struct Converter {
    int verbose = 0;
    int swap = 0;
    char* rawfile = nullptr;
    char* quendafile = nullptr;
    arg_entry table[6] = {
        {nullptr,
         "1.0 : transforms a Quenda file into a raw soundfile, \n"
         "  usage: quenda2raw quendafile=<quendaf> rawfile=<rawf> [options]",
         ARG_USAGE, nullptr, 0},
        {"v", "verbose mode", ARG_BOOL, &verbose, 0},
        {"rawfile", "raw file name", ARG_STRING, &rawfile, 1},
        {"quendafile", "Quenda file name", ARG_STRING, &quendafile, 1},
        {"swap", "swapping short samples", ARG_BOOL, &swap, 0},
        {nullptr, nullptr, ARG_END, nullptr, 0},
    };
    Converter() = default;
    Converter(const Converter&) = delete;
    ~Converter()
    {
        free(rawfile);
        free(quendafile);
    }
};

// --- successful parses ---------------------------------------------------

TEST(KestargsParse, ConvertsEveryTypeAndReportsTheCount)
{
    Demo d;
    Words w{"prog", "n=42", "big=-9000000000", "file=in.qnd", "flag=yes", "ratio=-0.125", "f=2.5e3", "name=x"};
    char* progname = nullptr;
    EXPECT_EQ(kestargs(d.table, &w.argc, &w.argv, &progname), 7);
    EXPECT_STREQ(progname, "prog");
    EXPECT_EQ(d.n, 42);
    EXPECT_EQ(d.big, -9000000000L);
    EXPECT_STREQ(d.file, "in.qnd");
    EXPECT_EQ(d.flag, 1);
    EXPECT_DOUBLE_EQ(d.ratio, -0.125);
    EXPECT_FLOAT_EQ(d.f, 2500.0f);
    EXPECT_STREQ(d.name, "x");
    EXPECT_EQ(w.argc, 0);
    EXPECT_EQ(w.argv[0], nullptr);
}

TEST(KestargsParse, RewritesTheVectorAndStopsAtAWordWithoutEquals)
{
    Demo d;
    Words w{"prog", "name=a=b", "file=", "rest", "bogus=1", "=="};
    char* const* original = w.argv;
    EXPECT_EQ(kestargs(d.table, &w.argc, &w.argv, nullptr), 2);
    // The value is everything after the first "=", copied out of the vector.
    EXPECT_STREQ(d.name, "a=b");
    ASSERT_NE(d.file, nullptr);
    EXPECT_STREQ(d.file, "");
    EXPECT_NE(d.name, original[1] + 5);
    // Consumed words read as bare names; the rest is untouched and left over.
    EXPECT_STREQ(original[1], "name");
    EXPECT_STREQ(original[2], "file");
    EXPECT_EQ(w.argc, 3);
    EXPECT_EQ(w.argv, original + 3);
    EXPECT_STREQ(w.argv[0], "rest");
    EXPECT_STREQ(w.argv[1], "bogus=1");
    EXPECT_STREQ(w.argv[2], "==");
}

TEST(KestargsParse, OnlyTheProgramNameSetsNothing)
{
    int x = 3;
    arg_entry table[] = {{"x", "optional", ARG_INT, &x, 0}, {nullptr, nullptr, ARG_END, nullptr, 0}};
    Words w{"prog"};
    EXPECT_EQ(kestargs(table, &w.argc, &w.argv, nullptr), 0);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(w.argc, 0);
}

TEST(KestargsParse, IntValuesConvertLikeDecimalStrtolClampedToInt)
{
    const struct {
        const char* value;
        int expected;
    } cases[] = {{"12abc", 12},
                 {"  -7", -7},
                 {"+3", 3},
                 {"0x1F", 0},
                 {"2147483647", INT_MAX},
                 {"2147483648", INT_MAX},
                 {"99999999999", INT_MAX},
                 {"-2147483649", INT_MIN},
                 {"-99999999999999999999999", INT_MIN}};
    for (const auto& c : cases) {
        int n = 99;
        arg_entry table[] = {{"n", "", ARG_INT, &n, 0}, {nullptr, nullptr, ARG_END, nullptr, 0}};
        const std::string word = std::string("n=") + c.value;
        Words w{"prog", word.c_str()};
        kestargs(table, &w.argc, &w.argv, nullptr);
        EXPECT_EQ(n, c.expected) << c.value;
    }
}

TEST(KestargsParse, LongValuesAreClampedToTheLongRange)
{
    long a = 0, b = 0, c = 0;
    arg_entry table[] = {{"a", "", ARG_LONG, &a, 0},
                         {"b", "", ARG_LONG, &b, 0},
                         {"c", "", ARG_LONG, &c, 0},
                         {nullptr, nullptr, ARG_END, nullptr, 0}};
    Words w{"prog", "a=99999999999999999999999", "b=-99999999999999999999999", "c= 123456789012x"};
    kestargs(table, &w.argc, &w.argv, nullptr);
    EXPECT_EQ(a, LONG_MAX);
    EXPECT_EQ(b, LONG_MIN);
    EXPECT_EQ(c, 123456789012L);
}

TEST(KestargsParse, FloatingValues)
{
    float f = 4.0f, g = 4.0f;
    double d = 8.0, e = 8.0, h = 8.0;
    arg_entry table[] = {{"f", "", ARG_FLOAT, &f, 0},  {"g", "", ARG_FLOAT, &g, 0},
                         {"d", "", ARG_DOUBLE, &d, 0}, {"e", "", ARG_DOUBLE, &e, 0},
                         {"h", "", ARG_DOUBLE, &h, 0}, {nullptr, nullptr, ARG_END, nullptr, 0}};
    // Letters after a number are ignored; empty or blank values keep the start value.
    Words w{"prog", "f=1e3x", "g=", "d=-2.5E-2abc", "e=   ", "h=0.1"};
    EXPECT_EQ(kestargs(table, &w.argc, &w.argv, nullptr), 5);
    EXPECT_FLOAT_EQ(f, 1000.0f);
    EXPECT_FLOAT_EQ(g, 4.0f);
    EXPECT_DOUBLE_EQ(d, -0.025);
    EXPECT_DOUBLE_EQ(e, 8.0);
    EXPECT_DOUBLE_EQ(h, 0.1); // scanned in double precision
}

TEST(KestargsParse, BooleansTakeTheFirstCharacterOnly)
{
    for (const char* yes : {"1", "10", "t", "true", "T", "y", "yes", "Y"}) {
        int b = 0;
        arg_entry table[] = {{"b", "", ARG_BOOL, &b, 0}, {nullptr, nullptr, ARG_END, nullptr, 0}};
        std::string word = std::string("b=") + yes;
        Words w{"prog", word.c_str()};
        kestargs(table, &w.argc, &w.argv, nullptr);
        EXPECT_EQ(b, 1) << yes;
    }
    for (const char* no : {"", "0", "false", "no", "on", "N", " 1", "x"}) {
        int b = 5;
        arg_entry table[] = {{"b", "", ARG_BOOL, &b, 0}, {nullptr, nullptr, ARG_END, nullptr, 0}};
        std::string word = std::string("b=") + no;
        Words w{"prog", word.c_str()};
        kestargs(table, &w.argc, &w.argv, nullptr);
        EXPECT_EQ(b, 0) << '"' << no << '"';
    }
}

// --- messages and the usage text -----------------------------------------

TEST(KestargsErrors, UnknownNamesAreReportedAsTyped)
{
    EXPECT_EQ(parse_demo({"prog", "file=a", "Name=x"}).err, "Unkown argument \"Name\"\n" + demo_usage);
    EXPECT_EQ(parse_demo({"prog", "=x"}).err, "Unkown argument \"\"\n" + demo_usage);
    const Outcome o = parse_demo({"prog", "nn=1"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "Unkown argument \"nn\"\n" + demo_usage);
}

TEST(KestargsErrors, HelpInAnyCasePrintsTheUsageAlone)
{
    for (const char* word : {"help=", "HELP=1", "hElP=x", "Help=="}) {
        const Outcome o = parse_demo({"prog", word});
        EXPECT_EQ(o.status, 1) << word;
        EXPECT_EQ(o.err, demo_usage) << word;
    }
    // Even a table with a row of that name gives the usage.
    const Outcome o = in_child([] {
        int h = 0;
        arg_entry table[] = {{"help", "own help", ARG_BOOL, &h, 0}, {nullptr, nullptr, ARG_END, nullptr, 0}};
        Words w{"x", "help=1"};
        kestargs(table, &w.argc, &w.argv, nullptr);
    });
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "x:\n  help\town help (boolean) (false)\n");
    // The bare word ends the parse; the required check decides.
    EXPECT_EQ(parse_demo({"prog", "help", "file=a"}).err, "Argument \"file\" is required, but not set!\n" + demo_usage);
}

TEST(KestargsErrors, UsageShowsValuesSetByEarlierWords)
{
    const Outcome o = parse_demo({"prog", "flag=1", "name=abc", "f=0.5", "n=-4", "big=12", "ratio=3", "HELP="});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "prog:\n"
                     "  demo: usage line\n"
                     "  n\ta number (int) (-4)\n"
                     "  file\tinput file (string) (*REQ*)\n"
                     "  flag\ta flag (boolean) (true)\n"
                     "  ratio\ta ratio (double) (3)\n"
                     "  big\ta long (long) (12)\n"
                     "  f\ta float (float) (0.5)\n"
                     "  name\ta name (string) (abc)\n");
}

TEST(KestargsErrors, RepeatedNameIsRefusedBeforeItsValue)
{
    const Outcome o = parse_demo({"prog", "n=1", "flag=0", "n=1"});
    EXPECT_EQ(o.status, 1);
    std::string usage = demo_usage;
    usage.replace(usage.find("(7)"), 3, "(1)");
    EXPECT_EQ(o.err, "Error: argument n multiply set!\n" + usage);
    // A malformed second value is never looked at.
    EXPECT_EQ(parse_demo({"prog", "n=1", "n=abc"}).err, "Error: argument n multiply set!\n" + usage);
}

TEST(KestargsErrors, MalformedNumbersEndWithTheirWarning)
{
    // The int and long conversions store their result (0) before the check.
    std::string int_usage = demo_usage;
    int_usage.replace(int_usage.find("(7)"), 3, "(0)");
    EXPECT_EQ(parse_demo({"prog", "n=abc"}).err, "Warning: arg n should be an int!\n" + int_usage);
    EXPECT_EQ(parse_demo({"prog", "n="}).err, "Warning: arg n should be an int!\n" + int_usage);
    EXPECT_EQ(parse_demo({"prog", "n= -"}).err, "Warning: arg n should be an int!\n" + int_usage);
    std::string long_usage = demo_usage;
    long_usage.replace(long_usage.find("(-3)"), 4, "(0)");
    EXPECT_EQ(parse_demo({"prog", "big=x1"}).err, "Warning: arg big should be a long int!\n" + long_usage);
    EXPECT_EQ(parse_demo({"prog", "f=abc"}).err, "Warning: arg f should be a float!\n" + demo_usage);
    const Outcome o = parse_demo({"prog", "ratio=-"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "Warning: arg ratio should be a double!\n" + demo_usage);
}

TEST(KestargsErrors, RequiredRowsAreReportedInTableOrder)
{
    // The converter's table: the usage of its worked example, byte for byte.
    const std::string usage = "quenda2raw:\n"
                              "  1.0 : transforms a Quenda file into a raw soundfile, \n"
                              "  usage: quenda2raw quendafile=<quendaf> rawfile=<rawf> [options]\n"
                              "  v\tverbose mode (boolean) (false)\n"
                              "  rawfile\traw file name (string) (*REQ*)\n"
                              "  quendafile\tQuenda file name (string) (*REQ*)\n"
                              "  swap\tswapping short samples (boolean) (false)\n";
    const Outcome o = in_child([] {
        Converter c;
        Words w{"quenda2raw"};
        kestargs(c.table, &w.argc, &w.argv, nullptr);
    });
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "Argument \"rawfile\" is required, but not set!\n"
                     "Argument \"quendafile\" is required, but not set!\n" +
                         usage);

    // After v was set, stopped by a word without "=".
    const Outcome late = in_child([] {
        Converter c;
        Words w{"quenda2raw", "v=yes", "quendafile=in", "out", "rawfile=x"};
        kestargs(c.table, &w.argc, &w.argv, nullptr);
    });
    std::string late_usage = usage;
    late_usage.replace(late_usage.find("(false)"), 7, "(true)");
    EXPECT_EQ(late.status, 1);
    EXPECT_EQ(late.err, "Argument \"rawfile\" is required, but not set!\n" + late_usage);
}

TEST(KestargsErrors, RequiredRowAtTheEndOfTheTableIsChecked)
{
    const std::string missing = "Argument \"last\" is required, but not set!\np:\n  n\ta number (int) ";
    const std::string last_row = "\n  last\tthe last row (string) (*REQ*)\n";
    const struct {
        std::initializer_list<const char*> words;
        int status;
        std::string err;
    } cases[] = {
        {{"p"}, 1, missing + "(0)" + last_row},
        {{"p", "n=3"}, 1, missing + "(3)" + last_row},
        {{"p", "last=x"}, 0, ""},
    };
    for (const auto& c : cases) {
        const Outcome o = in_child([&] {
            int n = 0;
            char* last = nullptr;
            arg_entry table[] = {{"n", "a number", ARG_INT, &n, 0},
                                 {"last", "the last row", ARG_STRING, &last, 1},
                                 {nullptr, nullptr, ARG_END, nullptr, 0}};
            Words w(c.words);
            kestargs(table, &w.argc, &w.argv, nullptr);
            free(last);
        });
        EXPECT_EQ(o.status, c.status) << c.words.size();
        EXPECT_EQ(o.err, c.err) << c.words.size();
    }
}

TEST(KestargsErrors, UnknownTypeCodesGiveTheInternalError)
{
    // A named usage-line row matched on the command line: no usage text.
    Outcome o = in_child([] {
        int x = 0;
        arg_entry table[] = {{"odd", "a line", ARG_USAGE, nullptr, 0},
                             {"x", "", ARG_INT, &x, 1},
                             {nullptr, nullptr, ARG_END, nullptr, 0}};
        Words w{"tool", "odd=1"};
        kestargs(table, &w.argc, &w.argv, nullptr);
    });
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "Internal error!! unknown arg type 1 for arg odd!\n"
                     " This should not happen!! contact tool maintainer!\n");

    // In the usage, an optional row of an unknown code ends the process after its line's start;
    // a required one shows no value and passes.
    o = in_child([] {
        int x = 0;
        arg_entry table[] = {{"req", "needed", 42, &x, 1},
                             {"bad", "strange", 9, &x, 0},
                             {"x", "after", ARG_INT, &x, 0},
                             {nullptr, nullptr, ARG_END, nullptr, 0}};
        Words w{"tool", "help="};
        kestargs(table, &w.argc, &w.argv, nullptr);
    });
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "tool:\n"
                     "  req\tneeded  (*REQ*)\n"
                     "  bad\tstrange Internal error!! unknown arg type 9 for arg bad!\n"
                     " This should not happen!! contact tool maintainer!\n");
}

TEST(KestargsErrors, EmptyTableUsageIsTheHeadingAlone)
{
    const Outcome o = in_child([] {
        arg_entry table[] = {{nullptr, nullptr, ARG_END, nullptr, 0}};
        Words w{"p", "HeLp="};
        kestargs(table, &w.argc, &w.argv, nullptr);
    });
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "p:\n");
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(KestargsErrors, FailedCopyEndsWithOutOfMemory)
{
    const Outcome o = in_child([] {
        Demo d;
        std::string word = "name=" + std::string(64u << 20, 'x');
        Words w{"prog", word.c_str()};
        // Leave too little address space for a second copy of the value.
        long pages = 0, resident = 0;
        FILE* statm = fopen("/proc/self/statm", "r");
        if (statm == nullptr || fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            _exit(99);
        fclose(statm);
        const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (16u << 20);
        const rlimit rl{limit, limit};
        if (setrlimit(RLIMIT_AS, &rl) != 0)
            _exit(98);
        kestargs(d.table, &w.argc, &w.argv, nullptr);
    });
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "kestargs: out of memory\n");
}
#endif

// --- the listing of values -----------------------------------------------

TEST(Printargs, ListsEveryValueRowInTableOrder)
{
    Demo d;
    EXPECT_EQ(written_to_stream([&](FILE* f) { printargs(f, "prog", d.table); }),
              "prog was invoked with the following argument values\n"
              " (some of which may be defaults):\n"
              "  n=7\n"
              "  file=(null)\n"
              "  flag=false\n"
              "  ratio=1.5\n"
              "  big=-3\n"
              "  f=1e+06\n"
              "  name=(null)\n");

    Words w{"prog", "file=in", "flag=t", "ratio=0.1", "n=-12", "big=5000000000", "f=3.25", "name="};
    kestargs(d.table, &w.argc, &w.argv, nullptr);
    d.flag = 17; // any nonzero value shows as true
    EXPECT_EQ(written_to_stream([&](FILE* f) { printargs(f, nullptr, d.table); }),
              "This was invoked with the following argument values\n"
              " (some of which may be defaults):\n"
              "  n=-12\n"
              "  file=in\n"
              "  flag=true\n"
              "  ratio=0.1\n"
              "  big=5000000000\n"
              "  f=3.25\n"
              "  name=\n");
}

TEST(Printusage, TheUsageThatHelpShowsOnAnyStream)
{
    Demo d;
    EXPECT_EQ(written_to_stream([&](FILE* f) { printusage(f, "prog", d.table); }), demo_usage);
    const Outcome help = parse_demo({"prog", "n=3", "help=1"});
    const Outcome on_stderr = in_child([] {
        Demo d;
        d.n = 3;
        printusage(nullptr, "prog", d.table);
    });
    EXPECT_EQ(on_stderr.status, 0);
    EXPECT_EQ(on_stderr.err, help.err) << "standard error for a null stream, values as they stand";
}

TEST(Printargs, ConverterListingInVerboseMode)
{
    Converter c;
    Words w{"quenda2raw", "quendafile=in.qnd", "v=1", "rawfile=out.raw"};
    kestargs(c.table, &w.argc, &w.argv, nullptr);
    EXPECT_EQ(written_to_stream([&](FILE* f) { printargs(f, "quenda2raw", c.table); }),
              "quenda2raw was invoked with the following argument values\n"
              " (some of which may be defaults):\n"
              "  v=true\n"
              "  rawfile=out.raw\n"
              "  quendafile=in.qnd\n"
              "  swap=false\n");
}

TEST(Printargs, UsageLinesAreSkipped)
{
    arg_entry empty[] = {{nullptr, nullptr, ARG_END, nullptr, 0}};
    arg_entry lines[] = {{nullptr, "one", ARG_USAGE, nullptr, 0},
                         {nullptr, "two", ARG_USAGE, nullptr, 0},
                         {nullptr, nullptr, ARG_END, nullptr, 0}};
    const std::string heading = "p was invoked with the following argument values\n (some of which may be defaults):\n";
    EXPECT_EQ(written_to_stream([&](FILE* f) { printargs(f, "p", empty); }), heading);
    EXPECT_EQ(written_to_stream([&](FILE* f) { printargs(f, "p", lines); }), heading);

    // A null stream means standard error.
    const Outcome o = in_child([] {
        int b = 1;
        arg_entry table[] = {{nullptr, "usage", ARG_USAGE, nullptr, 0},
                             {"b", "", ARG_BOOL, &b, 1},
                             {nullptr, nullptr, ARG_END, nullptr, 0}};
        printargs(nullptr, "p", table);
    });
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, heading + "  b=true\n");
}

TEST(Printargs, UnknownCodeStopsTheListingOnTheSameStream)
{
    const Outcome o = in_child([] {
        int x = 3;
        arg_entry table[] = {{"x", "", ARG_INT, &x, 0},
                             {"odd", "", 8, &x, 1},
                             {"y", "", ARG_INT, &x, 0},
                             {nullptr, nullptr, ARG_END, nullptr, 0}};
        printargs(stderr, nullptr, table);
    });
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "This was invoked with the following argument values\n (some of which may be defaults):\n"
                     "  x=3\n"
                     "  odd=Internal error!! unknown arg type 8 for arg odd!\n"
                     " This should not happen!! contact its maintainer!\n");
}

} // namespace
