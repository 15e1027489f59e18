#include "platform/wav/wav_file.h"

#include <sndfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

namespace quavel {

namespace {

constexpr int kRate = 8000;

std::string describe_format(const SF_INFO& info) {
    return std::to_string(info.samplerate) + " Hz, " + std::to_string(info.channels) +
           " channel(s), format 0x" + [&] {
               char buf[16];
               std::snprintf(buf, sizeof buf, "%X", static_cast<unsigned>(info.format));
               return std::string(buf);
           }();
}

} // namespace

WavData read_wav(const std::string& path) {
    WavData out;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        out.error = path + ": no such file";
        return out;
    }
    if (std::filesystem::is_directory(path, ec)) {
        out.error = path + ": is a directory, not a WAV file";
        return out;
    }
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr) {
        out.error = path + ": cannot read as a WAV file (" + sf_strerror(nullptr) + ")";
        return out;
    }
    const int major = info.format & SF_FORMAT_TYPEMASK;
    const int minor = info.format & SF_FORMAT_SUBMASK;
    // The extensible header is the same PCM with more words about it; editors write it too.
    if ((major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX) || minor != SF_FORMAT_PCM_16 ||
        info.channels != 1 || info.samplerate != kRate) {
        out.error = path + ": need a WAV file of 16-bit PCM, mono, 8000 Hz; this one is " +
                    describe_format(info);
        sf_close(f);
        return out;
    }
    if (info.frames <= 0) {
        out.error = path + ": the file holds no samples";
        sf_close(f);
        return out;
    }
    // A header may claim more frames than the file holds; read what is there.
    out.samples.resize(static_cast<size_t>(info.frames));
    const sf_count_t got = sf_read_short(f, out.samples.data(), info.frames);
    const int err = sf_error(f);
    sf_close(f);
    if (got <= 0) {
        out.samples.clear();
        out.error = path + ": the file holds no readable samples";
        return out;
    }
    if (err != SF_ERR_NO_ERROR && got < info.frames) {
        out.samples.clear();
        out.error = path + ": read error after " + std::to_string(got) + " samples";
        return out;
    }
    out.samples.resize(static_cast<size_t>(got));
    return out;
}

WavWriter::~WavWriter() {
    abandon();
}

namespace {

constexpr uint32_t kHeaderBytes = 44;
// The most sample bytes a RIFF header can count.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - (kHeaderBytes - 8);
// A stream's header cannot be patched afterwards: it claims the largest length, which readers
// take as "until the end".
constexpr uint32_t kUnknownLength = 0xFFFFFFFFu;
constexpr int kTempNameAttempts = 100;

void put_u16(uint8_t* at, uint16_t v) {
    at[0] = static_cast<uint8_t>(v & 0xFF);
    at[1] = static_cast<uint8_t>(v >> 8);
}

void put_u32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>((v >> (8 * i)) & 0xFF);
}

// Writes all of `bytes`, going on after a signal or a short write; false with errno set.
bool write_all(int fd, const uint8_t* bytes, size_t n) {
    while (n > 0) {
        const ssize_t done = ::write(fd, bytes, n);
        if (done < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += done;
        n -= static_cast<size_t>(done);
    }
    return true;
}

std::string describe_errno(int error) {
    return std::strerror(error);
}

} // namespace

bool WavWriter::open(const std::string& path) {
    abandon();
    error_.clear();
    path_ = path;
    temp_path_.clear();
    data_bytes_ = 0;
    failed_ = false;
    if (path == "-") return open_stream(path, true);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            error_ = path + ": is a symbolic link; name the file itself (nothing was written)";
            return false;
        }
        if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) return open_stream(path, false);
        if (!S_ISREG(st.st_mode)) {
            error_ = path + ": is not a regular file, a FIFO or a character device; it is left "
                            "as it is";
            return false;
        }
    } else if (errno != ENOENT) {
        error_ = path + ": cannot write (" + describe_errno(errno) + ")";
        return false;
    }
    return open_temporary(path);
}

bool WavWriter::open_stream(const std::string& path, bool standard_output) {
    stream_ = true;
    if (standard_output) {
        fd_ = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    } else {
        // Not blocking in the open: a FIFO without a reader would wait for ever.
        fd_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
        if (fd_ < 0 && errno == ENXIO) {
            error_ = path + ": is a FIFO that nobody reads; start its reader first";
            return false;
        }
    }
    if (fd_ < 0) {
        error_ = path + ": cannot write (" + describe_errno(errno) + ")";
        return false;
    }
    struct stat st {};
    if (!standard_output &&
        (::fstat(fd_, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)))) {
        // Swapped for something else since it was looked at.
        error_ = path + ": changed while being opened; nothing was written";
        close_fd();
        return false;
    }
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
    return write_header(kUnknownLength);
}

bool WavWriter::open_temporary(const std::string& path) {
    stream_ = false;
    const std::filesystem::path target(path);
    const std::filesystem::path dir = target.has_parent_path() ? target.parent_path() : ".";
    // A name of our own choosing, created exclusively: whatever already sits at a name (a file
    // of the operator's, a planted link) is passed over, never written through.
    std::random_device seed;
    std::mt19937 pick(seed());
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x.part", static_cast<unsigned>(pick()));
        const std::string temp = (dir / ("." + target.filename().string() + suffix)).string();
        fd_ = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            temp_path_ = temp;
            break;
        }
        if (errno != EEXIST) {
            error_ = path + ": cannot write (" + describe_errno(errno) + ")";
            return false;
        }
    }
    if (fd_ < 0) {
        error_ = path + ": cannot write (no free temporary name beside it)";
        return false;
    }
    if (write_header(0)) return true;
    abandon();
    return false;
}

bool WavWriter::write_header(uint32_t data_bytes) {
    uint8_t h[kHeaderBytes];
    std::memcpy(h, "RIFF", 4);
    put_u32(h + 4, data_bytes == kUnknownLength ? kUnknownLength : data_bytes + kHeaderBytes - 8);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put_u32(h + 16, 16);        // fmt chunk size
    put_u16(h + 20, 1);         // PCM
    put_u16(h + 22, 1);         // mono
    put_u32(h + 24, kRate);     // samples per second
    put_u32(h + 28, kRate * 2); // bytes per second
    put_u16(h + 32, 2);         // bytes per sample frame
    put_u16(h + 34, 16);        // bits per sample
    std::memcpy(h + 36, "data", 4);
    put_u32(h + 40, data_bytes);
    if (!write_all(fd_, h, sizeof h)) {
        error_ = path_ + ": write failed (" + describe_errno(errno) + ")";
        return false;
    }
    return true;
}

bool WavWriter::write(std::span<const int16_t> samples) {
    if (fd_ < 0 || failed_) return false;
    if (data_bytes_ + 2 * samples.size() > kMaxDataBytes) {
        error_ = path_ + ": write failed (a WAV file holds at most 4 GiB)";
        failed_ = true;
        return false;
    }
    // Little-endian whatever the machine, in stack-sized pieces.
    uint8_t bytes[4096];
    uint64_t written = 0;
    while (!samples.empty()) {
        const size_t n = std::min(samples.size(), sizeof bytes / 2);
        for (size_t i = 0; i < n; ++i)
            put_u16(bytes + 2 * i, static_cast<uint16_t>(samples[i]));
        if (!write_all(fd_, bytes, 2 * n)) {
            error_ = path_ + ": write failed (" + describe_errno(errno) + ")";
            failed_ = true;
            // The part of this call that did get through is cut off by commit(); a stream
            // cannot take it back.
            return false;
        }
        written += 2 * n;
        samples = samples.subspan(n);
    }
    data_bytes_ += written;
    return true;
}

bool WavWriter::fail_commit(OnFailure on_failure, std::string why) {
    error_ = std::move(why);
    if (on_failure == OnFailure::Remove) {
        ::unlink(temp_path_.c_str());
        temp_path_.clear();
    }
    return false;
}

bool WavWriter::commit(OnFailure on_failure) {
    if (fd_ < 0) return false;
    if (stream_) {
        // Standard output sent to a file can still get its true length.
        struct stat st {};
        if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && ::lseek(fd_, 0, SEEK_SET) == 0) {
            write_header(static_cast<uint32_t>(data_bytes_));
        }
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        if (!closed) error_ = path_ + ": cannot finish the stream (" + describe_errno(errno) + ")";
        return closed;
    }
    // Cut to the samples counted (a write that failed half-way may have left part of its own
    // behind), then the header; a full disk often shows only at the sync or the close. None of
    // these needs room the file does not already have.
    error_.clear();
    bool ok = ::ftruncate(fd_, static_cast<off_t>(kHeaderBytes + data_bytes_)) == 0 &&
              ::lseek(fd_, 0, SEEK_SET) == 0 && write_header(static_cast<uint32_t>(data_bytes_));
    if (ok && ::fsync(fd_) != 0) ok = false;
    const int failure = errno;
    if (::close(fd_) != 0 && ok) ok = false;
    fd_ = -1;
    if (!ok) {
        return fail_commit(on_failure, !error_.empty() ? error_
                                                       : path_ + ": cannot finish the file (" +
                                                             describe_errno(failure) + ")");
    }
    // Only a regular file is replaced, even one that became something else while we wrote.
    struct stat st {};
    if (::lstat(path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return fail_commit(on_failure,
                           path_ + ": is no longer a regular file; it is left as it is");
    if (::rename(temp_path_.c_str(), path_.c_str()) != 0) {
        return fail_commit(on_failure,
                           path_ + ": cannot rename into place (" + describe_errno(errno) + ")");
    }
    temp_path_.clear();
    return true;
}

void WavWriter::close_fd() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void WavWriter::abandon() {
    if (fd_ < 0) return;
    close_fd();
    if (!temp_path_.empty()) ::unlink(temp_path_.c_str());
    temp_path_.clear();
}

bool write_wav(const std::string& path, std::span<const int16_t> samples, std::string& error) {
    WavWriter w;
    if (!w.open(path) || !w.write(samples) || !w.commit()) {
        error = w.error();
        return false;
    }
    return true;
}

} // namespace quavel
