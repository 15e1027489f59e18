#include "sound_support.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace quavel::test {

namespace fs = std::filesystem;

namespace {

// The environment the program gets: ours with the command's changes.
std::vector<std::string> child_environment(const Command& c) {
    std::vector<std::string> out;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& [n, v] : c.env)
            replaced = replaced || n == name;
        if (!replaced) out.push_back(entry);
    }
    for (const auto& [n, v] : c.env)
        if (!v.empty()) out.push_back(n + "=" + v);
    return out;
}

int open_or_null(const fs::path& path, int flags) {
    return open(path.empty() ? "/dev/null" : path.c_str(), flags, 0644);
}

} // namespace

Process::Process(const Command& command) {
    // Everything is prepared before fork, so that the child only has to redirect and exec.
    std::vector<std::string> args = command.argv;
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = child_environment(command);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = open_or_null(command.stdout_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC);
    const int err = open_or_null(command.stderr_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC);
    const pid_t parent = getpid();

    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        // A test program started in the background may itself ignore SIGINT; the programs it
        // starts get the usual dispositions.
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        if (in < 0 || out < 0 || err < 0) _exit(127);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    for (const int fd : {in, out, err})
        if (fd >= 0) close(fd);
}

Process::~Process() {
    if (running()) {
        kill(pid_, SIGKILL);
        wait(5000);
    }
}

std::optional<int> Process::wait(int timeout_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!status_ && pid_ > 0) {
        int status = 0;
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        } else if (r < 0) {
            status_ = -1;
        } else if (std::chrono::steady_clock::now() >= end) {
            break;
        } else {
            sleep_ms(10);
        }
    }
    if (pid_ <= 0) return -1;
    return status_;
}

void Process::signal(int signal_number) {
    if (running()) kill(pid_, signal_number);
}

bool Process::running() {
    return pid_ > 0 && !wait(0);
}

int run(const Command& command, int timeout_ms) {
    Process p(command);
    if (const auto status = p.wait(timeout_ms)) return *status;
    return -1;
}

std::string read_text(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

bool wait_for_text(const fs::path& path, const std::string& needle, int timeout_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (read_text(path).find(needle) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= end) return false;
        sleep_ms(20);
    }
    return true;
}

bool on_path(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty() && access((fs::path(dir) / program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

void sleep_ms(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

namespace {

bool pactl(const std::vector<std::string>& args) {
    Command c{{"pactl"}, {}, {}, {}};
    c.argv.insert(c.argv.end(), args.begin(), args.end());
    return run(c, 5000) == 0;
}

} // namespace

SoundServer::SoundServer() {
    if (const char* s = std::getenv("PULSE_SERVER")) saved_pulse_server_ = s;
    if (!on_path("pactl")) {
        skip_reason_ = "no sound server: pactl is not installed (Debian package pulseaudio-utils)";
        return;
    }
    if (start_private()) return;
    if (!pactl({"info"})) {
        skip_reason_ = "no sound server: 'pactl info' fails; start one with "
                       "tools/sound-server.sh start";
    }
}

SoundServer::~SoundServer() {
    stop();
}

bool SoundServer::start_private() {
    if (!on_path("pulseaudio")) return false;
    char name[] = "/tmp/quavel-pa-XXXXXX";
    if (mkdtemp(name) == nullptr) return false;
    dir_ = name;
    const std::string socket = (dir_ / "native").string();
    Command c{{"pulseaudio", "-n", "--daemonize=no", "--use-pid-file=no", "--system=no",
               // Gone by itself should the test program die without stopping it.
               "--exit-idle-time=60", "--log-target=stderr",
               "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket,
               "--load=module-null-sink sink_name=quavel_sink rate=8000 channels=1",
               "--load=module-remap-source source_name=quavel_mic master=quavel_sink.monitor"},
              {},
              dir_ / "log",
              {{"HOME", dir_.string()}, {"XDG_RUNTIME_DIR", dir_.string()}, {"PULSE_SERVER", ""}}};
    server_ = std::make_unique<Process>(c);
    setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!pactl({"info"})) {
        if (!server_->running() || std::chrono::steady_clock::now() >= end) {
            stop();
            return false;
        }
        sleep_ms(50);
    }
    pactl({"set-default-sink", "quavel_sink"});
    pactl({"set-default-source", "quavel_mic"});
    return true;
}

void SoundServer::stop() {
    if (server_) {
        server_->signal(SIGTERM);
        if (!server_->wait(5000)) server_->signal(SIGKILL);
        server_.reset();
    }
    if (saved_pulse_server_) {
        setenv("PULSE_SERVER", saved_pulse_server_->c_str(), 1);
    } else {
        unsetenv("PULSE_SERVER");
    }
    if (!dir_.empty()) {
        std::error_code ec;
        fs::remove_all(dir_, ec);
        dir_.clear();
    }
}

namespace {

// Loads a module into the answering server; its index, or nothing.
std::optional<std::string> load_module(const std::vector<std::string>& args) {
    std::vector<std::string> all{"load-module"};
    all.insert(all.end(), args.begin(), args.end());
    std::optional<std::string> index = pactl_output(all);
    while (index && !index->empty() && (index->back() == '\n' || index->back() == ' '))
        index->pop_back();
    if (!index || index->empty()) return std::nullopt;
    return index;
}

} // namespace

std::optional<std::string> pactl_output(const std::vector<std::string>& args) {
    char name[] = "/tmp/quavel-pactl-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return std::nullopt;
    close(fd);
    Command c{{"pactl"}, name, {}, {}};
    c.argv.insert(c.argv.end(), args.begin(), args.end());
    const bool ok = run(c, 5000) == 0;
    std::string out = read_text(name);
    fs::remove(name);
    if (!ok) return std::nullopt;
    return out;
}

std::pair<std::string, std::string> playing_stream(int timeout_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < end) {
        const auto inputs = pactl_output({"list", "short", "sink-inputs"});
        const auto sinks = pactl_output({"list", "short", "sinks"});
        if (inputs && sinks && !inputs->empty()) {
            // "INDEX\tSINK\t..." and "INDEX\tNAME\t...": the first stream's sink, by name.
            std::istringstream in(*inputs);
            std::string index, sink;
            std::getline(in, index, '\t');
            std::getline(in, sink, '\t');
            std::istringstream all(*sinks);
            for (std::string line; std::getline(all, line);) {
                if (line.rfind(sink + "\t", 0) == 0) {
                    const size_t from = sink.size() + 1;
                    return {line.substr(from, line.find('\t', from) - from),
                            pactl_output({"list", "sink-inputs"}).value_or("")};
                }
            }
        }
        sleep_ms(50);
    }
    return {};
}

DevicePair::DevicePair(const std::string& label) {
    const std::string pid = std::to_string(getpid());
    sink_id = "quavel_" + label + "_out_" + pid;
    source_id = "quavel_" + label + "_in_" + pid;
    sink_name = "Quavel" + label + "Out" + pid;
    source_name = "Quavel" + label + "In" + pid;
    if (auto m = load_module({"module-null-sink", "sink_name=" + sink_id, "rate=8000", "channels=1",
                              "sink_properties=device.description=" + sink_name}))
        modules_.push_back(*m);
    if (auto m = load_module({"module-remap-source", "source_name=" + source_id,
                              "master=" + sink_id + ".monitor",
                              "source_properties=device.description=" + source_name}))
        modules_.push_back(*m);
}

DevicePair::~DevicePair() {
    for (auto it = modules_.rbegin(); it != modules_.rend(); ++it)
        pactl({"unload-module", *it});
}

} // namespace quavel::test
