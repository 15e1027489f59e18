// The WAV writer against what may already sit at the target's path: only a regular file is ever
// replaced, streams are written through, everything else is left exactly as it was.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sndfile.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/wav/wav_file.h"
#include "support/full_disk.h"
#include "support/param_name.h"
#include "support/temp_dir.h"

namespace quavel {
namespace {

namespace fs = std::filesystem;

const std::vector<int16_t> kSamples = {0, 1, -1, 32767, -32768, 1234};

TEST(WavWriterTarget, ARegularFileIsReplacedAndNothingElseIsLeftBeside) {
    test::TempDir dir;
    dir.write("out.wav", "old contents");
    std::string error;
    ASSERT_TRUE(write_wav((dir.path() / "out.wav").string(), kSamples, error)) << error;
    EXPECT_EQ(read_wav((dir.path() / "out.wav").string()).samples, kSamples);
    EXPECT_EQ(dir.listing(), "out.wav");
}

TEST(WavWriterTarget, PlantedTemporaryNamesAreNeverWrittenThrough) {
    test::TempDir dir;
    dir.write("victim", "precious");
    dir.write("rec.wav.part", "the operator's own");
    fs::create_symlink(dir.path() / "victim", dir.path() / "out.wav.part");
    std::string error;
    ASSERT_TRUE(write_wav((dir.path() / "out.wav").string(), kSamples, error)) << error;
    ASSERT_TRUE(write_wav((dir.path() / "rec.wav").string(), kSamples, error)) << error;
    EXPECT_EQ(dir.read("victim"), "precious");
    EXPECT_EQ(dir.read("rec.wav.part"), "the operator's own");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "out.wav.part"));
    EXPECT_EQ(dir.listing(), "out.wav out.wav.part rec.wav rec.wav.part victim");
}

TEST(WavWriterTarget, WhatIsNotARegularFileOrAStreamIsRefusedAndLeftAlone) {
    test::TempDir dir;
    dir.write("victim", "precious");
    fs::create_symlink(dir.path() / "victim", dir.path() / "link.wav");
    fs::create_directory(dir.path() / "folder.wav");
    for (const char* name : {"link.wav", "folder.wav"}) {
        SCOPED_TRACE(name);
        WavWriter w;
        EXPECT_FALSE(w.open((dir.path() / name).string()));
        EXPECT_NE(w.error().find(name), std::string::npos) << w.error();
    }
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.wav"));
    EXPECT_TRUE(fs::is_directory(dir.path() / "folder.wav"));
    EXPECT_EQ(dir.read("victim"), "precious");
    EXPECT_EQ(dir.listing(), "folder.wav link.wav victim");
}

TEST(WavWriterTarget, AFifoIsWrittenAsAStreamAndStaysAFifo) {
    test::TempDir dir;
    const std::string fifo = (dir.path() / "pipe.wav").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    {
        // Nobody reads yet: refused at once rather than waited for.
        WavWriter w;
        EXPECT_FALSE(w.open(fifo));
        EXPECT_NE(w.error().find("nobody reads"), std::string::npos) << w.error();
    }
    // A file this short fits in the FIFO's buffer: written first, read back after.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::string error;
    const bool written = write_wav(fifo, kSamples, error);
    std::string received;
    char buf[512];
    for (ssize_t n; (n = ::read(reader, buf, sizeof buf)) > 0;)
        received.append(buf, static_cast<size_t>(n));
    ::close(reader);
    ASSERT_TRUE(written) << error;
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(dir.listing(), "pipe.wav");
    // What came through is a WAV whose length is left open, which readers take to the end.
    dir.write("copy.wav", received);
    const WavData copy = read_wav((dir.path() / "copy.wav").string());
    ASSERT_TRUE(copy.ok()) << copy.error;
    EXPECT_EQ(copy.samples, kSamples);
}

TEST(WavWriterTarget, AnAbandonedFileLeavesNothingBehind) {
    test::TempDir dir;
    WavWriter w;
    ASSERT_TRUE(w.open((dir.path() / "out.wav").string()));
    ASSERT_TRUE(w.write(kSamples));
    EXPECT_TRUE(fs::exists(w.temp_path()));
    w.abandon();
    EXPECT_EQ(dir.listing(), "");
}

std::vector<int16_t> ramp(size_t n, int from) {
    std::vector<int16_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<int16_t>((from + static_cast<int>(i)) % 30000);
    return v;
}

// Writes `samples_per_write` at a time until the disk fills; returns every write that went in.
std::vector<int16_t> write_until_full(WavWriter& w, size_t samples_per_write) {
    std::vector<int16_t> written;
    for (int i = 0; i < 1000; ++i) {
        const std::vector<int16_t> piece = ramp(samples_per_write, i * 31);
        if (!w.write(piece)) break;
        written.insert(written.end(), piece.begin(), piece.end());
    }
    return written;
}

// Writes the size of one stack piece, more than one, and less: a failure may come part-way
// through a write whose first piece already went in.
class WavWriterFullDisk : public ::testing::TestWithParam<size_t> {};

TEST_P(WavWriterFullDisk, KeepsEveryWholeWriteBeforeTheFailureAndNothingAfter) {
    test::FullDisk disk;
    if (!disk.ready()) GTEST_SKIP() << disk.skip_reason;
    WavWriter w;
    ASSERT_TRUE(w.open(disk.file("out.wav").string())) << w.error();
    const std::vector<int16_t> written = write_until_full(w, GetParam());
    ASSERT_TRUE(w.failed()) << "the disk never filled";
    EXPECT_NE(w.error().find("No space"), std::string::npos) << w.error();
    EXPECT_FALSE(w.write(kSamples)) << "a write after the failure would leave a gap";
    EXPECT_EQ(w.samples_written(), written.size());
    ASSERT_TRUE(w.commit(WavWriter::OnFailure::Keep)) << w.error();
    const WavData read = read_wav(disk.file("out.wav").string());
    ASSERT_TRUE(read.ok()) << read.error;
    EXPECT_EQ(read.samples, written);
    EXPECT_EQ(fs::file_size(disk.file("out.wav")), 44 + 2 * written.size());
}

INSTANTIATE_TEST_SUITE_P(WriteSizes, WavWriterFullDisk, ::testing::Values(2048, 3000, 8192),
                         [](const auto& param_info) {
                             return "Writes" + std::to_string(param_info.param) + "Samples";
                         });

// A file that cannot be put in place (its name became a folder meanwhile).
struct CommitCase {
    const char* name;
    WavWriter::OnFailure on_failure;
    bool left;
};
class WavWriterCommitFailure : public ::testing::TestWithParam<CommitCase> {};

TEST_P(WavWriterCommitFailure, RemovesOrLeavesTheTemporaryFileAsAsked) {
    test::TempDir dir;
    WavWriter w;
    ASSERT_TRUE(w.open((dir.path() / "out.wav").string()));
    ASSERT_TRUE(w.write(kSamples));
    fs::create_directory(dir.path() / "out.wav");
    EXPECT_FALSE(w.commit(GetParam().on_failure));
    EXPECT_NE(w.error().find("no longer a regular file"), std::string::npos) << w.error();
    EXPECT_EQ(!w.temp_path().empty(), GetParam().left);
    if (GetParam().left) {
        EXPECT_EQ(read_wav(w.temp_path()).samples, kSamples);
        w.abandon(); // finished: nothing to abandon, the file stays
        EXPECT_TRUE(fs::exists(w.temp_path()));
    } else {
        EXPECT_EQ(dir.listing(), "out.wav");
    }
}

INSTANTIATE_TEST_SUITE_P(Choices, WavWriterCommitFailure,
                         ::testing::Values(CommitCase{"Remove", WavWriter::OnFailure::Remove,
                                                      false},
                                           CommitCase{"Keep", WavWriter::OnFailure::Keep, true}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// The extensible header is read like the plain one; what it holds must still be 16-bit mono PCM
// at 8000 Hz.
TEST(WavReader, TheExtensibleHeaderIsReadForTheSameFormatOnly) {
    test::TempDir dir;
    const auto make = [&](const std::string& name, int subformat, int channels) {
        SF_INFO info{};
        info.samplerate = 8000;
        info.channels = channels;
        info.format = SF_FORMAT_WAVEX | subformat;
        SNDFILE* f = sf_open((dir.path() / name).c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        const std::vector<int16_t> frames(kSamples.size() * static_cast<size_t>(channels), 7);
        sf_writef_short(f, channels == 1 ? kSamples.data() : frames.data(),
                        static_cast<sf_count_t>(kSamples.size()));
        sf_close(f);
    };
    make("mono16.wav", SF_FORMAT_PCM_16, 1);
    make("stereo16.wav", SF_FORMAT_PCM_16, 2);
    make("float.wav", SF_FORMAT_FLOAT, 1);
    const WavData mono = read_wav((dir.path() / "mono16.wav").string());
    ASSERT_TRUE(mono.ok()) << mono.error;
    EXPECT_EQ(mono.samples, kSamples);
    for (const char* name : {"stereo16.wav", "float.wav"})
        EXPECT_NE(read_wav((dir.path() / name).string()).error.find("need a WAV file"),
                  std::string::npos)
            << name;
}

} // namespace
} // namespace quavel
