// For the tool tests that go through a real sound server: programs started in the background
// with their output in files, and a sound server that one test has to itself.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quavel::test {

struct Command {
    std::vector<std::string> argv;     // argv[0] is looked up in PATH when it has no slash
    std::filesystem::path stdout_path; // empty: /dev/null
    std::filesystem::path stderr_path; // empty: /dev/null
    // Set (or, with an empty value, removed) in the program's environment only.
    std::vector<std::pair<std::string, std::string>> env;
};

// A program running in the background. It is killed with the test program (so a failed test
// leaves nothing behind) and, if it still runs, by the destructor.
class Process {
public:
    explicit Process(const Command& command);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Waits up to `timeout_ms` for the program to end: its exit code, 128 + the signal that
    // ended it, or nothing while it still runs.
    std::optional<int> wait(int timeout_ms);
    void signal(int signal_number);
    bool running();
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// Runs a program to its end (killed after `timeout_ms`); its status as Process::wait gives it,
// -1 when it had to be killed.
int run(const Command& command, int timeout_ms);

std::string read_text(const std::filesystem::path& path);
// Waits up to `timeout_ms` for `needle` to appear in the file.
bool wait_for_text(const std::filesystem::path& path, const std::string& needle, int timeout_ms);
bool on_path(const std::string& program);
void sleep_ms(int ms);

// A PulseAudio server for one test: a null sink at the modem's own format (8000 Hz mono) as the
// default output and its monitor, remapped, as the default input, reached by every program the
// test starts through PULSE_SERVER; so what the tool plays, another program captures, and
// nothing else is heard. Where PulseAudio cannot be started here, the server that already
// answers `pactl info` is used instead, shared with whatever else plays on it.
class SoundServer {
public:
    // Starts the server (its socket and log in a directory of its own under /tmp, a short path
    // as a socket name needs) and points PULSE_SERVER at it.
    SoundServer();
    ~SoundServer(); // stops the server it started, removes its directory, restores PULSE_SERVER
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    // Empty when a server answers; otherwise why the sound tests cannot run here.
    const std::string& skip_reason() const { return skip_reason_; }
    // The default devices belong to this test alone and run at 8000 Hz mono, so what is played
    // comes back sample for sample.
    bool private_server() const { return server_ != nullptr; }
    // Stops the server this test started, as if it went away under its clients.
    void stop();

private:
    bool start_private();

    std::filesystem::path dir_;
    std::unique_ptr<Process> server_;
    std::optional<std::string> saved_pulse_server_;
    std::string skip_reason_;
};

// What `pactl ARGS` prints, or nothing when it fails.
std::optional<std::string> pactl_output(const std::vector<std::string>& args);
// The name of the sink a playing stream is on, once one plays (within `timeout_ms`), and the
// stream's properties as `pactl list sink-inputs` prints them; empty when none plays.
std::pair<std::string, std::string> playing_stream(int timeout_ms);

// A null sink and a source remapped from its monitor, added to the answering server for one
// test under names of their own (the process id in them, so that tests sharing a server do not
// meet), and removed again by the destructor. `label` ("RigA") makes the readable names:
// "Quavel<label>Out<pid>" for the sink, "Quavel<label>In<pid>" for the source.
class DevicePair {
public:
    explicit DevicePair(const std::string& label);
    ~DevicePair();
    DevicePair(const DevicePair&) = delete;
    DevicePair& operator=(const DevicePair&) = delete;

    bool ok() const { return modules_.size() == 2; }
    std::string sink_id, sink_name, source_id, source_name;

private:
    std::vector<std::string> modules_;
};

} // namespace quavel::test
