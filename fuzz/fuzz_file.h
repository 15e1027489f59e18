// A scratch folder of the fuzzing process's own, for harnesses whose code under test reads a
// file by name; removed when the process ends normally.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace quavel::fuzz {

class ScratchDir {
public:
    ScratchDir() {
        char name[] = "/tmp/quavel-fuzz-XXXXXX";
        if (::mkdtemp(name) == nullptr) std::abort();
        path_ = name;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // Replaces the file `name` with `size` bytes of `data`; returns its path.
    std::string write(const std::string& name, const uint8_t* data, size_t size) const {
        const std::string path = (path_ / name).string();
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) std::abort();
        if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
        std::fclose(f);
        return path;
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace quavel::fuzz
