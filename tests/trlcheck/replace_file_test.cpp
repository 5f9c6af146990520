// Fixes written over a file: never over a path that is not a regular file,
// a file its user may not write, a file with other names, or a file that
// changed after it was read; the old file's owner, whole mode and extended
// attributes kept; a link followed and kept; and no new file left beside
// the old one by a refusal or a failure.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "checker/trl-check/replace_file.h"
#include "common/file_text.h"
#include "tests/support/trl_check.h"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::temp_dir;
using test_support::write_file;

const std::string old_text = "g012abc3_001_ABC_000000: ja .\r\n\r\n"; // a carriage return to fix
const std::string new_text = "g012abc3_001_ABC_000000: ja .\n\n";
const std::string changed = "changed while it was fixed; run again";
constexpr auto regular = files::file_text::accept::regular; // as trl-check --fix loads a file

// The names in a folder, sorted; nothing is read (a pipe would wait).
std::vector<std::string> names_in(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The file at `path` loaded as trl-check loads it and replaced by `bytes`:
// what replace_file returned.
std::string load_and_replace(const std::string& path, const std::string& bytes)
{
    files::file_text src;
    if (!src.load(path, regular))
        return "not loaded: " + src.error();
    return trl::cli::replace_file(path, src, bytes);
}

struct stat stat_of(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

TEST(TrlCheckReplaceFile, LinksAreFollowedAndKept)
{
    const temp_dir dir;
    const std::string real = dir.write("sub/real.trl", old_text);
    const std::string link = (dir / "link.trl").string();
    const std::string chain = (dir / "chain.trl").string();
    fs::create_symlink("sub/real.trl", link);
    fs::create_symlink("link.trl", chain);
    EXPECT_EQ(load_and_replace(chain, new_text), "");
    EXPECT_EQ(read_file(real), new_text);
    ASSERT_TRUE(fs::is_symlink(link));
    ASSERT_TRUE(fs::is_symlink(chain));
    EXPECT_EQ(fs::read_symlink(link), "sub/real.trl");
    EXPECT_EQ(fs::read_symlink(chain), "link.trl");
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"chain.trl", "link.trl", "sub"}));
    EXPECT_EQ(names_in(dir / "sub"), std::vector<std::string>{"real.trl"});
}

// What another writer does to a file between the load of its text and the
// replace: each is seen, the other writer's file stays as it left it, and
// the new file is gone.
TEST(TrlCheckReplaceFile, FileChangedAfterItWasReadIsNotReplaced)
{
    const std::string appended = old_text + "g012abc3_002_ABC_000000: so .\n\n";
    const std::string same_size = "g012abc3_001_ABC_000000: ne .\r\n\r\n";
    struct case_ {
        const char* what;
        std::function<void(const temp_dir&, const std::string&)> change;
        std::string expected; // in the file afterwards
    };
    const std::vector<case_> cases = {
        {"nothing", [](const temp_dir&, const std::string&) {}, new_text},
        {"a line appended",
         [&](const temp_dir&, const std::string& path) {
             const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
             ASSERT_GE(fd, 0);
             const std::string more = appended.substr(old_text.size());
             EXPECT_EQ(::write(fd, more.data(), more.size()), static_cast<ssize_t>(more.size()));
             ::close(fd);
         },
         appended},
        {"written over in place at once, as long as it was",
         [&](const temp_dir&, const std::string& path) {
             const int fd = ::open(path.c_str(), O_WRONLY);
             ASSERT_GE(fd, 0);
             EXPECT_EQ(::pwrite(fd, same_size.data(), same_size.size(), 0), static_cast<ssize_t>(same_size.size()));
             ::close(fd);
         },
         same_size},
        {"written over, as long as it was, its time set back",
         [&](const temp_dir&, const std::string& path) {
             const struct stat before = stat_of(path);
             write_file(path, same_size);
             const timespec times[2] = {before.st_atim, before.st_mtim};
             EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
         },
         same_size},
        {"touched",
         [&](const temp_dir&, const std::string& path) {
             EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), nullptr, 0), 0);
         },
         old_text},
        {"replaced by a copy",
         [&](const temp_dir& dir, const std::string& path) {
             EXPECT_EQ(::rename(dir.write("copy", old_text).c_str(), path.c_str()), 0);
         },
         old_text},
        {"truncated", [](const temp_dir&, const std::string& path) { EXPECT_EQ(::truncate(path.c_str(), 0), 0); }, ""},
    };
    for (const case_& c : cases) {
        const temp_dir dir;
        const std::string path = dir.write("a.trl", old_text);
        files::file_text src;
        ASSERT_TRUE(src.load(path, regular)) << src.error();
        c.change(dir, path);
        EXPECT_EQ(trl::cli::replace_file(path, src, new_text), c.expected == new_text ? "" : changed) << c.what;
        EXPECT_EQ(read_file(path), c.expected) << c.what;
        EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"a.trl"}) << c.what;
    }

    // A file removed, and a link that leads elsewhere since the load: the
    // file it led to and the one it leads to are as they were.
    const temp_dir dir;
    const std::string removed = dir.write("removed.trl", old_text);
    files::file_text src;
    ASSERT_TRUE(src.load(removed, regular)) << src.error();
    fs::remove(removed);
    EXPECT_EQ(trl::cli::replace_file(removed, src, new_text), changed);
    EXPECT_TRUE(names_in(dir.path()).empty());

    const std::string first = dir.write("first.trl", old_text);
    const std::string second = dir.write("second.trl", old_text);
    const std::string link = (dir / "link.trl").string();
    fs::create_symlink("first.trl", link);
    ASSERT_TRUE(src.load(link, regular)) << src.error();
    fs::remove(link);
    fs::create_symlink("second.trl", link);
    EXPECT_EQ(trl::cli::replace_file(link, src, new_text), changed);
    EXPECT_EQ(read_file(first), old_text);
    EXPECT_EQ(read_file(second), old_text);
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"first.trl", "link.trl", "second.trl"}));
}

TEST(TrlCheckReplaceFile, PathsThatAreNoRegularFileAreNotReadNorWritten)
{
    const temp_dir dir;
    const std::string null_link = (dir / "null.trl").string();
    fs::create_symlink("/dev/null", null_link);
    files::file_text src;
    for (const std::string& path : {std::string("-"), std::string("/dev/null"), null_link}) {
        EXPECT_FALSE(src.load(path, regular)) << path;
        EXPECT_TRUE(src.not_regular()) << path;
        EXPECT_EQ(src.error(), "not a regular file") << path;
        // Read for a check alone, it is no file to write either.
        if (path != "-") {
            ASSERT_TRUE(src.load(path)) << path;
            EXPECT_FALSE(src.not_regular());
            EXPECT_EQ(trl::cli::replace_file(path, src, new_text), "not a regular file") << path;
        }
    }
    // A link to a pipe through /proc, as /dev/stdin is to standard input.
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    ASSERT_EQ(::write(pipe_fds[1], old_text.data(), old_text.size()), static_cast<ssize_t>(old_text.size()));
    ::close(pipe_fds[1]);
    const std::string pipe_link = (dir / "pipe.trl").string();
    fs::create_symlink("/proc/self/fd/" + std::to_string(pipe_fds[0]), pipe_link);
    ASSERT_TRUE(src.load(pipe_link)) << src.error();
    EXPECT_EQ(src.text(), old_text);
    EXPECT_EQ(trl::cli::replace_file(pipe_link, src, new_text), "not a regular file");
    ::close(pipe_fds[0]);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_symlink(null_link));
    EXPECT_TRUE(fs::is_symlink(pipe_link));
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"null.trl", "pipe.trl"}));
    // A regular file loads as one, and a folder says what it is.
    ASSERT_TRUE(src.load(dir.write("a.trl", old_text), regular)) << src.error();
    EXPECT_TRUE(src.identity().regular);
    EXPECT_FALSE(src.load(dir.path().string(), regular));
    EXPECT_FALSE(src.not_regular());
    EXPECT_EQ(src.error(), "Is a directory");
}

// A file with another name (a hard link) is left alone: a new file would
// take the place of one name and leave the old text under the other.
TEST(TrlCheckReplaceFile, FileWithOtherNamesIsNotReplaced)
{
    const temp_dir dir;
    const std::string a = dir.write("a.trl", old_text);
    const std::string b = (dir / "b.trl").string();
    fs::create_hard_link(a, b);
    EXPECT_EQ(load_and_replace(a, new_text), "it has other names (hard links) that would keep the old text");
    EXPECT_EQ(read_file(a), old_text);
    EXPECT_EQ(stat_of(a).st_ino, stat_of(b).st_ino);
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"a.trl", "b.trl"}));
}

// `body` run in a child process as the user nobody (65534, no groups), or
// as the test's own user when it is not root; what it returned.
std::string as_nobody(const std::function<std::string()>& body)
{
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0)
        return "no pipe";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipe_fds[0]);
        std::string out;
        if (::getuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                                ::setresuid(65534, 65534, 65534) != 0))
            out = "cannot become nobody";
        else
            out = body();
        const ssize_t written = ::write(pipe_fds[1], out.data(), out.size());
        ::_exit(written == static_cast<ssize_t>(out.size()) ? 0 : 1);
    }
    ::close(pipe_fds[1]);
    std::string out;
    char piece[256];
    for (ssize_t n; (n = ::read(pipe_fds[0], piece, sizeof piece)) > 0;)
        out.append(piece, static_cast<std::size_t>(n));
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return out;
}

// Whether a user may write a file is asked of the file, not of its folder:
// in a folder anyone may write to, a file that is not the user's to write
// is refused.
TEST(TrlCheckReplaceFile, FileTheUserMayNotWriteIsNotReplaced)
{
    const temp_dir dir;
    fs::permissions(dir.path(), fs::perms(0755));
    fs::create_directory(dir / "open");
    fs::permissions(dir / "open", fs::perms(0777));
    const bool root = ::getuid() == 0;
    const uid_t user = root ? 65534 : ::getuid();
    const gid_t group = root ? 65534 : ::getgid();
    struct case_ {
        const char* name;
        bool users; // the user's file, or root's (only when root)
        fs::perms mode;
        bool written;
    };
    const std::vector<case_> cases = {
        {"mine-444.trl", true, fs::perms(0444), false},
        {"mine-644.trl", true, fs::perms(0644), true},
        {"roots-644.trl", false, fs::perms(0644), false},
        {"roots-666.trl", false, fs::perms(0666), true},
    };
    for (const case_& c : cases) {
        if (!c.users && !root)
            continue;
        const std::string path = dir.write("open/" + std::string(c.name), old_text);
        if (c.users) {
            ASSERT_EQ(::chown(path.c_str(), user, group), 0);
        }
        fs::permissions(path, c.mode);
        EXPECT_EQ(as_nobody([&] { return load_and_replace(path, new_text); }), c.written ? "" : "not writable")
            << c.name;
        EXPECT_EQ(read_file(path), c.written ? new_text : old_text) << c.name;
    }
    // Nothing but the files.
    EXPECT_EQ(names_in(dir / "open").size(), root ? 4u : 2u);
    if (!root)
        GTEST_SKIP() << "root's files written as another user: only as root";
}

// The owner first, then the mode: a change of owner clears set-user-ID and
// set-group-ID, which would be lost in the other order.
TEST(TrlCheckReplaceFile, OwnerAndWholeModeAreKept)
{
    const temp_dir dir;
    const bool root = ::getuid() == 0;
    const std::string path = dir.write("a.trl", old_text);
    const uid_t owner = root ? 1234 : ::getuid();
    const gid_t group = root ? 5678 : ::getgid();
    ASSERT_EQ(::chown(path.c_str(), owner, group), 0);
    for (const mode_t mode : {06754, 04600, 02640, 01644, 0400}) {
        write_file(path, old_text); // a write by its owner would clear set-user-ID: written first
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        const ino_t old_inode = stat_of(path).st_ino;
        EXPECT_EQ(load_and_replace(path, new_text), mode == 0400 && !root ? "not writable" : "");
        if (mode == 0400 && !root)
            continue;
        const struct stat st = stat_of(path);
        EXPECT_NE(st.st_ino, old_inode); // a new file in its place
        EXPECT_EQ(st.st_mode, S_IFREG | mode) << std::oct << mode;
        EXPECT_EQ(st.st_uid, owner);
        EXPECT_EQ(st.st_gid, group);
        EXPECT_EQ(read_file(path), new_text);
    }
}

std::string attribute(const std::string& path, const char* name)
{
    std::string value(4096, '\0');
    const ssize_t n = ::getxattr(path.c_str(), name, value.data(), value.size());
    if (n < 0)
        return errno == ENODATA ? "(none)" : "(error)";
    value.resize(static_cast<std::size_t>(n));
    return value;
}

// An access control list as the system keeps it in the attribute
// system.posix_acl_access (or _default): a version, then each entry's tag,
// rights and user or group.
std::string access_list(std::initializer_list<std::array<std::uint32_t, 3>> entries)
{
    std::string bytes;
    auto put = [&](std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    put(2, 4);
    for (const auto& [tag, rights, id] : entries) {
        put(tag, 2);
        put(rights, 2);
        put(id, 4);
    }
    return bytes;
}

// Extended attributes and the access control list go over to the new file;
// a list that the new file would take from its folder's default, which the
// old file did not have, does not.
TEST(TrlCheckReplaceFile, ExtendedAttributesAndAccessListAreKept)
{
    const temp_dir dir;
    const std::string path = dir.write("a.trl", old_text);
    if (::setxattr(path.c_str(), "user.speaker", "ABC", 3, 0) != 0) {
        if (errno == ENOTSUP)
            GTEST_SKIP() << "the temporary folder's file system takes no user attributes";
        FAIL() << "setxattr: " << std::strerror(errno);
    }
    ASSERT_EQ(::setxattr(path.c_str(), "user.empty", "", 0, 0), 0);
    const std::uint32_t none = 0xFFFFFFFF;
    // Owner rw, user 65534 r, group r, mask r, others nothing: mode 0640.
    const std::string list =
        access_list({{0x01, 6, none}, {0x02, 4, 65534}, {0x04, 4, none}, {0x10, 4, none}, {0x20, 0, none}});
    const bool lists = ::setxattr(path.c_str(), "system.posix_acl_access", list.data(), list.size(), 0) == 0;
    EXPECT_EQ(load_and_replace(path, new_text), "");
    EXPECT_EQ(read_file(path), new_text);
    EXPECT_EQ(attribute(path, "user.speaker"), "ABC");
    EXPECT_EQ(attribute(path, "user.empty"), "");
    if (!lists)
        GTEST_SKIP() << "the temporary folder's file system takes no access control lists";
    EXPECT_EQ(attribute(path, "system.posix_acl_access"), list);
    EXPECT_EQ(stat_of(path).st_mode & 07777, 0640u);

    // A folder whose default list gives user 65534 rw, and a file from
    // before it without a list.
    const std::string plain = dir.write("inherits/b.trl", old_text);
    fs::permissions(plain, fs::perms(0644));
    const std::string default_list =
        access_list({{0x01, 7, none}, {0x02, 6, 65534}, {0x04, 5, none}, {0x10, 7, none}, {0x20, 5, none}});
    ASSERT_EQ(
        ::setxattr((dir / "inherits").c_str(), "system.posix_acl_default", default_list.data(), default_list.size(), 0),
        0);
    EXPECT_EQ(load_and_replace(plain, new_text), "");
    EXPECT_EQ(read_file(plain), new_text);
    EXPECT_EQ(attribute(plain, "system.posix_acl_access"), "(none)");
    EXPECT_EQ(stat_of(plain).st_mode & 07777, 0644u);
}

// The program: a pipe without a writer, a device and a link to standard
// input are refused without a wait, and stay what they were; a file beside
// them is fixed.
TEST(TrlCheckReplaceFileProgram, PathsThatAreNoRegularFileAreRefused)
{
    const temp_dir dir;
    const std::string fifo = (dir / "fifo.trl").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string null_link = (dir / "null.trl").string();
    fs::create_symlink("/dev/null", null_link);
    const std::string input_link = (dir / "stdin.trl").string();
    fs::create_symlink("/proc/self/fd/0", input_link);
    const std::string file = dir.write("file.trl", old_text);
    test_support::run_options options;
    options.in = old_text;
    options.in_is_pipe = true;
    options.timeout_seconds = 60;
    const test_support::run_result r =
        test_support::run(TRL_CHECK_PATH, {"--fix", fifo, null_link, input_link, file}, options);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 2) << r.err;
    for (const std::string& path : {fifo, null_link, input_link})
        EXPECT_NE(r.err.find("trl-check: " + path +
                             ": the fixes could not be written, the file is as it was: not a regular file\n"),
                  std::string::npos)
            << r.err;
    EXPECT_NE(r.out.find("1 file checked"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("3 files not written"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));
    EXPECT_EQ(fs::read_symlink(null_link), "/dev/null");
    EXPECT_EQ(fs::read_symlink(input_link), "/proc/self/fd/0");
    EXPECT_EQ(read_file(file), new_text);
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"fifo.trl", "file.trl", "null.trl", "stdin.trl"}));
}

} // namespace
