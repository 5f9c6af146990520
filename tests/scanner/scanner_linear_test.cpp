// Longest matches in linear time: the tokens of the plain longest match on
// texts full of long runs that back up, through memory, files and pipes cut
// anywhere; pathological megabytes in bounded time; counts and lengths
// beyond 32 bits.
#include <chrono>
#include <climits>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include "language/text_scanner.h"
#include "scan_engine.h"
#include "tests/support/scan.h"

using namespace std::string_literals;

namespace {

// The shape of longest_match's input, as the engine requires it: the
// scanners' inputs have it; one without more(), or whose origin is not a
// 64-bit position, is refused where it is handed over.
namespace input_shape {
using scan_engine::failures;
using scan_engine::walk;
struct complete {
    const char* base;
    const char* end;
    std::int64_t origin;
    const failures* known_failures();
    failures& record_failures();
    bool more(const char*&, walk&);
    bool ended_empty() const;
};
struct no_more {
    const char* base;
    const char* end;
    std::int64_t origin;
    const failures* known_failures();
    failures& record_failures();
    bool ended_empty() const;
};
struct int_origin : complete {
    int origin;
};
struct ended_empty_not_const : complete {
    bool ended_empty();
};
static_assert(scan_engine::scan_input<complete>);
static_assert(scan_engine::scan_input<trl_text_detail::text_input>);
static_assert(!scan_engine::scan_input<no_more>);
static_assert(!scan_engine::scan_input<int_origin>);
static_assert(!scan_engine::scan_input<ended_empty_not_const>);
} // namespace input_shape

// Texts in which matches read far ahead and back up: digit runs that an
// '@' may or may not end, bracketed comments closed late or never (or by a
// '>' without its blank), comment lines that the text ends before their
// newline, and the ordinary tokens around them.
std::string random_long_runs(std::mt19937& rng, std::size_t size)
{
    static const std::vector<std::string> pieces = {
        "a", "Z", " ", "\n", "\n\n", "@", "1", "0", "<", ">", "> ", ">\n ", ";", "<;", "<hm>", "\"a", "\0"s, "\xE4",
    };
    auto digits = [&](std::size_t n) {
        std::string d(1, static_cast<char>('1' + rng() % 9));
        while (d.size() < n)
            d += static_cast<char>('0' + rng() % 10);
        return d;
    };
    std::string text;
    while (text.size() < size) {
        switch (rng() % 8) {
        case 0:
            text += digits(1 + rng() % 3000) + (rng() % 3 ? "" : "@");
            break;
        case 1: {
            std::string run;
            for (std::size_t n = rng() % 800; n > 0; --n)
                run += rng() % 4 ? "<;" : pieces[rng() % pieces.size()];
            text += run;
            break;
        }
        case 2:
            text += "\n;" + std::string(rng() % 2000, 'x');
            break;
        default:
            text += pieces[rng() % pieces.size()];
        }
    }
    return text;
}

TEST(LinearMatch, RandomTextsGiveThePlainLongestMatchesTokens)
{
    std::mt19937 rng(20270101);
    for (int i = 0; i < 24; ++i) {
        const std::string text = random_long_runs(rng, 20000 + rng() % 30000);
        const std::vector<Tok> plain = scan_plain(text);
        ASSERT_EQ(scan_text(text), plain) << "text " << i;
        ASSERT_EQ(scan_text(text, true), plain) << "text " << i;
        ASSERT_EQ(scan_memory(text), plain) << "text " << i;
        ASSERT_EQ(scan_file(text), plain) << "text " << i;
        // Refills cut the long runs everywhere, and the buffer grows under
        // a match that has failed before.
        ASSERT_EQ(scan_pipe(text, {1, 4096, 7, 8191, 3, 64, 65}), plain) << "text " << i;
    }
}

// The memo of failures against a plain set of (plane, position): runs
// added in any order, touching, overlapping, one position apart or inside
// others, and the positions before a place forgotten.  It knows exactly
// the positions recorded and not forgotten (a position it wrongly knows
// ends a match that would succeed), and its bounds hold them all.
TEST(LinearMatch, MemoOfFailuresKnowsExactlyWhatWasRecorded)
{
    std::mt19937 rng(31337);
    constexpr int planes = 3;
    constexpr std::int64_t span = 120;
    for (int round = 0; round < 300; ++round) {
        scan_engine::failures memo(planes);
        std::set<std::pair<int, std::int64_t>> known;
        std::int64_t forgotten = 0; // drop_before goes forward, as a scanner does
        for (int step = 0; step < 40; ++step) {
            const int plane = static_cast<int>(rng() % planes);
            const unsigned what = rng() % 10;
            std::string op;
            if (what < 8) {
                const std::int64_t from = forgotten + static_cast<std::int64_t>(rng() % 40);
                const std::int64_t to = from + static_cast<std::int64_t>(rng() % 6);
                memo.add(plane, from, to);
                for (std::int64_t p = from; p < to; ++p)
                    known.insert({plane, p});
                op = "add " + std::to_string(plane) + " [" + std::to_string(from) + ", " + std::to_string(to) + ")";
            } else if (what < 9) {
                forgotten += static_cast<std::int64_t>(rng() % 8);
                memo.drop_before(forgotten);
                std::erase_if(known, [&](const auto& k) { return k.second < forgotten; });
                op = "drop_before " + std::to_string(forgotten);
            } else {
                memo.clear();
                known.clear();
                op = "clear";
            }
            const std::string where = "round " + std::to_string(round) + " step " + std::to_string(step) + ": " + op;
            for (int x = 0; x < planes; ++x)
                for (std::int64_t p = forgotten - 2; p < forgotten + span; ++p)
                    ASSERT_EQ(memo.has(x, p), known.count({x, p}) == 1)
                        << where << ", plane " << x << " position " << p;
            ASSERT_EQ(memo.empty(), known.empty()) << where;
            for (const auto& [x, p] : known) {
                ASSERT_LE(memo.begin(), p) << where;
                ASSERT_GT(memo.end(), p) << where;
            }
        }
    }
}

// After a long match has failed and its failures are recorded, the next
// match begins one byte past where it began and runs into the record; later
// ones begin inside the record, at its end, or cross its end undecided (a
// tag in a failed bracketed comment that ends at the comment's '>' and may
// go on past it, "<*T>" before "t").  Read through buffers of every size
// from one byte of room to some hundred, the refills cut the failed match
// and the record everywhere.  Every scanner gives the backtracking
// matcher's tokens.
TEST(LinearMatch, MatchesAfterARecordedFailureAcrossRefillsOfEverySize)
{
    const std::string body(70, 'y');
    const std::string digits = "1" + std::string(80, '2');
    const std::vector<std::string> texts = {
        digits + "x12@ 3",                          // digits that no '@' ends
        digits + "@" + digits + "x" + digits + "@", // ended, not ended, ended
        "<;" + body + "<*T>t <;" + body + "<*T>",   // a tag at the end of the record
        "<;" + body + "<*T>x 1",                    // and the match after it fails
        "<;" + body + "<#Knock>x",                  // decided at the record's end
        "<;" + body + "<*T>" + digits + "@ a",      // digits begin at the record's end
        "<;" + body + "12>x" + digits + "x",        // digits inside the record
        "a b\n;" + body + "<;" + body,              // a comment line that the text ends
    };
    for (const std::string& text : texts) {
        ASSERT_TRUE(records_failures(text)) << text;
        const std::vector<Tok> expected = scan_backtracking(TRL_RULE_FILE, text);
        ASSERT_EQ(scan_text(text), expected) << text;
        ASSERT_EQ(scan_text(text, true), expected) << text;
        ASSERT_EQ(scan_memory(text), expected) << text;
        for (int size = 1; size <= 300; ++size) {
            ASSERT_EQ(scan_file(text, size), expected) << "buffer " << size << ": " << text;
            ASSERT_EQ(scan_inline(text, size), without_text(expected)) << "buffer " << size << ": " << text;
        }
    }
}

// A text scanner and its copies share what they learn of the text: a copy
// made before a long match failed, and one made after, both go on as the
// original does.
TEST(LinearMatch, CopiesOfATextScannerGoOnAlike)
{
    std::mt19937 rng(7);
    const std::string text = random_long_runs(rng, 40000);
    trl_text_scanner s;
    trl_text_scanner_start(s, text.data(), text.size());
    std::vector<trl_text_scanner> copies;
    std::vector<std::vector<int>> from_copy;
    std::vector<int> codes_from;
    for (int code = -1; code != 0;) {
        if (rng() % 500 == 0)
            copies.push_back(s);
        code = trl_text_scan(s);
        codes_from.push_back(code);
    }
    ASSERT_FALSE(copies.empty());
    for (trl_text_scanner& c : copies) {
        std::vector<int> rest;
        for (int code = -1; code != 0;)
            rest.push_back(code = trl_text_scan(c));
        EXPECT_TRUE(std::equal(rest.rbegin(), rest.rend(), codes_from.rbegin()));
        EXPECT_EQ(c.lineno, s.lineno);
    }
}

// A megabyte of digits without '@', of "<;" without "> ", of one comment
// line without its newline: every match backs up, and the scan stays
// linear.  (Scanned quadratically, each takes many minutes; here well under
// a second even with the sanitizers.)
TEST(LinearMatch, PathologicalMegabytesInBoundedTime)
{
    constexpr std::size_t size = 1 << 20;
    std::string digits;
    for (std::size_t i = 0; i < size; ++i)
        digits += static_cast<char>('1' + i % 9);
    std::string comments;
    while (comments.size() < size)
        comments += "<;";
    const std::string line = ";" + std::string(size, 'x');

    const std::string* const texts[] = {&digits, &comments, &line};
    for (const std::string* text : texts) {
        trl_text_scanner s;
        trl_text_scanner_start(s, text->data(), text->size());
        std::size_t tokens = 0;
        const auto start = std::chrono::steady_clock::now();
        while (trl_text_scan(s) != 0)
            ++tokens;
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(tokens, text->size()); // every byte alone
        EXPECT_LT(took, 20.0);

        const auto stream_start = std::chrono::steady_clock::now();
        const std::vector<Tok> piped = scan_pipe(*text, {8192});
        const double stream_took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - stream_start).count();
        EXPECT_EQ(piped.size(), text->size() + 1);
        EXPECT_LT(stream_took, 20.0);
    }
    // The first digit alone, then each: N, and the value of each digit.
    const std::vector<Tok> toks = scan_memory(digits.substr(0, 5000));
    for (std::size_t i = 0; i < 5000; ++i)
        ASSERT_EQ(toks[i], (Tok{N, 1, digits[i], 0, digits.substr(i, 1)})) << i;
}

// The line count goes on past 2^31 (the parser prints it, and trl-check).
TEST(Counts, LineNumbersBeyond32Bits)
{
    constexpr long long before = INT_MAX - 1;
    trl_buffer* b = trl_scan_string("a\nb\n;c\nd\n");
    lineno = before;
    std::vector<long long> lines;
    while (trllex() != 0)
        lines.push_back(lineno);
    trl_delete_buffer(b);
    EXPECT_EQ(lines, (std::vector<long long>{before, before + 1, before + 3}));
    EXPECT_EQ(lineno, before + 4);

    trl_text_scanner s;
    const std::string text = "a\nb\n;c\nd\n";
    trl_text_scanner_start(s, text.data(), text.size());
    s.lineno = before;
    while (trl_text_scan(s) != 0) {
    }
    EXPECT_EQ(s.lineno, before + 4);
}

// 2 GiB and more of address space made of a few pages: a first and a last
// chunk of their own, and one zero-filled chunk mapped again and again in
// between, so that a text of that size costs neither memory nor the time
// to fill it.
class large_text {
public:
    static constexpr std::size_t chunk = std::size_t{1} << 21;

    large_text(std::size_t chunks, std::string_view head, std::string_view tail) : size_(chunk * chunks)
    {
        void* area = mmap(nullptr, size_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (area == MAP_FAILED)
            return;
        base_ = static_cast<char*>(area);
        for (std::size_t i = 0; i < chunks; ++i) {
            const int fd = i == 0 ? file(head, false) : i + 1 == chunks ? file(tail, true) : file("", false);
            if (fd < 0 || mmap(base_ + i * chunk, chunk, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED | MAP_POPULATE,
                               fd, 0) == MAP_FAILED) {
                munmap(base_, size_);
                base_ = nullptr;
                return;
            }
        }
    }
    ~large_text()
    {
        if (base_)
            munmap(base_, size_);
        for (const int fd : fds_)
            close(fd);
    }
    char* data() const { return base_; }
    std::size_t size() const { return size_; }

private:
    // A chunk holding `text` at its start, or (at_end) before its last two
    // bytes; the zero chunk is made once.
    int file(std::string_view text, bool at_end)
    {
        if (text.empty() && zero_ >= 0)
            return zero_;
        const int fd = memfd_create("large_text", 0);
        if (fd < 0 || ftruncate(fd, static_cast<off_t>(chunk)) != 0)
            return -1;
        fds_.push_back(fd);
        if (pwrite(fd, text.data(), text.size(), at_end ? static_cast<off_t>(chunk - 2 - text.size()) : 0) !=
            static_cast<ssize_t>(text.size()))
            return -1;
        if (text.empty())
            zero_ = fd;
        return fd;
    }

    std::size_t size_;
    char* base_ = nullptr;
    int zero_ = -1;
    std::vector<int> fds_;
};

// A match of more than 2 GiB: a bracketed comment, skipped whole by both
// scanners, with the token after it where it is.  (A scanner that counted
// in int died here.)
TEST(Counts, CommentLongerThan2GiB)
{
    const large_text text(1025, "<;", "> x");
    if (!text.data())
        GTEST_SKIP() << "cannot map 2 GiB";
    const std::size_t size = text.size();
    ASSERT_GT(size, std::size_t{1} << 31);

    trl_text_scanner s;
    trl_text_scanner_start(s, text.data(), size - 2);
    EXPECT_EQ(trl_text_scan(s), L);
    EXPECT_EQ(s.token, text.data() + size - 3);
    EXPECT_EQ(trl_text_scan(s), 0);

    trl_buffer* b = trl_scan_buffer(text.data(), size);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->count, static_cast<std::ptrdiff_t>(size - 2));
    EXPECT_EQ(trllex(), L);
    EXPECT_EQ(trltext, text.data() + size - 3);
    EXPECT_EQ(trllex(), 0);
    trl_delete_buffer(b);
}

} // namespace
