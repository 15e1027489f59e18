// The console program as the operator starts it: a recording given with --audio-in is decoded in
// real time into the receive log, a stop request ends it cleanly, and bad command lines are
// refused before any window opens.
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include "ui_support.h"

namespace {

class ConsoleProcess : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    void TearDown() override {
        if (console.state() != QProcess::NotRunning) {
            console.kill();
            console.waitForFinished(5000);
        }
    }
    QString path(const QString& name) const { return QDir(dir.path()).filePath(name); }
    void start(const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        console.setProcessEnvironment(env);
        console.setWorkingDirectory(dir.path());
        console.start(QUAVEL_CONSOLE, args);
        ASSERT_TRUE(console.waitForStarted(10000));
    }
    // Sends `text` at the console's starting speed into a recording, as the other station
    // would.
    void record(const QString& text, const QString& file) {
        QProcess tx;
        tx.start(QUAVEL_MODEM_TOOL, {"tx", "--speed", "2", "-o", path(file), text});
        ASSERT_TRUE(tx.waitForFinished(30000));
        ASSERT_EQ(tx.exitCode(), 0) << tx.readAllStandardError().toStdString();
    }

    QTemporaryDir dir;
    QProcess console;
};

// The recording plays at its real pace.
class RealTimeConsoleProcess : public ConsoleProcess {};

TEST_F(RealTimeConsoleProcess, DecodesARecordingIntoTheReceiveLogAndStopsCleanly) {
    record("CQ TEST K", "in.wav");
    // With a configuration the start-up shows no message box that would wait for the operator.
    write_file(dir.path(), "KEYSETUP.INI", "G4XYZ NONE NONE");
    start({"--audio-in", path("in.wav"), "--rx-log", path("rx.log")});
    // About 7 s of recording, delivered at 8000 samples per second of wall clock.
    QElapsedTimer clock;
    clock.start();
    std::string log;
    while (clock.elapsed() < 30000 && console.state() == QProcess::Running) {
        console.waitForFinished(250);
        log = read_file(dir.path(), "rx.log");
        if (log.find("CQ TEST K") != std::string::npos) break;
    }
    EXPECT_NE(log.find("CQ TEST K"), std::string::npos) << "log: " << log;
    console.terminate();
    ASSERT_TRUE(console.waitForFinished(10000));
    EXPECT_EQ(console.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(console.exitCode(), 0) << console.readAllStandardError().toStdString();
}

TEST_F(ConsoleProcess, AStopSignalWithoutATransmissionLeavesNoOutputFile) {
    write_file(dir.path(), "KEYSETUP.INI", "G4XYZ NONE NONE");
    start({"--audio-out", path("out.wav")});
    QThread::msleep(1500);
    console.terminate();
    ASSERT_TRUE(console.waitForFinished(10000));
    EXPECT_EQ(console.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(console.exitCode(), 0) << console.readAllStandardError().toStdString();
    // Nothing was sent, so nothing was written: no file, and no temporary one left behind.
    EXPECT_TRUE(QDir(dir.path()).entryList({"out.wav*"}, QDir::Files).isEmpty());
}

TEST_F(ConsoleProcess, RefusesABadCommandLineBeforeAnyWindow) {
    start({"--audio-in", path("missing.wav")});
    ASSERT_TRUE(console.waitForFinished(10000));
    EXPECT_EQ(console.exitCode(), 2);
    const std::string error = console.readAllStandardError().toStdString();
    EXPECT_NE(error.find("missing.wav"), std::string::npos) << error;
    EXPECT_NE(error.find("--help"), std::string::npos) << error;
}

TEST_F(ConsoleProcess, HelpNeedsNoDisplay) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    console.setProcessEnvironment(env);
    console.start(QUAVEL_CONSOLE, {"--help"});
    ASSERT_TRUE(console.waitForFinished(10000));
    EXPECT_EQ(console.exitCode(), 0);
    EXPECT_NE(console.readAllStandardOutput().indexOf("--audio-in"), -1);
}

} // namespace
