#include "platform/wav_file.h"

#include <sndfile.h>

#include <cstdio>
#include <filesystem>
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
    if (major != SF_FORMAT_WAV || minor != SF_FORMAT_PCM_16 || info.channels != 1 ||
        info.samplerate != kRate) {
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

WavWriter::~WavWriter() { abandon(); }

bool WavWriter::open(const std::string& path) {
    abandon();
    error_.clear();
    path_ = path;
    temp_path_ = path + ".part";
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(temp_path_.c_str(), SFM_WRITE, &info);
    if (f == nullptr) {
        error_ = path + ": cannot write (" + sf_strerror(nullptr) + ")";
        return false;
    }
    file_ = f;
    return true;
}

bool WavWriter::write(std::span<const int16_t> samples) {
    if (file_ == nullptr) return false;
    const auto n = static_cast<sf_count_t>(samples.size());
    if (sf_write_short(static_cast<SNDFILE*>(file_), samples.data(), n) != n) {
        error_ = path_ + ": write failed (" + sf_strerror(static_cast<SNDFILE*>(file_)) + ")";
        return false;
    }
    return true;
}

bool WavWriter::commit() {
    if (file_ == nullptr) return false;
    sf_write_sync(static_cast<SNDFILE*>(file_));
    const int rc = sf_close(static_cast<SNDFILE*>(file_));
    file_ = nullptr;
    if (rc != 0) {
        error_ = path_ + ": cannot finish the file";
        std::remove(temp_path_.c_str());
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp_path_, path_, ec);
    if (ec) {
        error_ = path_ + ": cannot rename into place (" + ec.message() + ")";
        std::remove(temp_path_.c_str());
        return false;
    }
    return true;
}

void WavWriter::abandon() {
    if (file_ != nullptr) {
        sf_close(static_cast<SNDFILE*>(file_));
        file_ = nullptr;
        std::remove(temp_path_.c_str());
    }
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
