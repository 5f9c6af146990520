#include "replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>
#include <vector>

namespace trl_check {

namespace {

std::string reason(int e)
{
    return std::error_code(e, std::generic_category()).message();
}

} // namespace

std::string replace_file(const std::string& path, std::string_view bytes)
{
    // The file itself, where a link leads.
    char resolved[PATH_MAX];
    const std::string target = ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
    struct stat st;
    if (::stat(target.c_str(), &st) != 0)
        return reason(errno);
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    // Hidden, and with no suffix a search for transliterations takes.
    std::string temporary = folder + (slash == std::string::npos ? "/" : "") + "." + name + ".trl-check-XXXXXX";
    std::vector<char> buffer(temporary.begin(), temporary.end());
    buffer.push_back('\0');
    const int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd < 0)
        return reason(errno);
    temporary = buffer.data();
    auto fail = [&](int e) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return reason(e);
    };
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fchmod(fd, st.st_mode & 07777) != 0)
        return fail(errno);
    if (::fchown(fd, st.st_uid, st.st_gid) != 0 && errno != EPERM)
        return fail(errno);
    if (::fsync(fd) != 0)
        return fail(errno);
    if (::close(fd) != 0) {
        const int e = errno;
        ::unlink(temporary.c_str());
        return reason(e);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int e = errno;
        ::unlink(temporary.c_str());
        return reason(e);
    }
    return {};
}

} // namespace trl_check
