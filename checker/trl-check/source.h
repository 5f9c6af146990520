// The text of one file in memory: a regular file mapped, anything else
// (standard input, a pipe, a device) read whole.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

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

    // Unmaps or frees the text.
    void release();

private:
    bool read_all(int fd);

    const char* data_ = nullptr;
    std::size_t size_ = 0;
    void* map_ = nullptr;
    std::size_t map_size_ = 0;
    std::vector<char> buffer_;
    std::string error_;
};

} // namespace trl_check
