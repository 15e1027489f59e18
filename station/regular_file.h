// Reading the operator's small files (the configuration, the stored texts) on the window's
// thread without ever waiting on something that may never answer: a FIFO, a terminal or a
// device behind the name is refused at once (the open does not block and fstat says what it
// is), and no more than `max_bytes` are read, so a link to /dev/zero or a huge file cannot hold
// the thread either.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace quavel {

struct RegularFileRead {
    enum class Status {
        Read,    // `bytes` holds the file, or its first max_bytes with Oversize::Truncate
        Missing, // nothing at the path
        Refused, // not a regular file, too large, or unreadable: `error` says why
    };
    Status status = Status::Missing;
    std::string bytes;
    bool truncated = false; // Oversize::Truncate cut the file at max_bytes
    std::string error;      // a sentence without the file's name, e.g. "it is a FIFO, not a file"
};

// Why a file whose fstat gave `mode` is not a regular file: "it is a FIFO, not a file".
std::string not_a_file(mode_t mode);

enum class Oversize { Refuse, Truncate };

// Reads the regular file at `path`, at most `max_bytes` of it; a larger file is refused or cut
// at max_bytes as `oversize` says.
RegularFileRead read_regular_file(const std::string& path, std::size_t max_bytes,
                                  Oversize oversize);

} // namespace quavel
