#include "checker/trl-check/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

namespace trl::cli {

namespace {

const char* const changed_reason = "changed while it was fixed; run again";
const char* const access_list = "system.posix_acl_access";

std::string reason(int e)
{
    return std::error_code(e, std::generic_category()).message();
}

// Closes a descriptor when it goes out of scope.
struct descriptor {
    int fd = -1;
    ~descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// The new file, removed unless it has taken the old one's place: no
// failure, whatever it is, leaves it behind.
struct new_file {
    std::string path;
    descriptor file;
    bool renamed = false;
    ~new_file()
    {
        if (!path.empty() && !renamed)
            ::unlink(path.c_str());
    }
};

bool same_time(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether the file open on `fd` holds `text` and nothing more; on a read
// error, false with errno set (0 otherwise).
bool holds(int fd, std::string_view text)
{
    char piece[1 << 16];
    std::size_t at = 0;
    errno = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, piece, sizeof piece, static_cast<off_t>(at));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        const std::size_t got = static_cast<std::size_t>(n);
        if (got == 0)
            return at == text.size();
        if (got > text.size() - at || std::memcmp(piece, text.data() + at, got) != 0)
            return false;
        at += got;
    }
}

// Empty if the path `target` still leads to the file open on `fd` and it
// is as `as_read` read it: the same file (device and inode), size, times
// to the nanosecond and bytes.  The bytes are compared too because a time
// moves only once in a clock tick: an overwrite of the same size within
// the tick of the read shows in nothing else.
std::string unchanged(const std::string& target, int fd, const files::file_text& as_read)
{
    const files::file_identity& was = as_read.identity();
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return reason(errno);
    if (!S_ISREG(st.st_mode) || st.st_dev != was.device || st.st_ino != was.inode || st.st_size != was.size ||
        !same_time(st.st_mtim, was.modified) || !same_time(st.st_ctim, was.changed))
        return changed_reason;
    struct stat named;
    if (::lstat(target.c_str(), &named) != 0)
        return errno == ENOENT ? changed_reason : reason(errno);
    if (named.st_dev != st.st_dev || named.st_ino != st.st_ino)
        return changed_reason;
    if (!holds(fd, as_read.text()))
        return errno ? reason(errno) : changed_reason;
    return {};
}

// Gives the file open on `to` every extended attribute of the one open on
// `from` (its access control list is one), and no access control list it
// has not: a new file takes one from its folder's default.  An attribute
// the file system does not take is no error.
std::string copy_attributes(int from, int to)
{
    std::vector<char> names;
    for (;;) {
        const ssize_t n = ::flistxattr(from, nullptr, 0);
        if (n < 0)
            return errno == ENOTSUP ? std::string() : reason(errno);
        names.resize(static_cast<std::size_t>(n));
        const ssize_t got = n == 0 ? 0 : ::flistxattr(from, names.data(), names.size());
        if (got >= 0) {
            names.resize(static_cast<std::size_t>(got));
            break;
        }
        if (errno != ERANGE) // ERANGE: the list has grown since its size was asked
            return reason(errno);
    }
    bool has_access_list = false;
    std::vector<char> value;
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.data() + at) + 1) {
        const char* const name = names.data() + at;
        ssize_t size;
        for (;;) {
            size = ::fgetxattr(from, name, nullptr, 0);
            if (size < 0)
                break;
            value.resize(static_cast<std::size_t>(size));
            size = size == 0 ? 0 : ::fgetxattr(from, name, value.data(), value.size());
            if (size >= 0 || errno != ERANGE)
                break;
        }
        if (size < 0) {
            if (errno == ENODATA)
                continue; // removed since the list was taken
            return reason(errno);
        }
        if (::fsetxattr(to, name, value.data(), static_cast<std::size_t>(size), 0) != 0 && errno != ENOTSUP)
            return reason(errno);
        has_access_list = has_access_list || std::strcmp(name, access_list) == 0;
    }
    if (!has_access_list && ::fremovexattr(to, access_list) != 0 && errno != ENODATA && errno != ENOTSUP)
        return reason(errno);
    return {};
}

} // namespace

std::string replace_file(const std::string& path, const files::file_text& as_read, std::string_view bytes)
{
    if (!as_read.identity().regular)
        return files::not_regular_reason;
    // The file itself, where links lead; gone since it was read, it is not
    // put back.
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved))
        return errno == ENOENT ? changed_reason : reason(errno);
    const std::string target = resolved;
    struct stat st;
    if (::lstat(target.c_str(), &st) != 0)
        return errno == ENOENT ? changed_reason : reason(errno);
    if (!S_ISREG(st.st_mode))
        return files::not_regular_reason;
    // As an editor asks: a writable folder lets the file be replaced, but
    // only one's own rights to the file let it be changed.
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return errno == EACCES || errno == EPERM ? std::string("not writable") : reason(errno);
    // A new file would take the place of one name only: the others would
    // keep the old text without a word.
    if (st.st_nlink > 1)
        return "it has other names (hard links) that would keep the old text";
    // Held open for its mode, owner and attributes, and to compare it with
    // the text at the end; never waiting (O_NONBLOCK) should it have become
    // a pipe since.
    const descriptor old{::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY)};
    if (old.fd < 0 || ::fstat(old.fd, &st) != 0)
        return reason(errno);

    const std::size_t slash = target.rfind('/');
    // Hidden, and with no suffix a search for transliterations takes.
    std::string name = target.substr(0, slash + 1) + "." + target.substr(slash + 1) + ".trl-check-XXXXXX";
    new_file fresh;
    fresh.file.fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fresh.file.fd < 0)
        return reason(errno);
    fresh.path = name;
    const int fd = fresh.file.fd;
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return reason(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    // The owner first, as a change of owner clears the set-user-ID and
    // set-group-ID bits; the mode last, as an access control list sets the
    // group's bits.
    if (::fchown(fd, st.st_uid, st.st_gid) != 0 && errno != EPERM)
        return reason(errno);
    if (std::string why = copy_attributes(old.fd, fd); !why.empty())
        return why;
    if (::fchmod(fd, st.st_mode & 07777) != 0 || ::fsync(fd) != 0)
        return reason(errno);
    fresh.file.fd = -1;
    if (::close(fd) != 0)
        return reason(errno);
    // Looked at as late as can be: whatever another writer did to the file
    // since it was read stays.
    if (std::string why = unchanged(target, old.fd, as_read); !why.empty())
        return why;
    if (::rename(fresh.path.c_str(), target.c_str()) != 0)
        return reason(errno);
    fresh.renamed = true;
    return {};
}

} // namespace trl::cli
