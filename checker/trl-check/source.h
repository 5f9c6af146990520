// The text of one file in memory, read whole into a buffer that the object
// keeps for the next file.  Files are read, never mapped: a mapped file
// that shrinks while it is checked would end the whole run (SIGBUS), while
// a text that has been read is checked as it was read, whatever happens to
// the file meanwhile.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

namespace trl::cli {

// Why a path is neither read for its fixes nor written: a pipe, a device,
// standard input.
inline constexpr const char* not_regular_reason = "not a regular file";

// A file as its text was read (taken from the descriptor that was read,
// after the read): enough to tell, before anything is written in its
// place, whether it is still that file with those bytes.
struct file_identity {
    bool regular = false; // false for standard input, a pipe, a device
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{}; // its bytes' time
    timespec changed{};  // its inode's time, which no one can set back
};

class source_text {
public:
    source_text() = default;
    source_text(const source_text&) = delete;
    source_text& operator=(const source_text&) = delete;
    ~source_text();

    // Loads the file at `path`, or standard input for "-".  On failure
    // returns false and error() says why.  With `regular_only` (the text is
    // to be written back), a path that is not a regular file is not read
    // at all, nor opened in a way that could wait (a pipe without a
    // writer): the load fails with not_regular() and not_regular_reason.
    bool load(const std::string& path, bool regular_only = false);

    std::string_view text() const { return {buffer_, size_}; }
    const std::string& error() const { return error_; }
    bool not_regular() const { return not_regular_; }
    const file_identity& identity() const { return identity_; }

    // Forgets the text, and frees the buffer if it has grown large.
    void release();

private:
    bool read_all(int fd, std::size_t expected, bool regular);
    // Makes the buffer hold at least `size` bytes, keeping the first `used`.
    void reserve(std::size_t size, std::size_t used);

    char* buffer_ = nullptr; // pages of their own (mmap), `capacity_` bytes
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
    std::string error_;
    bool not_regular_ = false;
    file_identity identity_;
};

} // namespace trl::cli
