// The receive log's file: header lines on lines of their own, the text as it came, a line
// break after a pause, and a file that is already there kept. A log whose disk fills keeps what
// it wrote, says so once when nothing is being sent, and takes every call meanwhile.
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "support/full_disk.h"
#include "support/recording_messages.h"
#include "ui/rx_log.h"
#include "ui_support.h"

namespace {

TEST(RxLogHeader, NamesTheUtcTimeTheActivitySpeedAndFrequency) {
    EXPECT_EQ(rx_log_header(RxLog::Activity::Receiving, "2 Quavel/sec", 1000, 0),
              "--- 1970-01-01 00:00:00 UTC  receiving  2 Quavel/sec  1000 Hz ---");
    EXPECT_EQ(rx_log_header(RxLog::Activity::Sending, "4 Quavel/sec", 957, 1796818245),
              "--- 2026-12-09 12:10:45 UTC  sent  4 Quavel/sec  957 Hz ---");
}

TEST(RxLogFile, ReadsAsTheContactWent) {
    QTemporaryDir dir;
    write_file(dir.path(), "rx.log", "earlier\n");
    quavel::RecordingMessages messages;
    {
        RxLog log(QDir(dir.path()).filePath("rx.log").toStdString(), messages);
        log.begin(RxLog::Activity::Receiving, "2 Quavel/sec", 1000, 0);
        log.text("CQ");
        log.symbol_heard(true, 3);
        log.symbol_heard(true, 3);
        log.symbol_heard(false, 3); // a character: the run starts again
        log.text(" DE G4ABC");
        for (int i = 0; i < 5; ++i)
            log.symbol_heard(true, 3); // one break, however long the pause
        log.text("K");
        log.begin(RxLog::Activity::Sending, "2 Quavel/sec", 1001, 60);
        log.text("G4ABC DE G4XYZ");
    }
    EXPECT_EQ(read_file(dir.path(), "rx.log"),
              "earlier\n"
              "--- 1970-01-01 00:00:00 UTC  receiving  2 Quavel/sec  1000 Hz ---\n"
              "CQ DE G4ABC\n"
              "K\n"
              "--- 1970-01-01 00:01:00 UTC  sent  2 Quavel/sec  1001 Hz ---\n"
              "G4ABC DE G4XYZ\n");
    EXPECT_TRUE(messages.messages().empty());
}

// Records each message and, while it is "up", runs `during` as a modal box's event loop runs
// the window's timers.
class ReenteringMessages : public quavel::MessageSink {
public:
    void show(const std::string& text, const std::string& title,
              quavel::MessageIcon icon) override {
        recorded.show(text, title, icon);
        if (during) std::exchange(during, nullptr)();
    }
    quavel::RecordingMessages recorded;
    std::function<void()> during;
};

void every_entry_point(RxLog& log) {
    log.begin(RxLog::Activity::Receiving, "2 Quavel/sec", 1000, 0);
    log.text("more text");
    log.symbol_heard(true, 1);
    log.symbol_heard(false, 1);
    log.begin(RxLog::Activity::Sending, "2 Quavel/sec", 1000, 0);
    log.text("sent");
    log.begin(RxLog::Activity::Receiving, "2 Quavel/sec", 1000, 0);
}

std::string whole_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(RxLogFullDisk, KeepsEveryLineWrittenBeforeAndSaysSoOnce) {
    quavel::test::FullDisk disk;
    if (!disk.ready()) GTEST_SKIP() << disk.skip_reason;
    const std::filesystem::path path = disk.file("rx.log");
    quavel::RecordingMessages messages;
    std::string flushed; // every line the log took while it still logged
    {
        RxLog log(path.string(), messages);
        ASSERT_TRUE(log.logging());
        log.begin(RxLog::Activity::Receiving, "2 Quavel/sec", 1000, 0);
        flushed = rx_log_header(RxLog::Activity::Receiving, "2 Quavel/sec", 1000, 0) + "\n";
        const std::string line = std::string(60, 'Q') + "\n";
        for (int i = 0; i < 4096 && log.logging(); ++i) {
            log.text(line);
            if (log.logging()) flushed += line;
        }
        EXPECT_FALSE(log.logging()) << "the disk never filled";
        every_entry_point(log); // a log that failed takes every call and writes nothing
        EXPECT_TRUE(messages.messages().empty()) << "said inside the step that wrote";
        QCoreApplication::processEvents();
        every_entry_point(log);
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_NE(messages.messages()[0].text.find(path.string()), std::string::npos);
    EXPECT_EQ(messages.messages()[0].icon, quavel::MessageIcon::Warning);
    // Nothing flushed before the failure is lost; what follows it is at most the line that failed.
    const std::string kept = whole_file(path);
    ASSERT_GE(kept.size(), flushed.size());
    EXPECT_EQ(kept.substr(0, flushed.size()), flushed);
}

// /dev/full fails the first write: the header of whatever starts.
struct FailureCase {
    const char* name;
    RxLog::Activity activity;
    bool said_at_once; // after the step, or only once receiving starts again
};

class RxLogWriteFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(RxLogWriteFailure, IsSaidOnceAfterTheStepAndNeverWhileSending) {
    quavel::RecordingMessages messages;
    RxLog log(quavel::test::kFullDevice, messages);
    ASSERT_TRUE(log.logging());
    log.begin(GetParam().activity, "2 Quavel/sec", 1000, 0);
    EXPECT_FALSE(log.logging());
    log.text("CQ CQ");
    QCoreApplication::processEvents();
    EXPECT_EQ(messages.messages().size(), GetParam().said_at_once ? 1u : 0u);
    log.begin(RxLog::Activity::Receiving, "2 Quavel/sec", 1000, 0);
    QCoreApplication::processEvents();
    log.begin(RxLog::Activity::Sending, "2 Quavel/sec", 1000, 0);
    log.begin(RxLog::Activity::Receiving, "2 Quavel/sec", 1000, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(messages.messages().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Activities, RxLogWriteFailure,
                         ::testing::Values(FailureCase{"Receiving", RxLog::Activity::Receiving,
                                                       true},
                                           FailureCase{"Sending", RxLog::Activity::Sending, false}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(RxLogWriteFailure, TakesEveryCallWhileItsBoxIsUpAndMayBeDestroyedThere) {
    ReenteringMessages messages;
    auto log = std::make_unique<RxLog>(quavel::test::kFullDevice, messages);
    messages.during = [&] {
        every_entry_point(*log);
        log.reset();
    };
    log->begin(RxLog::Activity::Receiving, "2 Quavel/sec", 1000, 0);
    log->text("CQ");
    QCoreApplication::processEvents();
    EXPECT_EQ(log, nullptr) << "the box was not shown from the event loop";
    QCoreApplication::processEvents();
    EXPECT_EQ(messages.recorded.messages().size(), 1u);
}

TEST(RxLogWriteFailure, AReportLeftWhenTheLogGoesIsDropped) {
    quavel::RecordingMessages messages;
    {
        RxLog log(quavel::test::kFullDevice, messages);
        log.begin(RxLog::Activity::Receiving, "2 Quavel/sec", 1000, 0);
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(messages.messages().empty());
}

} // namespace
