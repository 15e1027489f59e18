// WAV files of 16-bit mono PCM at 8000 samples per second, the only format the modem's tools
// read and write. Reading is strict: any other rate, width, channel count or encoding, a header
// that does not hold together and an empty file are refused with a message.
//
// Writing to a regular file (or a name not yet taken) goes to a fresh, exclusively created
// temporary file beside the target and is renamed into place only when finished, with a header
// that counts what it holds, so an interrupted write never leaves a half-written file under the
// target's name, and nothing that
// sits at a guessable temporary name is ever written through. Only a regular file is replaced.
// A FIFO, a character device or "-" (standard output) is written to directly as a stream, its
// header saying the length is unknown; a symbolic link, a directory, a block device or anything
// else is refused with a message and left as it is.
//
// A write that fails (a full disk) takes back whatever part of its samples reached the file, and
// the writer then refuses every further write, so the file never has a gap in it. commit() can
// still finish what was written before: the file is cut to those samples and its header counts
// them. Whether a file that cannot be finished is removed or left under its temporary name for
// the operator is the caller's choice.
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
    // False, with error() set, when the samples could not all be written: none of them counts
    // then, and every later write is refused.
    bool write(std::span<const int16_t> samples);
    // What commit() does with a temporary file it cannot finish or put in place.
    enum class OnFailure { Remove, Keep };
    // Finishes the file with every sample written successfully (also after a failed write) and
    // renames it to the target (a stream is only closed); false with error() set on failure.
    // The temporary file is then removed, or with OnFailure::Keep left and named by temp_path().
    bool commit(OnFailure on_failure = OnFailure::Remove);
    void abandon();
    // Why the last call that failed did; empty while none has.
    const std::string& error() const { return error_; }
    bool is_open() const { return fd_ >= 0; }
    // A write has failed since open(): nothing more goes into the file.
    bool failed() const { return failed_; }
    // Samples written since open(), all of them in the file.
    uint64_t samples_written() const { return data_bytes_ / 2; }
    // The temporary file being written, or the one commit(OnFailure::Keep) left behind; empty
    // for a stream and when there is neither.
    const std::string& temp_path() const { return temp_path_; }

private:
    bool open_stream(const std::string& path, bool standard_output);
    bool open_temporary(const std::string& path);
    bool write_header(uint32_t data_bytes);
    void close_fd();

    // Removes the temporary file unless it is to be kept; with the reason in error_.
    bool fail_commit(OnFailure on_failure, std::string why);

    int fd_ = -1;
    bool stream_ = false;
    bool failed_ = false;
    uint64_t data_bytes_ = 0;
    std::string path_;
    std::string temp_path_;
    std::string error_;
};

// Writes a whole file in one call, by the same temporary-then-rename path.
bool write_wav(const std::string& path, std::span<const int16_t> samples, std::string& error);

} // namespace quavel
