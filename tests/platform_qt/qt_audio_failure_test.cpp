// Devices that cannot be opened, and a sound server that dies under running devices: open
// reports false, nothing crashes, nothing is reported that did not happen.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <signal.h>

#include "platform/qt/qt_audio_input.h"
#include "platform/qt/qt_audio_output.h"
#include "qt_test_support.h"

namespace quavel {
namespace {

// Opens both default devices and returns 0 when both refused, as they must with no server.
int open_defaults_without_server() {
    std::vector<int16_t> capture(kCaptureBufferCount * kCaptureBufferSamples);
    int reports = 0;
    QtAudioInput input;
    const bool input_opened = input.open(capture, [&](int) { ++reports; });
    QtAudioOutput output;
    const bool output_opened = output.open([&](int) { ++reports; });
    output.queue(0, std::vector<int16_t>(2048));
    input.requeue(0);
    input.restart();
    test::pump_events(300);
    output.close();
    input.close();
    std::printf("input %d (%s), output %d (%s), reports %d\n", input_opened, input.error().c_str(),
                output_opened, output.error().c_str(), reports);
    return !input_opened && !output_opened && reports == 0 && !input.error().empty() &&
                   !output.error().empty()
               ? 0
               : 1;
}

// Runs capture and playback on a private server until both have moved some buffers, kills the
// server (its process id in QUAVEL_QT_AUDIO_SERVER_PID) and goes on using and then closing both
// devices as the window would. 0 when all of that passed without harm.
int survive_server_loss() {
    const qint64 server = qEnvironmentVariable("QUAVEL_QT_AUDIO_SERVER_PID").toLongLong();
    if (server <= 0) return 10;
    std::vector<int16_t> capture(kCaptureBufferCount * kCaptureBufferSamples);
    std::vector<int> captured;
    bool played[2] = {false, false};
    int played_count = 0;
    QtAudioInput input;
    QtAudioOutput output;
    if (!input.open(capture, [&](int b) { captured.push_back(b); })) return 11;
    if (!output.open([&](int i) {
            played[i & 1] = true;
            ++played_count;
        }))
        return 12;
    const std::vector<int16_t> symbol(2048, 1000);
    output.queue(0, symbol);
    output.queue(1, symbol);
    auto serve = [&] {
        for (const int b : captured)
            input.requeue(b);
        captured.clear();
        for (int i = 0; i < 2; ++i) {
            if (!played[i]) continue;
            played[i] = false;
            output.queue(i, symbol);
        }
    };
    size_t moved = 0;
    if (!test::wait_until(
            [&] {
                moved += captured.size();
                serve();
                return moved >= 2 && played_count >= 2;
            },
            10000))
        return 13;
    ::kill(static_cast<pid_t>(server), SIGKILL);
    test::wait_until(
        [&] {
            serve();
            return false;
        },
        1500);
    // The window polls this to end the transmission and release the transmitter.
    const bool lost = output.lost();
    input.stop();
    input.restart();
    output.queue(0, symbol);
    test::pump_events(200);
    output.close();
    if (!lost) {
        std::printf("the output did not report the server gone\n");
        return 14;
    }
    input.close();
    // Opening again finds no server: refused, not a crash or a hang.
    const bool reopened = input.open(capture, [](int) {}) || output.open([](int) {});
    input.close();
    output.close();
    std::printf("buffers moved before the loss: %zu captured, %d played; reopened: %d\n", moved,
                played_count, reopened);
    return 0;
}

[[maybe_unused]] const bool kJobs =
    test::register_child_job("open_without_server", open_defaults_without_server) &&
    test::register_child_job("survive_server_loss", survive_server_loss);

TEST(SoundServerQtAudioOpenFailure, UnknownDeviceIsRefusedAndStaysSilent) {
    std::vector<int16_t> capture(kCaptureBufferCount * kCaptureBufferSamples);
    int reports = 0;
    QtAudioInput input(QtAudioChoice{"quavel-no-such-device", {}});
    EXPECT_FALSE(input.open(capture, [&](int) { ++reports; }));
    EXPECT_FALSE(input.error().empty());
    EXPECT_FALSE(input.is_open());
    input.requeue(0);
    input.restart();
    input.stop();
    input.close();

    QtAudioOutput output(QtAudioChoice{"quavel-no-such-device", {}});
    EXPECT_FALSE(output.open([&](int) { ++reports; }));
    EXPECT_FALSE(output.error().empty());
    output.queue(0, std::vector<int16_t>(2048));
    test::pump_events(100);
    output.close();
    EXPECT_EQ(reports, 0);
}

TEST(SoundServerQtAudioOpenFailure, CaptureBuffersTooSmallAreRefused) {
    std::vector<int16_t> capture(kCaptureBufferCount * kCaptureBufferSamples - 1);
    QtAudioInput input;
    EXPECT_FALSE(input.open(capture, [](int) {}));
    EXPECT_FALSE(input.is_open());
}

TEST(SoundServerQtAudioOpenFailure, NoSoundServerMeansBothDefaultsAreRefused) {
    QProcessEnvironment env;
    // A server address that cannot answer; naming one also stops the library from starting a
    // server of its own.
    env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/quavel/native"));
    const std::unique_ptr<QProcess> child = test::start_child("open_without_server", env);
    ASSERT_TRUE(child->waitForFinished(60000)) << "the child hung";
    const QByteArray output = child->readAll();
    EXPECT_EQ(child->exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(child->exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(test::kChildFinished)) << output.toStdString();
}

TEST(SoundServerQtAudioServerLoss, DevicesSurviveTheServerDyingUnderThem) {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
    if (daemon.isEmpty()) GTEST_SKIP() << "pulseaudio is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString socket = dir.filePath(QStringLiteral("native"));
    // A server of this test's own, so that killing it disturbs nothing else.
    QProcess server;
    QProcessEnvironment server_env = QProcessEnvironment::systemEnvironment();
    server_env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), dir.filePath(QStringLiteral("run")));
    server_env.insert(QStringLiteral("PULSE_STATE_PATH"), dir.filePath(QStringLiteral("state")));
    server.setProcessEnvironment(server_env);
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(daemon,
                 {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                  QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=no"),
                  QStringLiteral("--system=no"), QStringLiteral("--disable-shm=yes"),
                  QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 "
                                 "socket=") +
                      socket,
                  QStringLiteral("--load=module-null-sink sink_name=s rate=8000 channels=1"),
                  QStringLiteral("--load=module-remap-source source_name=m "
                                 "master=s.monitor")});
    ASSERT_TRUE(server.waitForStarted(5000));
    if (!test::wait_until([&] { return QFile::exists(socket); }, 5000)) {
        server.kill();
        server.waitForFinished(2000);
        GTEST_SKIP() << "a private sound server would not start: "
                     << server.readAll().toStdString();
    }

    QProcessEnvironment env;
    env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + socket);
    env.insert(QStringLiteral("QUAVEL_QT_AUDIO_SERVER_PID"), QString::number(server.processId()));
    const std::unique_ptr<QProcess> child = test::start_child("survive_server_loss", env);
    const bool finished = child->waitForFinished(60000);
    server.kill();
    server.waitForFinished(2000);
    ASSERT_TRUE(finished) << "the child hung";
    const QByteArray output = child->readAll();
    EXPECT_EQ(child->exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(child->exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(test::kChildFinished)) << output.toStdString();
    std::printf("%s", output.constData());
}

} // namespace
} // namespace quavel
