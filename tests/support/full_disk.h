// A file system of its own that is full after `bytes`: a tmpfs mounted on a fresh folder for the
// life of the object, so a test can watch a write fail with ENOSPC part-way through a file, with
// what went before intact. Mounting needs root (or CAP_SYS_ADMIN); where it is not permitted,
// skip_reason says why and the test skips with it. /dev/full (kFullDevice) fails every write
// from the first byte and is always there, for tests that need no earlier part.
#pragma once

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "support/temp_dir.h"

namespace quavel::test {

inline constexpr char kFullDevice[] = "/dev/full";

class FullDisk {
public:
    explicit FullDisk(size_t bytes = 64 * 1024) {
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
        if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC,
                    options.c_str()) != 0) {
            skip_reason = "cannot mount a small tmpfs to fill (" +
                          std::string(std::strerror(errno)) + "); needs root";
            return;
        }
        mounted_ = true;
    }
    ~FullDisk() {
        // Detached, so a file still open somewhere cannot keep the folder from going.
        if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    bool ready() const { return mounted_; }
    const std::filesystem::path& path() const { return dir_.path(); }
    std::filesystem::path file(const std::string& name) const { return dir_.path() / name; }

    std::string skip_reason;

private:
    TempDir dir_;
    bool mounted_ = false;
};

} // namespace quavel::test
