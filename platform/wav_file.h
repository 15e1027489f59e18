// WAV files of 16-bit mono PCM at 8000 samples per second, the only format the modem's tools
// read and write. Reading is strict: any other rate, width, channel count or encoding, a header
// that does not hold together and an empty file are refused with a message. Writing goes to a
// temporary name beside the target and is renamed into place only when complete, so a failed
// or interrupted write never leaves a half-written file under the target's name.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quavel {

struct WavData {
    std::vector<int16_t> samples;
    std::string error; // empty on success
    bool ok() const { return error.empty(); }
};

WavData read_wav(const std::string& path);

class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter(); // abandons an uncommitted file
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates the temporary file; false with error() set when it cannot.
    bool open(const std::string& path);
    bool write(std::span<const int16_t> samples);
    // Finishes the file and renames it to the target; false with error() set on failure (the
    // temporary file is then removed).
    bool commit();
    void abandon();
    const std::string& error() const { return error_; }
    bool is_open() const { return file_ != nullptr; }

private:
    void* file_ = nullptr; // SNDFILE*
    std::string path_;
    std::string temp_path_;
    std::string error_;
};

// Writes a whole file in one call, by the same temporary-then-rename path.
bool write_wav(const std::string& path, std::span<const int16_t> samples, std::string& error);

} // namespace quavel
