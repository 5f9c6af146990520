// The text of one file in memory, read whole into a buffer that the object
// keeps for the next file.  Files are read, never mapped: a mapped file
// that shrinks while it is checked would end the whole run (SIGBUS), while
// a text that has been read is checked as it was read, whatever happens to
// the file meanwhile.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trl_check {

class source_text {
public:
    source_text() = default;
    source_text(const source_text&) = delete;
    source_text& operator=(const source_text&) = delete;
    ~source_text();

    // Loads the file at `path`, or standard input for "-".  On failure
    // returns false and error() says why.
    bool load(const std::string& path);

    std::string_view text() const { return {buffer_, size_}; }
    const std::string& error() const { return error_; }

    // Forgets the text, and frees the buffer if it has grown large.
    void release();

private:
    bool read_all(int fd, std::size_t expected, bool regular);
    // Makes the buffer hold at least `size` bytes, keeping the first `used`.
    void reserve(std::size_t size, std::size_t used);

    char* buffer_ = nullptr;   // pages of their own (mmap), `capacity_` bytes
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
    std::string error_;
};

} // namespace trl_check
