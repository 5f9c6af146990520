// Standard output with every write checked, for the programs whose product
// it is (trl-check, quenda-corpus).  A failed write (a full disk, a closed
// descriptor) is remembered and said once, when standard output is closed:
// "PROGRAM: write error on standard output: REASON"; the program ends with
// its status for it.  A reader that has gone (PROGRAM ... | head) has all it
// wanted: that fails the output too, but without a message.
#pragma once

#include <string>
#include <string_view>

namespace output {

class checked_stdout {
public:
    explicit checked_stdout(std::string_view program);
    checked_stdout(const checked_stdout&) = delete;
    checked_stdout& operator=(const checked_stdout&) = delete;

    // Appends `s` to the buffer, which is written out when it is large;
    // false once a write has failed.
    bool write(std::string_view s);
    // Writes the buffer out; false once a write has failed.
    bool flush();
    // Flushes and closes standard output; false (after the message) if
    // anything failed.
    bool close();
    bool failed() const { return failed_; }

private:
    void fail();
    std::string program_;
    std::string buffer_;
    bool failed_ = false;
    int error_ = 0;
};

} // namespace output
