// The reader every independent-vector test goes through: a missing file skips with its path, a
// damaged one fails with the reason, a whole one comes back sample for sample.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/wav/wav_file.h"
#include "support/temp_dir.h"
#include "support/vector_file.h"

namespace quavel {
namespace {

TEST(VectorFile, MissingSkipsDamagedFailsWithTheReasonWholeIsRead) {
    test::TempDir dir;
    std::vector<int16_t> samples(4096);
    for (size_t n = 0; n < samples.size(); ++n)
        samples[n] = static_cast<int16_t>(n * 7);
    std::string error;
    ASSERT_TRUE(write_wav((dir.path() / "whole.wav").string(), samples, error)) << error;
    const std::string whole = dir.read("whole.wav");
    dir.write("cut.wav", whole.substr(0, whole.size() / 2));
    dir.write("pointer.wav", "oid sha256:4d7a2146\nsize 368684\n"); // a large-file pointer

    struct Case {
        const char* file;
        bool read;
        ::testing::TestPartResult::Type reported; // unused when read
        const char* reason;
    };
    const Case cases[] = {
        {"whole.wav", true, ::testing::TestPartResult::kSuccess, ""},
        {"absent.wav", false, ::testing::TestPartResult::kSkip, "no independent vector at"},
        {"cut.wav", false, ::testing::TestPartResult::kNonFatalFailure, "cut short"},
        {"pointer.wav", false, ::testing::TestPartResult::kNonFatalFailure, "cannot read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ::testing::TestPartResultArray results;
        std::optional<WavData> wav;
        {
            const ::testing::ScopedFakeTestPartResultReporter reporter(
                ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD,
                &results);
            wav = test::read_vector(c.file, dir.path().string());
        }
        EXPECT_EQ(wav.has_value(), c.read);
        if (c.read) {
            EXPECT_EQ(results.size(), 0);
            if (wav) {
                EXPECT_EQ(wav->samples, samples);
            }
            continue;
        }
        ASSERT_EQ(results.size(), 1);
        EXPECT_EQ(results.GetTestPartResult(0).type(), c.reported);
        const std::string message = results.GetTestPartResult(0).message();
        EXPECT_NE(message.find(c.reason), std::string::npos) << message;
        EXPECT_NE(message.find(c.file), std::string::npos) << message;
    }
}

} // namespace
} // namespace quavel
