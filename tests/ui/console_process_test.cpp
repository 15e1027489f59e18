// The console program as the operator starts it: a recording given with --audio-in is decoded in
// real time into the receive log, a stop request ends it cleanly, and bad command lines are
// refused before any window opens; a rig it keys by CAT is its own until it dies.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include "platform/hamlib/hamlib_ptt.h"
#include "platform/hamlib/rig_lock.h"
#include "support/api_client.h"
#include "support/rigctld.h"
#include "ui_support.h"

namespace {

std::string read_text(const std::string& file_path) {
    QFile file(QString::fromStdString(file_path));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

// The rig guardians `parent` started (platform/hamlib/rig_guardian.h), by their process name.
QList<qint64> guardians_of(qint64 parent) {
    QList<qint64> found;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number) continue;
        // "PID (NAME) STATE PPID ..."
        const QString stat =
            QString::fromStdString(read_text("/proc/" + entry.toStdString() + "/stat"));
        const int name_end = stat.lastIndexOf(')');
        if (name_end < 0 || !stat.contains("(quavel-guard)")) continue;
        const QStringList rest = stat.mid(name_end + 2).split(' ');
        if (rest.size() > 1 && rest[1].toLongLong() == parent) found << pid;
    }
    return found;
}

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
    void start(const QStringList& args, const QStringList& settings = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        // Settings of the test's own ("KEY=VALUE" pairs of AppSettings's INI file).
        if (!settings.isEmpty()) {
            const QString config = path("config");
            QSettings file(config + "/Quavel/quavel.ini", QSettings::IniFormat);
            file.setValue("api/enabled", false); // unless the test says otherwise
            for (const QString& setting : settings)
                file.setValue(setting.section('=', 0, 0), setting.section('=', 1));
            file.sync();
            env.insert("XDG_CONFIG_HOME", config);
        }
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

TEST_F(ConsoleProcess, ServesTheControlApiAndSaysWhenItCloses) {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    write_file(dir.path(), "KEYSETUP.INI", "G4XYZ NONE NONE");
    start({"--audio-out", path("out.wav"), "--api", QString::number(port)});
    // The console listens once its window is up.
    quavel::test::ApiClient client;
    ASSERT_TRUE(quavel::test::wait_until([&] {
        if (client.socket.state() == QAbstractSocket::UnconnectedState)
            client.socket.connectToHost(QHostAddress::LocalHost, port);
        client.socket.waitForConnected(200);
        return client.socket.state() == QAbstractSocket::ConnectedState;
    })) << console.readAllStandardError().toStdString();
    const auto status = client.next("status");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->value("callsign").toString(), "G4XYZ");
    console.terminate();
    EXPECT_TRUE(client.next("closing"));
    // Waiting for "closing" runs the event loop, which may already have seen the console end
    // (waitForFinished then says false).
    ASSERT_TRUE(console.state() == QProcess::NotRunning || console.waitForFinished(10000));
    EXPECT_EQ(console.exitCode(), 0) << console.readAllStandardError().toStdString();
}

// The console's rig is its own while it runs, and free again the moment it dies, however.
TEST_F(ConsoleProcess, KeepsItsRigFromOtherProgramsUntilItIsKilled) {
    quavel::test::Rigctld rig;
    if (!rig.skip_reason().empty()) GTEST_SKIP() << rig.skip_reason();
    const std::string address = rig.address();
    write_file(dir.path(), "KEYSETUP.INI", "G4XYZ NONE NONE");
    start({"--audio-out", path("out.wav")},
          {"keying/method=cat", "keying/rig_port=" + QString::fromStdString(address)});
    // The lock file names the console once it has the rig.
    const std::string lock = quavel::RigLock::path_for(quavel::kHamlibNetModel, address);
    const std::string pid = std::to_string(console.processId());
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 20000 && read_text(lock) != pid + "\n")
        QThread::msleep(50);
    ASSERT_EQ(read_text(lock), pid + "\n") << console.readAllStandardError().toStdString();

    // Its rig's guardian runs beside it (the console run again), ready to release the rig.
    // It starts once the rig has been opened and released, a moment after the lock.
    QList<qint64> guardians;
    clock.restart();
    while (clock.elapsed() < 10000 && (guardians = guardians_of(console.processId())).isEmpty())
        QThread::msleep(50);
    EXPECT_EQ(guardians.size(), 1);

    quavel::HamlibPtt other;
    EXPECT_FALSE(other.open(address));
    EXPECT_NE(other.error().find("is in use by another Quavel program (process " + pid + ")"),
              std::string::npos)
        << other.error();
    console.kill();
    ASSERT_TRUE(console.waitForFinished(10000));
    EXPECT_TRUE(other.open(address)) << other.error();
    EXPECT_EQ(rig.ptt(), false);
    // Told the rig was released, the guardian leaves without touching it.
    for (const qint64 guardian : guardians) {
        clock.restart();
        while (clock.elapsed() < 5000 && QFile::exists(QString("/proc/%1").arg(guardian)))
            QThread::msleep(50);
        EXPECT_FALSE(QFile::exists(QString("/proc/%1").arg(guardian)));
    }
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
