#include "tests/support/scan.h"

#include "checker/lex.trl.inline.h"
#include "lex.trl.tables.h"
#include "language/text_scanner.h"
#include "tests/support/matchers.h"
#include "tests/support/process.h"
#include "scan_engine.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <thread>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

std::ostream& operator<<(std::ostream& out, const Tok& t)
{
    return out << '{' << t.code << ' ' << t.leng << ' ' << t.val << ' ' << t.line << " \"" << t.text << "\"}";
}

std::vector<Tok> scan_current()
{
    lineno = 0;
    trllval = 0;
    std::vector<Tok> toks;
    for (;;) {
        const int code = trllex();
        // The end of the input: no text (trlleng keeps the last match's).
        toks.push_back(
            {code, code ? trlleng : 0, trllval, lineno, code ? std::string(trltext, trlleng) : std::string()});
        if (code == 0)
            return toks;
    }
}

std::vector<Tok> scan_memory(std::string_view text)
{
    trl_buffer* b = trl_scan_bytes(text.data(), static_cast<std::ptrdiff_t>(text.size()));
    std::vector<Tok> toks = scan_current();
    trl_delete_buffer(b);
    return toks;
}

std::vector<Tok> scan_stream(FILE* in, int buffer_size)
{
    trl_buffer* b = trl_create_buffer(in, buffer_size);
    trl_switch_to_buffer(b);
    std::vector<Tok> toks = scan_current();
    trl_delete_buffer(b);
    return toks;
}

std::vector<Tok> scan_text(std::string_view text, bool after_failure)
{
    // The text in an array of its own size, so that a read past its end
    // shows under the sanitizers.
    std::unique_ptr<char[]> copy(new char[text.size() ? text.size() : 1]);
    std::memcpy(copy.get(), text.data(), text.size());
    trl_text_scanner s;
    trl_text_scanner_start(s, copy.get(), text.size());
    std::vector<Tok> toks;
    for (;;) {
        const int code = after_failure ? trl_text_scan<true>(s) : trl_text_scan(s);
        toks.push_back({code, s.length, s.value, s.lineno, std::string(s.token, static_cast<std::size_t>(s.length))});
        if (code == 0)
            return toks;
    }
}

bool records_failures(std::string_view text)
{
    trl_text_scanner s;
    trl_text_scanner_start(s, text.data(), text.size());
    while (trl_text_scan(s) != 0) {
    }
    return s.failed && !s.failed->empty();
}

namespace {

// What a model of the rules finds at a place: the rule (0: none takes the
// byte) and the length of the match, its trailing context given back.
struct model_match {
    int rule;
    std::size_t length;
};

// The tokens of a whole text, the match at each place found by `find`
// (text, position, at the beginning of a line); the rules' tokens and
// actions are the tables'.
template <class Find> std::vector<Tok> scan_model(std::string_view text, Find find)
{
    using T = trl_dfa::tables;
    std::vector<Tok> toks;
    long long line = 0;
    int value = 0;
    bool line_start = true;
    for (std::size_t pos = 0;;) {
        if (pos == text.size()) {
            toks.push_back({0, 0, value, line, ""});
            return toks;
        }
        const model_match m = find(text, pos, line_start);
        if (m.rule == 0) { // no rule takes the byte (no rule set of ours leaves one)
            toks.push_back({TRL_UNDEFINED_TOKEN, 1, value, line, std::string(text.substr(pos, 1))});
            ++pos;
            continue;
        }
        const std::string_view match = text.substr(pos, m.length);
        pos += m.length;
        line_start = match.back() == '\n';
        trl_match yy{match.data(), static_cast<std::ptrdiff_t>(match.size()), line, value};
        const int code = scan_engine::token<T>(m.rule, yy);
        if (code != scan_engine::skip)
            toks.push_back({code, yy.length, value, line, std::string(match)});
    }
}

} // namespace

std::vector<Tok> scan_plain(std::string_view text)
{
    using T = trl_dfa::tables;
    return scan_model(text, [](std::string_view text, std::size_t pos, bool line_start) {
        int state = line_start ? T::start_state_at_line_start : T::start_state;
        std::size_t last = pos;
        int rule = 0;
        for (std::size_t at = pos; at < text.size();) {
            state = T::next_state(state, static_cast<unsigned char>(text[at++]));
            if (state == 0)
                break;
            if (T::accept[state] != 0) {
                rule = T::accept[state];
                last = at;
            }
        }
        return model_match{rule, rule ? last - T::tail_length[rule] - pos : 0};
    });
}

std::vector<Tok> scan_backtracking(const std::string& rule_file, std::string_view text)
{
    // Each rule file read once.
    static std::map<std::string, lexgen::rule_set> read;
    auto it = read.find(rule_file);
    if (it == read.end())
        it = read.emplace(rule_file, lexgen::read_rules(test_support::read_file(rule_file), rule_file)).first;
    const lexgen::rule_set& rules = it->second;
    return scan_model(text, [&rules](std::string_view text, std::size_t pos, bool line_start) {
        const lexgen_test::match m = lexgen_test::reference_match(rules, text, pos, line_start);
        return model_match{m.rule, static_cast<std::size_t>(m.length)};
    });
}

FILE* file_with(std::string_view text)
{
    FILE* f = std::tmpfile();
    if (!f)
        std::abort();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    return f;
}

std::vector<Tok> scan_file(std::string_view text, int buffer_size)
{
    FILE* f = file_with(text);
    std::vector<Tok> toks = scan_stream(f, buffer_size);
    std::fclose(f);
    return toks;
}

std::vector<Tok> scan_inline(std::string_view text, int buffer_size)
{
    FILE* f = file_with(text);
    trl_buffer* b = trl_create_buffer(f, buffer_size);
    trl_switch_to_buffer(b);
    lineno = 0;
    int value = 0;
    std::vector<Tok> toks;
    trl_inline_scanner r = trl_inline_start();
    for (;;) {
        const int code = trl_read_token(r, value);
        toks.push_back({code, 0, value, lineno, std::string()});
        if (code == 0)
            break;
    }
    trl_inline_finish(r);
    trl_delete_buffer(b);
    std::fclose(f);
    return toks;
}

std::vector<Tok> without_text(std::vector<Tok> toks)
{
    for (Tok& t : toks) {
        t.leng = 0;
        t.text.clear();
    }
    return toks;
}

std::vector<Tok> scan_pipe(std::string_view text, const std::vector<std::size_t>& chunks)
{
    int fds[2];
    if (pipe(fds) != 0)
        std::abort();
    std::thread writer([&] {
        std::size_t at = 0;
        for (std::size_t i = 0; at < text.size(); ++i) {
            std::size_t n = chunks.empty() ? text.size() : chunks[i % chunks.size()];
            n = std::min(n, text.size() - at);
            if (write(fds[1], text.data() + at, n) != static_cast<ssize_t>(n))
                std::abort();
            at += n;
            if (!chunks.empty())
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        close(fds[1]);
    });
    FILE* in = fdopen(fds[0], "r");
    std::vector<Tok> toks = scan_stream(in);
    writer.join();
    std::fclose(in);
    return toks;
}

std::vector<int> codes(const std::vector<Tok>& toks)
{
    std::vector<int> c;
    for (const Tok& t : toks)
        c.push_back(t.code);
    EXPECT_FALSE(c.empty());
    EXPECT_EQ(c.back(), 0);
    if (!c.empty())
        c.pop_back();
    return c;
}

ChildResult in_child(const std::function<void()>& f)
{
    int fds[2];
    if (pipe(fds) != 0)
        std::abort();
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
#if defined(__SANITIZE_ADDRESS__)
        __lsan_disable(); // a fatal error ends the process with what it holds
#endif
        dup2(fds[1], 2);
        close(fds[0]);
        close(fds[1]);
        f();
        _exit(99);
    }
    close(fds[1]);
    ChildResult r{-1, {}};
    char buf[256];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        r.err.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        r.status = WEXITSTATUS(status);
    return r;
}

// The memory functions of the test programs, which the linker puts in
// place of malloc and realloc (-Wl,--wrap).
int alloc_calls;
namespace {
int alloc_countdown = -1;
bool realloc_fails;
} // namespace

void fail_allocation(int n)
{
    alloc_countdown = n;
}

void fail_reallocation()
{
    realloc_fails = true;
}

extern "C" {
void* __real_malloc(std::size_t size);
void* __real_realloc(void* ptr, std::size_t size);

void* __wrap_malloc(std::size_t size)
{
    ++alloc_calls;
    if (alloc_countdown >= 0 && alloc_countdown-- == 0)
        return nullptr;
    return __real_malloc(size);
}

void* __wrap_realloc(void* ptr, std::size_t size)
{
    return realloc_fails ? nullptr : __real_realloc(ptr, size);
}
}
