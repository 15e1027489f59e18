// The receive log's file: header lines on lines of their own, the text as it came, a line
// break after a pause, and a file that is already there kept.
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/recording_messages.h"
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

} // namespace
