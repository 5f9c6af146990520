#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace test_support {

temp_dir::temp_dir()
{
    std::string pattern = (fs::temp_directory_path() / "quenda-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
}

temp_dir::~temp_dir()
{
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_directory(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string temp_dir::write(const std::string& name, std::string_view bytes) const
{
    const fs::path p = path_ / name;
    fs::create_directories(p.parent_path());
    write_file(p, bytes);
    return p.string();
}

std::string temp_dir::read(const std::string& name) const
{
    return read_file(path_ / name);
}

std::string read_file(const fs::path& path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& path, std::string_view bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!f)
        throw std::runtime_error("cannot write " + path.string());
}

namespace {

struct pipe_pair {
    int fd[2] = {-1, -1};
    pipe_pair()
    {
        if (pipe2(fd, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
    }
    ~pipe_pair() { close_both(); }
    void close_end(int i)
    {
        if (fd[i] >= 0)
            ::close(fd[i]);
        fd[i] = -1;
    }
    void close_both()
    {
        close_end(0);
        close_end(1);
    }
};

// In the child: makes `from` descriptor `to` (a no-op when they are one).
void move_fd(int from, int to)
{
    if (from == to) {
        fcntl(to, F_SETFD, 0);
        return;
    }
    if (dup2(from, to) < 0)
        _exit(121);
}

} // namespace

run_result run(const std::string& program, const std::vector<std::string>& args, const run_options& o)
{
    // A program that stops reading its input is no failure of the test.
    signal(SIGPIPE, SIG_IGN);
    // Standard input from a file unless a pipe is asked for: a file is
    // read whole however much the program reads.
    temp_dir scratch;
    std::string in_file;
    if (!o.in_is_pipe)
        in_file = scratch.write("stdin", o.in);
    pipe_pair in_pipe, out_pipe, err_pipe;
    std::vector<std::string> words{o.argv0.empty() ? program : o.argv0};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (!o.cwd.empty() && chdir(o.cwd.c_str()) != 0)
            _exit(120);
        const int in = o.in_is_pipe ? in_pipe.fd[0] : open(in_file.c_str(), O_RDONLY);
        if (in < 0)
            _exit(122);
        move_fd(in, 0);
        if (o.out_to == "-") {
            close(1);
        } else if (!o.out_to.empty()) {
            const bool append = o.out_to.starts_with(">>");
            const int out =
                open(o.out_to.c_str() + (append ? 2 : 0), O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC), 0644);
            if (out < 0)
                _exit(123);
            move_fd(out, 1);
        } else {
            move_fd(out_pipe.fd[1], 1);
        }
        move_fd(err_pipe.fd[1], 2);
        for (const int fd : o.closed)
            close(fd);
        if (o.file_limit > 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit rl{o.file_limit, o.file_limit};
            if (setrlimit(RLIMIT_FSIZE, &rl) != 0)
                _exit(124);
        }
        if (o.address_limit > 0) {
            const rlimit rl{o.address_limit, o.address_limit};
            if (setrlimit(RLIMIT_AS, &rl) != 0)
                _exit(125);
        }
        signal(SIGPIPE, o.sigpipe_ignored ? SIG_IGN : SIG_DFL);
        for (const std::string& word : o.env)
            putenv(const_cast<char*>(word.c_str()));
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    in_pipe.close_end(0);
    out_pipe.close_end(1);
    err_pipe.close_end(1);
    if (o.in_is_pipe)
        fcntl(in_pipe.fd[1], F_SETFL, O_NONBLOCK);
    else
        in_pipe.close_end(1);

    // Feeds standard input and reads both outputs at once, so that no
    // pipe fills while the other is waited on.
    run_result r;
    std::size_t fed = 0;
    char buf[65536];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(o.timeout_seconds);
    bool killed = false;
    for (;;) {
        pollfd fds[3];
        nfds_t n = 0;
        if (out_pipe.fd[0] >= 0)
            fds[n++] = {out_pipe.fd[0], POLLIN, 0};
        if (err_pipe.fd[0] >= 0)
            fds[n++] = {err_pipe.fd[0], POLLIN, 0};
        if (in_pipe.fd[1] >= 0) {
            if (fed == o.in.size())
                in_pipe.close_end(1);
            else
                fds[n++] = {in_pipe.fd[1], POLLOUT, 0};
        }
        if (n == 0)
            break;
        int wait_ms = -1;
        if (o.timeout_seconds > 0 && !killed) {
            using std::chrono::milliseconds;
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                kill(pid, SIGKILL); // its pipes close as it ends
                killed = true;
                r.timed_out = true;
            } else {
                wait_ms = static_cast<int>(left.count());
            }
        }
        const int ready = poll(fds, n, wait_ms);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (nfds_t i = 0; i < n; ++i) {
            if (fds[i].revents == 0)
                continue;
            if (fds[i].fd == in_pipe.fd[1]) {
                const ssize_t w = ::write(fds[i].fd, o.in.data() + fed, o.in.size() - fed);
                if (w > 0)
                    fed += static_cast<std::size_t>(w);
                else if (errno != EINTR && errno != EAGAIN)
                    in_pipe.close_end(1); // the program does not read it all
                continue;
            }
            const ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
            if (got > 0) {
                (fds[i].fd == out_pipe.fd[0] ? r.out : r.err).append(buf, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                if (fds[i].fd == out_pipe.fd[0])
                    out_pipe.close_end(0);
                else
                    err_pipe.close_end(0);
            }
        }
    }
    int st = 0;
    while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 1000 + WTERMSIG(st);
    return r;
}

run_result run_shell(const std::string& command, std::string_view in)
{
    run_options o;
    o.in = std::string(in);
    return run("/bin/bash", {"-c", command}, o);
}

std::string shell_line(const std::vector<std::string>& words)
{
    std::string line;
    for (const std::string& w : words) {
        line += line.empty() ? "'" : " '";
        for (const char c : w)
            line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += '\'';
    }
    return line;
}

} // namespace test_support
