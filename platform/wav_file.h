// WAV files of 16-bit mono PCM at 8000 samples per second, the only format the modem's tools
// read and write. Reading is strict: any other rate, width, channel count or encoding, a header
// that does not hold together and an empty file are refused with a message.
//
// Writing to a regular file (or a name not yet taken) goes to a fresh, exclusively created
// temporary file beside the target and is renamed into place only when complete, so a failed or
// interrupted write never leaves a half-written file under the target's name, and nothing that
// sits at a guessable temporary name is ever written through. Only a regular file is replaced.
// A FIFO, a character device or "-" (standard output) is written to directly as a stream, its
// header saying the length is unknown; a symbolic link, a directory, a block device or anything
// else is refused with a message and left as it is.
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

    // Creates the temporary file, or opens the stream; false with error() set when it cannot.
    // A FIFO that nobody reads yet is refused rather than waited for.
    bool open(const std::string& path);
    bool write(std::span<const int16_t> samples);
    // Finishes the file and renames it to the target (a stream is only closed); false with
    // error() set on failure (the temporary file is then removed).
    bool commit();
    void abandon();
    const std::string& error() const { return error_; }
    bool is_open() const { return fd_ >= 0; }
    // The temporary file being written; empty for a stream or when nothing is open.
    const std::string& temp_path() const { return temp_path_; }

private:
    bool open_stream(const std::string& path, bool standard_output);
    bool open_temporary(const std::string& path);
    bool write_header(uint32_t data_bytes);
    void close_fd();

    int fd_ = -1;
    bool stream_ = false;
    uint64_t data_bytes_ = 0;
    std::string path_;
    std::string temp_path_;
    std::string error_;
};

// Writes a whole file in one call, by the same temporary-then-rename path.
bool write_wav(const std::string& path, std::span<const int16_t> samples, std::string& error);

} // namespace quavel
