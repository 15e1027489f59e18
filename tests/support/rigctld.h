// hamlib's rigctld running its dummy rig on a loopback port of its own, for the tests that key
// by CAT: the real daemon a station would talk to, started by the test and killed with it.
// ptt() asks it, through hamlib's rigctl, whether the transmitter is keyed; set_ptt() keys or
// releases it and set_dial() tunes it as another program would. Where hamlib's
// programs are absent, skip_reason() says so.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

namespace quavel::test {

class Rigctld {
public:
    // `port` 0: a free one. `start_now` false: the port is chosen but nothing listens until
    // start() (a rig that is absent at first).
    explicit Rigctld(int port = 0, bool start_now = true) {
        if (std::system("command -v rigctld >/dev/null 2>&1 && command -v rigctl >/dev/null "
                        "2>&1") != 0) {
            skip_reason_ = "hamlib's rigctld and rigctl are not installed (libhamlib-utils)";
            return;
        }
        port_ = port != 0 ? port : free_port();
        if (start_now) start();
    }
    // Starts the daemon (again) on its port.
    void start() {
        const std::string port = std::to_string(port_);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            // -P RIG: the dummy rig only reports PTT when told it keys itself.
            ::execlp("rigctld", "rigctld", "-m", "1", "-P", "RIG", "-T", "127.0.0.1", "-t",
                     port.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 100 && !answers(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        // Listening comes before the rig is ready: a client that connects too soon has its
        // first command cut off ("broken pipe"), so the daemon counts as started once a
        // command is answered.
        for (int i = 0; i < 100 && answers() && !ptt().has_value(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!answers() || !ptt().has_value())
            skip_reason_ = "rigctld did not start on port " + port;
    }
    ~Rigctld() { kill(); }
    // Ends the daemon as a crash would.
    void kill() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGCONT);
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    // The daemon runs and takes connections.
    bool answers_now() const { return pid_ > 0 && answers(); }
    // A rig that stops answering, and answers again.
    void freeze() const {
        if (pid_ > 0) ::kill(pid_, SIGSTOP);
    }
    void thaw() const {
        if (pid_ > 0) ::kill(pid_, SIGCONT);
    }
    Rigctld(const Rigctld&) = delete;
    Rigctld& operator=(const Rigctld&) = delete;

    const std::string& skip_reason() const { return skip_reason_; }
    // "127.0.0.1:PORT", as hamlib's model 2 takes it.
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

    // The rig's own answer: keyed or not; nothing when it cannot be asked.
    std::optional<bool> ptt() const {
        const std::string command = "rigctl -m 2 -r " + address() + " t 2>/dev/null";
        std::FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr) return std::nullopt;
        char line[64] = {};
        const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
        const int status = ::pclose(pipe);
        if (!got || status != 0) return std::nullopt;
        return line[0] != '0';
    }

    // Keys (true) or releases the rig as another program on it would; false when it cannot.
    bool set_ptt(bool keyed) const {
        const std::string command =
            "rigctl -m 2 -r " + address() + " T " + (keyed ? "1" : "0") + " >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    }

    // Tunes the rig's dial to `hz` in `mode` ("USB", "LSB"...) as the operator's knob would;
    // false when it cannot.
    bool set_dial(long long hz, const std::string& mode) const {
        const std::string rig = "rigctl -m 2 -r " + address();
        return std::system((rig + " F " + std::to_string(hz) + " >/dev/null 2>&1").c_str()) == 0 &&
               std::system((rig + " M " + mode + " 2400 >/dev/null 2>&1").c_str()) == 0;
    }

private:
    static int free_port() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof addr;
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), size);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size);
        ::close(fd);
        return ntohs(addr.sin_port);
    }
    bool answers() const {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port_));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        return ok;
    }

    int port_ = 0;
    pid_t pid_ = -1;
    std::string skip_reason_;
};

// Waits up to `timeout_ms` for the rig to report itself keyed.
inline bool wait_until_keyed(const Rigctld& rig, int timeout_ms) {
    for (int waited = 0; waited < timeout_ms; waited += 100) {
        if (rig.ptt() == true) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// Waits up to `timeout_ms` for the rig to report itself released; its last answer.
inline std::optional<bool> wait_until_released(const Rigctld& rig, int timeout_ms) {
    std::optional<bool> ptt = rig.ptt();
    for (int waited = 0; waited < timeout_ms && ptt != false; waited += 50) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ptt = rig.ptt();
    }
    return ptt;
}

} // namespace quavel::test
