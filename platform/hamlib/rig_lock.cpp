#include "platform/hamlib/rig_lock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace quavel {

namespace {

// Two spellings of one serial device (a /dev/serial/by-id link and /dev/ttyUSB0) lock the same
// file; a network address is taken as written.
std::string canonical_port(const std::string& port) {
#ifndef _WIN32
    if (!port.empty() && port.front() == '/') {
        if (char* real = ::realpath(port.c_str(), nullptr)) {
            std::string resolved = real;
            std::free(real);
            return resolved;
        }
    }
#endif
    return port;
}

// One folder for every program on the machine, whatever its session: $XDG_RUNTIME_DIR is set
// for a desktop's programs and missing from a service's or a plain ssh login's, and differs
// between users, so a lock there would not be seen by a program started another way.
std::string lock_folder() {
    return "/tmp";
}

} // namespace

std::string RigLock::path_for(int model, const std::string& port) {
    std::string name = "quavel-rig-" + std::to_string(model) + "-";
    for (const char c : canonical_port(port)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-';
        name += plain ? c : '_';
    }
    return lock_folder() + "/" + name + ".lock";
}

RigLock::~RigLock() {
    release();
}

#ifndef _WIN32
RigLockResult RigLock::acquire(int model, const std::string& port) {
    release();
    holder_pid_ = 0;
    error_.clear();
    const std::string path = path_for(model, port);
    // Not followed through a link: a file planted in a shared /tmp cannot point the lock (and
    // the process id written into it) somewhere else. Another user's lock file can still be
    // read and locked for reading, which is enough to see that the rig is taken.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        error_ = path + ": " + std::strerror(errno);
        return RigLockResult::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        if (why == EWOULDBLOCK) {
            char text[32] = {};
            const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
            if (got > 0) holder_pid_ = std::strtol(text, nullptr, 10);
            ::close(fd);
            return RigLockResult::InUse;
        }
        ::close(fd);
        error_ = path + ": " + std::strerror(why);
        return RigLockResult::Failed;
    }
    // The lock is on the inode, so the id is written in place, not through a renamed copy; a
    // reader that comes between the truncation and the write sees no id and says so.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);
    }
    fd_ = fd;
    return RigLockResult::Taken;
}

void RigLock::release() {
    if (fd_ < 0) return;
    // Emptied first, so the file never names a process that no longer has the rig.
    [[maybe_unused]] const int emptied = ::ftruncate(fd_, 0);
    ::close(fd_); // drops the lock
    fd_ = -1;
}
#else
RigLockResult RigLock::acquire(int, const std::string&) {
    return RigLockResult::Taken;
}
void RigLock::release() {}
#endif

} // namespace quavel
