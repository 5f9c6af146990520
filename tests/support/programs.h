// End-to-end test support: a built program run in a temporary folder with
// its standard output read through a pipe, and Quenda files laid out byte by
// byte at the documented offsets (never through the header library).
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

// Stores `v` little-endian in `bytes` bytes at `offset`.
inline void put_le(std::string& b, std::size_t offset, std::int64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b.at(offset + static_cast<std::size_t>(i)) = static_cast<char>((static_cast<std::uint64_t>(v) >> (8 * i)) & 0xff);
}

inline void put_text(std::string& b, std::size_t offset, const std::string& s)
{
    b.replace(offset, s.size(), s);
}

// The fixed 512-byte header: nspbk at 20, anz_header at 24, isf at 244,
// the version byte at 293, adc_bits at 294.
inline std::string fixed_header(std::int32_t nspbk, std::int32_t anz_header, std::int8_t version, std::int32_t isf)
{
    std::string b(512, '\0');
    put_le(b, 20, nspbk, 4);
    put_le(b, 24, anz_header, 4);
    put_le(b, 244, isf, 4);
    b[293] = static_cast<char>(version);
    put_le(b, 294, 16, 2);
    return b;
}

// The dynamic part of a version-2 header with both texts, padded to
// `blocks` - 1 blocks.
inline std::string dynamic_part(const std::string& ort, const std::string& kan, std::int32_t blocks)
{
    using namespace std::string_literals;
    std::string d = "ort\0"s + ort + "\0oend::\0"s + "kan\0"s + kan + "\0kend::\0"s;
    d.resize(static_cast<std::size_t>(blocks - 1) * 512, '\0');
    return d;
}

// `n` samples whose bytes differ from sample to sample and within one.
inline std::string sample_data(std::size_t n)
{
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s.push_back(static_cast<char>(i * 7 + 1));
        s.push_back(static_cast<char>((i >> 3) ^ 0x5a));
    }
    return s;
}

inline std::string read_file(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

struct Result {
    int status;  // exit status, or 1000 + signal number
    std::string out;
    std::string err;
};

// A test with a temporary folder of its own, where the program runs.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "quenda-e2e-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path path(const std::string& name) const { return dir_ / name; }
    void write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }
    std::string read(const std::string& name) const { return read_file(path(name)); }

    // Runs `program` as `argv0` with `args` in the folder, standard input an
    // empty pipe.  Standard output is a pipe read into the result, or the
    // file `stdout_to` (emptied, or appended to when it begins with ">>"),
    // or closed when that is "-".
    Result run(const char* program, const char* argv0, const std::vector<std::string>& args,
               const std::string& stdout_to = "") const
    {
        const fs::path err_file = dir_ / ".stderr";
        int out_pipe[2];
        int in_pipe[2];
        if (pipe(out_pipe) != 0 || pipe(in_pipe) != 0)
            return {-1, "", "pipe failed"};
        fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir_.c_str()) != 0)
                _exit(120);
            const int e = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (e < 0 || dup2(e, 2) < 0 || dup2(in_pipe[0], 0) < 0)
                _exit(121);
            if (stdout_to == "-") {
                close(1);
            } else if (!stdout_to.empty()) {
                const bool append = stdout_to.starts_with(">>");
                const int o = open(stdout_to.c_str() + (append ? 2 : 0),
                                   O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC), 0644);
                if (o < 0 || dup2(o, 1) < 0)
                    _exit(122);
            } else if (dup2(out_pipe[1], 1) < 0) {
                _exit(123);
            }
            for (const int fd : {out_pipe[0], out_pipe[1], in_pipe[0], in_pipe[1], e})
                if (fd > 2)
                    close(fd);
            std::vector<char*> argv{const_cast<char*>(argv0)};
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(program, argv.data());
            _exit(127);
        }
        close(out_pipe[1]);
        close(in_pipe[0]);
        close(in_pipe[1]);
        Result r{-1, "", ""};
        char buf[65536];
        for (ssize_t n; (n = ::read(out_pipe[0], buf, sizeof buf)) > 0;)
            r.out.append(buf, static_cast<std::size_t>(n));
        close(out_pipe[0]);
        int st = 0;
        waitpid(pid, &st, 0);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 1000 + WTERMSIG(st);
        r.err = read_file(err_file);
        fs::remove(err_file);
        return r;
    }

    fs::path dir_;
};

}  // namespace e2e
