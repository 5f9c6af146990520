// The bytes of one file in memory, read whole into a buffer that the object
// keeps for the next file (trl-check, its language server and quenda-corpus
// read their texts this one way).
//
// Files are read, never mapped: a mapped file that shrinks while it is
// checked would end the whole run (SIGBUS), while a text that has been read
// is checked as it was read, whatever happens to the file meanwhile.  The
// buffer is a memory::big_array, asked for as huge pages when it is large:
// filling fresh pages costs a page fault each, and 2 MiB pages take a 50 MB
// text in 25 faults rather than 12800, which makes reading it about as
// cheap as mapping the file.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>
#include <string_view>

#include "common/big_array.h"

namespace files {

// Why a path is not read as a regular file: a pipe, a device, standard
// input where a file is to be written back.
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

class file_text {
public:
    // What a path may name.
    enum class accept {
        anything,         // whatever can be read: a file, a pipe, a device, "-" for standard input
        regular_or_stdin, // regular files, and "-" for standard input whatever it is
        regular,          // regular files only: a text that is to be written back
    };

    // Loads the file at `path`, or standard input for "-".  On failure
    // returns false and error() says why.  A path that `which` does not
    // accept is not read at all, nor opened in a way that could wait (a
    // pipe without a writer): the load fails with not_regular() and
    // not_regular_reason.
    bool load(const std::string& path, accept which = accept::anything);

    std::string_view text() const { return {buffer_.data(), buffer_.size()}; }
    const std::string& error() const { return error_; }
    bool not_regular() const { return not_regular_; }
    const file_identity& identity() const { return identity_; }

    // Forgets the text, and frees the buffer if it has grown large.
    void release();

private:
    bool read_all(int fd, std::size_t expected, bool regular);
    bool refuse();

    memory::big_array<char> buffer_;
    std::string error_;
    bool not_regular_ = false;
    file_identity identity_;
};

} // namespace files
