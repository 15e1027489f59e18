// The independent vectors: WAV files made apart from this program, kept beside the repository
// and not in it (QUAVEL_VECTORS_DIR, or the directory the environment variable of that name
// gives, so a damaged copy can be tried by hand). A bare clone has none, so a missing file
// skips its test; a file that is there but cannot be read whole is a failure with the reason,
// never a skip, so a damaged vector cannot hide a test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>

#include "platform/wav/wav_file.h"

namespace quavel::test {

inline std::string vectors_dir() {
    if (const char* dir = std::getenv("QUAVEL_VECTORS_DIR"); dir != nullptr && *dir != '\0')
        return dir;
    return QUAVEL_VECTORS_DIR;
}

namespace vector_detail {

inline uint32_t le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Empty when the data chunk holds every byte its header counts; otherwise what is missing.
// The WAV reader takes a short file as it comes (what a recording cut off holds), but a vector
// is only of use whole.
inline std::string missing_part(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char riff[12];
    if (!in.read(reinterpret_cast<char*>(riff), sizeof riff)) return {};
    for (;;) {
        unsigned char chunk[8];
        if (!in.read(reinterpret_cast<char*>(chunk), sizeof chunk)) return {};
        const uint32_t size = le32(chunk + 4);
        const std::streamoff at = in.tellg();
        if (std::string(reinterpret_cast<const char*>(chunk), 4) == "data") {
            in.seekg(0, std::ios::end);
            const std::streamoff held = in.tellg() - at;
            // 0 and 0xFFFFFFFF: a stream's header, whose length was not known.
            if (size == 0 || size == 0xFFFFFFFFu || static_cast<std::streamoff>(size) <= held)
                return {};
            return "the header counts " + std::to_string(size) +
                   " bytes of samples, the file holds " + std::to_string(held);
        }
        in.seekg(static_cast<std::streamoff>(size + (size & 1u)), std::ios::cur);
    }
}

inline void skip_missing(const std::string& path) {
    GTEST_SKIP() << "no independent vector at " << path;
}

} // namespace vector_detail

// The vector `file` in `dir`; nothing when the test cannot go on, which the caller then ends:
// it has been skipped (no such file) or has failed (the file is there but unreadable, not a WAV
// file the modem reads, or cut short).
inline std::optional<WavData> read_vector(const std::string& file,
                                          const std::string& dir = vectors_dir()) {
    const std::filesystem::path path = std::filesystem::path(dir) / file;
    std::error_code ec;
    if (std::filesystem::symlink_status(path, ec).type() == std::filesystem::file_type::not_found) {
        vector_detail::skip_missing(path.string());
        return std::nullopt;
    }
    WavData wav = read_wav(path.string());
    if (wav.ok()) {
        if (const std::string missing = vector_detail::missing_part(path); !missing.empty())
            wav.error = path.string() + ": cut short: " + missing;
    }
    if (!wav.ok()) {
        ADD_FAILURE() << "the independent vector cannot be used: " << wav.error;
        return std::nullopt;
    }
    return wav;
}

} // namespace quavel::test
