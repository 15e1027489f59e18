// One program per rig: an advisory lock (flock) on a small file named for the rig's model and
// port, in /tmp (the one folder every session and user shares; $XDG_RUNTIME_DIR is missing
// from some sessions and differs between users), holding the owner's process id so that a
// second program can say who has the rig. The kernel drops the lock when its holder
// dies, so a crash never leaves the rig locked; the file itself stays, empty of meaning until
// the next lock, because removing it would let two programs lock two different files.
//
// The lock is on the file's descriptor (opened close-on-exec), so it is held by this object
// alone: a child process never inherits it. POSIX only; elsewhere every lock is granted.
#pragma once

#include <string>

namespace quavel {

enum class RigLockResult {
    Taken, // this object holds the rig
    InUse, // another open lock holds it; holder_pid() names its process when it wrote one
    Failed // the lock file cannot be made or locked; error() says why
};

class RigLock {
public:
    RigLock() = default;
    ~RigLock(); // releases
    RigLock(const RigLock&) = delete;
    RigLock& operator=(const RigLock&) = delete;

    // `port` as the rig is reached: a serial device (symbolic links are followed, so two names
    // for one device are one rig) or HOST:PORT. Releases whatever was held before.
    RigLockResult acquire(int model, const std::string& port);
    void release();
    bool held() const { return fd_ >= 0; }

    // After InUse: the holder's process id, 0 when it has not written one yet.
    long holder_pid() const { return holder_pid_; }
    // After Failed: the file and the reason.
    const std::string& error() const { return error_; }

    // The lock file for a rig, in the folder described above.
    static std::string path_for(int model, const std::string& port);

private:
    int fd_ = -1;
    long holder_pid_ = 0;
    std::string error_;
};

} // namespace quavel
