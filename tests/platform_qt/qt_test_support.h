// Shared by the Qt adapter tests: the program's main (one QApplication for all tests), jobs run
// in a child copy of the program, waiting on the event loop, a private loopback pair on the
// sound server, and tone measurement.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>

namespace quavel::test {

// Runs the event loop until `done` holds or `timeout_ms` passes; returns `done()`.
bool wait_until(const std::function<bool()>& done, int timeout_ms);
// Runs the event loop for `ms`.
void pump_events(int ms);

// A job for a child copy of this program: a sound server of its own, or capture kept off the
// connection of the process that plays. Returns the child's exit code. Register from a static
// initialiser.
using ChildJob = int (*)();
bool register_child_job(const char* name, ChildJob job);
// Starts the child running `job`, with `env` added to this program's environment. It prints
// kChildFinished and its exit code when the job is done.
std::unique_ptr<QProcess> start_child(const char* job, const QProcessEnvironment& env);
inline constexpr char kChildFinished[] = "child finished: ";

// A null sink of its own on the running sound server, with its monitor remapped as a source,
// so that what one adapter plays the other captures and nothing else is heard. Without a server
// (or pactl) `skip_reason` says why and the ids are empty.
class PulseLoopback {
public:
    PulseLoopback();
    ~PulseLoopback(); // unloads both modules
    PulseLoopback(const PulseLoopback&) = delete;
    PulseLoopback& operator=(const PulseLoopback&) = delete;

    bool ready() const { return skip_reason.empty(); }
    QByteArray sink_id;
    QByteArray source_id;
    std::string skip_reason;

private:
    QByteArray sink_module_;
    QByteArray source_module_;
};

// Why the sound-card tests cannot run here, or empty when a sound server answers.
std::string sound_server_missing();

// Amplitude (in sample units) and phase (radians) of `hz` in `samples` at 8000/s.
struct ToneMeasure {
    double amplitude = 0.0;
    double phase = 0.0;
};
ToneMeasure measure_tone(std::span<const int16_t> samples, double hz);

} // namespace quavel::test
