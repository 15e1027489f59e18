// A sound server that is killed and started again while the adapters run: capture reports
// itself lost, and once the server is back a fresh open captures and plays again. The server is
// the test's own (the same modules tools/sound-server.sh loads, on a private socket), so that
// killing it disturbs no other test; the child that runs the devices starts and kills it itself
// and prints how long each step took.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <vector>

#include <signal.h>

#include "platform/qt/qt_audio_input.h"
#include "platform/qt/qt_audio_output.h"
#include "qt_test_support.h"

namespace quavel {
namespace {

constexpr char kSocketVariable[] = "QUAVEL_QT_RESTART_SOCKET";
constexpr char kRunVariable[] = "QUAVEL_QT_RESTART_RUN";
constexpr int kReopenEveryMs = 250;
constexpr int kReopenForMs = 30000;

// A PulseAudio server on `socket`, as tools/sound-server.sh starts one: a null sink at 8000 Hz
// and its monitor remapped as the default input.
class PrivateServer {
public:
    PrivateServer(QString socket, QString run_dir)
        : socket_(std::move(socket)), run_dir_(std::move(run_dir)) {}
    ~PrivateServer() { kill(); }

    bool start() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        if (daemon.isEmpty()) return false;
        QFile::remove(socket_);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), run_dir_ + QStringLiteral("/run"));
        env.insert(QStringLiteral("PULSE_STATE_PATH"), run_dir_ + QStringLiteral("/state"));
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(
            daemon,
            {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
             QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=no"),
             QStringLiteral("--system=no"), QStringLiteral("--disable-shm=yes"),
             QStringLiteral("--load=module-null-sink sink_name=quavel_sink rate=8000 channels=1"),
             QStringLiteral("--load=module-remap-source source_name=quavel_mic "
                            "master=quavel_sink.monitor"),
             QStringLiteral("--load=module-always-sink"),
             // Last: the socket appears once the devices exist, so a client that connects as
             // soon as it sees the socket finds them.
             QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=") +
                 socket_});
        if (!process_.waitForStarted(5000)) return false;
        return test::wait_until([&] { return QFile::exists(socket_); }, 10000);
    }
    // Stops (true) or continues the server, as a machine that stalls it would.
    void freeze(bool frozen) {
        ::kill(static_cast<pid_t>(process_.processId()), frozen ? SIGSTOP : SIGCONT);
    }
    // As a crash or `kill -9` ends it: no goodbye to the clients.
    void kill() {
        freeze(false);
        if (process_.state() == QProcess::NotRunning) return;
        ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
        process_.waitForFinished(5000);
    }
    QByteArray log() { return process_.readAll(); }

private:
    QString socket_;
    QString run_dir_;
    QProcess process_;
};

// Retries `open` every kReopenEveryMs until `works` holds; the milliseconds that took, or -1.
// Prints how many opens were refused and how many opened without working.
template <typename Open, typename Works>
qint64 reopen_until(const char* what, Open open, Works works) {
    QElapsedTimer clock;
    clock.start();
    int refused = 0;
    int silent = 0;
    while (clock.elapsed() < kReopenForMs) {
        if (!open()) {
            ++refused;
        } else if (test::wait_until(works, 2000)) {
            std::printf("%s: %d opens refused, %d opened without working\n", what, refused, silent);
            return clock.elapsed();
        } else {
            ++silent;
        }
        test::pump_events(kReopenEveryMs);
    }
    return -1;
}

int capture_and_play_across_restart() {
    PrivateServer server(qEnvironmentVariable(kSocketVariable), qEnvironmentVariable(kRunVariable));
    if (!server.start()) return 20;
    std::vector<int16_t> capture(kCaptureBufferCount * kCaptureBufferSamples);
    std::vector<int> captured;
    QtAudioInput input;
    size_t got = 0; // buffers filled since the last reset
    const auto serve_capture = [&] {
        for (const int b : captured)
            input.requeue(b);
        got += captured.size();
        captured.clear();
        return got >= 2;
    };
    const auto open_input = [&] {
        got = 0;
        return input.open(capture, [&](int b) { captured.push_back(b); });
    };
    if (!open_input()) {
        std::printf("first open: %s\n", input.error().c_str());
        return 21;
    }
    QtAudioOutput output;
    int played = 0;
    const std::vector<int16_t> symbol(2048, 1000);
    const auto open_output = [&] {
        played = 0;
        if (!output.open([&](int i) {
                ++played;
                output.queue(i, symbol);
            }))
            return false;
        output.queue(0, symbol);
        output.queue(1, symbol);
        return true;
    };
    if (!open_output() || !test::wait_until([&] { return played >= 2; }, 10000)) return 31;
    if (!test::wait_until(serve_capture, 10000)) return 22;
    test::wait_until(
        [&] {
            serve_capture();
            return false;
        },
        1000);
    if (input.lost()) {
        std::printf("lost while the server ran\n");
        return 23;
    }

    server.kill();
    QElapsedTimer clock;
    clock.start();
    const bool lost =
        test::wait_until([&] { return input.lost(); }, 3 * QtAudioInput::kSilentLimit.count());
    const qint64 lost_ms = clock.elapsed();
    if (!lost) {
        std::printf("capture was not reported lost after %lld ms\n", lost_ms);
        return 24;
    }
    if (!test::wait_until([&] { return output.lost(); }, 3000)) return 32;
    output.close();
    input.stop();
    if (!input.lost()) return 25; // stays lost until closed
    input.close();
    if (input.lost()) return 26;
    test::pump_events(200);

    if (!server.start()) return 27;
    captured.clear();
    got = 0;
    const qint64 capture_back_ms = reopen_until("capture", open_input, serve_capture);
    if (capture_back_ms < 0) {
        std::printf("capture did not come back: %s\n", input.error().c_str());
        return 28;
    }
    if (input.lost()) return 29;

    const qint64 playback_back_ms =
        reopen_until("playback", open_output, [&] { return played >= 4; });
    if (playback_back_ms < 0) {
        std::printf("playback did not come back: %s\n", output.error().c_str());
        return 30;
    }
    output.close();
    input.close();
    std::printf("capture lost after %lld ms; after the restart capture came back in %lld ms, "
                "playback in %lld ms\n",
                lost_ms, capture_back_ms, playback_back_ms);
    return 0;
}

// A server that stops answering without dropping the connection: nothing arrives, and no error
// says so. Capture that runs well past kSilentLimit is not lost; frozen, it is.
int capture_from_a_frozen_server() {
    PrivateServer server(qEnvironmentVariable(kSocketVariable), qEnvironmentVariable(kRunVariable));
    if (!server.start()) return 40;
    std::vector<int16_t> capture(kCaptureBufferCount * kCaptureBufferSamples);
    std::vector<int> captured;
    size_t got = 0;
    QtAudioInput input;
    if (!input.open(capture, [&](int b) { captured.push_back(b); })) return 41;
    const auto serve = [&] {
        for (const int b : captured)
            input.requeue(b);
        got += captured.size();
        captured.clear();
        return input.lost();
    };
    if (test::wait_until(serve, static_cast<int>(QtAudioInput::kSilentLimit.count()) + 1500))
        return 42; // lost while delivering
    if (got < 2) return 43;
    server.freeze(true);
    QElapsedTimer clock;
    clock.start();
    const bool lost = test::wait_until(serve, 3 * QtAudioInput::kSilentLimit.count());
    const qint64 lost_ms = clock.elapsed();
    server.freeze(false);
    input.close();
    if (!lost) return 44;
    std::printf("capture from a frozen server reported lost after %lld ms\n", lost_ms);
    return 0;
}

[[maybe_unused]] const bool kJobs =
    test::register_child_job("capture_and_play_across_restart", capture_and_play_across_restart) &&
    test::register_child_job("capture_from_a_frozen_server", capture_from_a_frozen_server);

// Runs `job` in a child on a private server; the child's output, checked for a clean exit.
void run_with_private_server(const char* job) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcessEnvironment env;
    const QString socket = dir.filePath(QStringLiteral("native"));
    env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + socket);
    env.insert(QString::fromLatin1(kSocketVariable), socket);
    env.insert(QString::fromLatin1(kRunVariable), dir.path());
    const std::unique_ptr<QProcess> child = test::start_child(job, env);
    const bool finished = child->waitForFinished(120000);
    if (!finished) child->kill();
    ASSERT_TRUE(finished) << "the child hung";
    const QByteArray output = child->readAll();
    EXPECT_EQ(child->exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(child->exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(test::kChildFinished)) << output.toStdString();
    std::printf("%s", output.constData());
}

TEST(SoundServerQtAudioRestart, CaptureIsLostAndBothDevicesOpenAgainOnceTheServerIsBack) {
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty())
        GTEST_SKIP() << "pulseaudio is not installed";
    run_with_private_server("capture_and_play_across_restart");
}

TEST(SoundServerQtAudioRestart, CaptureThatNothingReachesIsLost) {
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty())
        GTEST_SKIP() << "pulseaudio is not installed";
    run_with_private_server("capture_from_a_frozen_server");
}

} // namespace
} // namespace quavel
