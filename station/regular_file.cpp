#include "station/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quavel {

std::string not_a_file(mode_t mode) {
    if (S_ISDIR(mode)) return "it is a directory, not a file";
    if (S_ISFIFO(mode)) return "it is a FIFO, not a file";
    if (S_ISCHR(mode)) return "it is a character device, not a file";
    if (S_ISBLK(mode)) return "it is a block device, not a file";
    return "it is not a regular file";
}

RegularFileRead read_regular_file(const std::string& path, std::size_t max_bytes,
                                  Oversize oversize) {
    RegularFileRead out;
    // O_NONBLOCK: opening a FIFO without a writer (or a device that waits for carrier) returns
    // at once instead of waiting for ever; fstat then tells what was opened.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return out;
        out.status = RegularFileRead::Status::Refused;
        out.error = std::strerror(errno);
        return out;
    }
    const auto refuse = [&](std::string why) {
        ::close(fd);
        out.status = RegularFileRead::Status::Refused;
        out.bytes.clear();
        out.error = std::move(why);
        return out;
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0) return refuse(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return refuse(not_a_file(st.st_mode));
    const auto size = static_cast<std::size_t>(st.st_size);
    if (size > max_bytes && oversize == Oversize::Refuse) {
        return refuse("it is " + std::to_string(size) + " bytes long; at most " +
                      std::to_string(max_bytes) + " are read");
    }
    // The file may change while it is read: never more than max_bytes, whatever fstat said.
    out.bytes.resize(std::min(size, max_bytes));
    std::size_t got = 0;
    while (got < out.bytes.size()) {
        const ssize_t n = ::read(fd, out.bytes.data() + got, out.bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return refuse("read error (" + std::string(std::strerror(errno)) + ")");
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    out.bytes.resize(got);
    out.truncated = size > max_bytes;
    ::close(fd);
    out.status = RegularFileRead::Status::Read;
    return out;
}

} // namespace quavel
