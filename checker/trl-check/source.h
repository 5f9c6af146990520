// The text of one file in memory: a large regular file mapped, anything
// else (a small file, standard input, a pipe, a device) read whole into a
// buffer that the object keeps for the next file.
#pragma once

#include <cstddef>
#include <memory>
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

    std::string_view text() const { return {data_, size_}; }
    const std::string& error() const { return error_; }

    // Unmaps the text, or frees the buffer if it has grown large.
    void release();

private:
    bool read_all(int fd, std::size_t expected);

    const char* data_ = nullptr;
    std::size_t size_ = 0;
    void* map_ = nullptr;
    std::size_t map_size_ = 0;
    std::unique_ptr<char[]> buffer_;
    std::size_t buffer_size_ = 0;
    std::string error_;
};

} // namespace trl_check
