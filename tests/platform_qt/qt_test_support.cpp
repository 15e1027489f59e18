#include "qt_test_support.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include <QApplication>
#include <QAudioDevice>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMediaDevices>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <unistd.h>

namespace quavel::test {
namespace {

std::map<std::string, ChildJob>& child_jobs() {
    static std::map<std::string, ChildJob> jobs;
    return jobs;
}

constexpr char kChildJobVariable[] = "QUAVEL_QT_TEST_CHILD_JOB";

// Runs pactl; its trimmed output, or an empty array when it failed.
QByteArray pactl(const QStringList& args, bool* ok = nullptr) {
    QProcess p;
    p.start(QStringLiteral("pactl"), args);
    const bool finished = p.waitForFinished(10000);
    const bool good = finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (ok) *ok = good;
    return good ? p.readAllStandardOutput().trimmed() : QByteArray();
}

bool has_device(const QList<QAudioDevice>& devices, const QByteArray& id) {
    for (const QAudioDevice& d : devices)
        if (d.id() == id) return true;
    return false;
}

} // namespace

bool register_child_job(const char* name, ChildJob job) {
    child_jobs()[name] = job;
    return true;
}

std::unique_ptr<QProcess> start_child(const char* job, const QProcessEnvironment& env) {
    auto child = std::make_unique<QProcess>();
    QProcessEnvironment all = QProcessEnvironment::systemEnvironment();
    all.insert(env);
    all.insert(QString::fromLatin1(kChildJobVariable), QString::fromLatin1(job));
    child->setProcessEnvironment(all);
    child->setProcessChannelMode(QProcess::MergedChannels);
    child->start(QCoreApplication::applicationFilePath(), {});
    return child;
}

bool wait_until(const std::function<bool()>& done, int timeout_ms) {
    if (done()) return true;
    // A real event loop that sleeps between events, as the console's does: spinning instead
    // would take the processor from the sound library's own thread on a busy machine.
    QEventLoop loop;
    QTimer check;
    check.setInterval(2);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    QTimer::singleShot(timeout_ms, &loop, &QEventLoop::quit);
    check.start();
    loop.exec();
    return done();
}

void pump_events(int ms) {
    wait_until([] { return false; }, ms);
}

std::string sound_server_missing() {
    if (QStandardPaths::findExecutable(QStringLiteral("pactl")).isEmpty())
        return "pactl is not installed (Debian package pulseaudio-utils)";
    bool ok = false;
    pactl({QStringLiteral("info")}, &ok);
    if (!ok) return "no PulseAudio server answers; start one with tools/sound-server.sh start";
    return {};
}

PulseLoopback::PulseLoopback() {
    skip_reason = sound_server_missing();
    if (!skip_reason.empty()) return;
    static int serial = 0;
    const QString name = QStringLiteral("quavel_test_%1_%2").arg(::getpid()).arg(++serial);
    bool ok = false;
    sink_module_ = pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                          QStringLiteral("sink_name=") + name, QStringLiteral("rate=8000"),
                          QStringLiteral("channels=1")},
                         &ok);
    if (!ok) {
        skip_reason = "the sound server refused a null sink";
        return;
    }
    source_module_ = pactl({QStringLiteral("load-module"), QStringLiteral("module-remap-source"),
                            QStringLiteral("source_name=") + name + QStringLiteral("_mic"),
                            QStringLiteral("master=") + name + QStringLiteral(".monitor")},
                           &ok);
    if (!ok) {
        skip_reason = "the sound server refused to remap the null sink's monitor";
        return;
    }
    const QByteArray sink = name.toUtf8();
    const QByteArray source = sink + "_mic";
    // Qt learns of new devices from the server's events, a moment later.
    if (!wait_until(
            [&] {
                return has_device(QMediaDevices::audioOutputs(), sink) &&
                       has_device(QMediaDevices::audioInputs(), source);
            },
            5000)) {
        skip_reason = "Qt did not list the loopback devices";
        return;
    }
    sink_id = sink;
    source_id = source;
}

PulseLoopback::~PulseLoopback() {
    if (!source_module_.isEmpty())
        pactl({QStringLiteral("unload-module"), QString::fromUtf8(source_module_)});
    if (!sink_module_.isEmpty())
        pactl({QStringLiteral("unload-module"), QString::fromUtf8(sink_module_)});
}

ToneMeasure measure_tone(std::span<const int16_t> samples, double hz) {
    double re = 0.0;
    double im = 0.0;
    const double w = 2.0 * M_PI * hz / 8000.0;
    for (size_t n = 0; n < samples.size(); ++n) {
        re += samples[n] * std::cos(w * static_cast<double>(n));
        im -= samples[n] * std::sin(w * static_cast<double>(n));
    }
    const double scale = samples.empty() ? 0.0 : 2.0 / static_cast<double>(samples.size());
    return {std::hypot(re, im) * scale, std::atan2(im, re)};
}

} // namespace quavel::test

// One QApplication for the whole program (message boxes need widgets); a child copy runs its job
// instead of the tests.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QByteArray job = qgetenv(quavel::test::kChildJobVariable);
    if (!job.isEmpty()) {
        const auto it = quavel::test::child_jobs().find(job.toStdString());
        const int code = it == quavel::test::child_jobs().end() ? 99 : it->second();
        std::printf("%s%d\n", quavel::test::kChildFinished, code);
        std::fflush(stdout);
        return code;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
