// Standard descriptors that stay standard.
//
// A program started with descriptor 0, 1 or 2 closed would hand that number
// to the first file it opens, and its messages (or its output) would land in
// that file.  keep_std_fds() runs first thing in main and puts /dev/null in
// place of each closed one, so that no file the program opens can take their
// place.
//
// A program whose product is its standard output passes
// stdout_is_product = true: a closed descriptor 1 is then filled with the
// root folder opened for reading, so every write to it fails (EBADF), and
// so does opening it again for writing as /dev/stdout (EISDIR): the program
// reports a failed write instead of discarding its output.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

inline void keep_std_fds(bool stdout_is_product = false)
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free number is fd itself, as every lower one is open.
        const int got = fd == 1 && stdout_is_product ? open("/", O_RDONLY | O_DIRECTORY)
                                                     : open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (got != fd) {
            if (got >= 0)
                close(got);
            _exit(127); // nowhere to report it, and nothing opened yet
        }
    }
}
