#include "platform/hamlib/rig_guardian.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/hamlib/hamlib_ptt.h"

#ifndef _WIN32
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#endif

namespace quavel {

namespace {

// What the program tells its guardian, one byte at a time.
constexpr char kReady = 'G';    // guardian to program: running
constexpr char kKeyed = 'K';    // about to key, or keyed and not yet released
constexpr char kReleased = 'R'; // a release the rig accepted
constexpr char kGoodbye = 'X';  // closed cleanly: leave the rig alone

// Where the guardian finds its socket.
constexpr int kGuardianSocket = 3;
constexpr int kStartTimeoutMs = 3000;
// A rig is released within about two seconds of the program's death: hamlib's own timeout is
// one second per call, so the retries stop early enough for one last try to finish.
constexpr auto kReleaseBudget = std::chrono::milliseconds(1800);
constexpr auto kRetryPause = std::chrono::milliseconds(50);

std::string guardian_program;

} // namespace

void set_rig_guardian_program(const std::string& path) {
    guardian_program = path;
}

std::string rig_guardian_program() {
    return guardian_program;
}

#ifndef _WIN32
namespace {

constexpr int kIgnoredSignals[] = {SIGINT, SIGHUP, SIGQUIT, SIGTERM, SIGPIPE};

void ignore_stop_signals() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (const int signal : kIgnoredSignals)
        sigaction(signal, &ignore, nullptr);
}

bool parse_int(const char* text, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0';
}

// Opens the rig as a program of this mode would (which sets PTT off) and reads it back. The
// program that died may still hold the rig's lock for the moment its descriptors take to close;
// once another program holds it, that program has opened the rig, released, and owns it now.
bool release_rig(int model, const std::string& port, int speed_baud, long parent,
                 std::string& outcome) {
    const auto give_up = std::chrono::steady_clock::now() + kReleaseBudget;
    for (;;) {
        HamlibPtt rig(model, speed_baud);
        if (rig.open(port)) {
            // Opening released the transmitter; a rig that can say so confirms it.
            bool still_keyed = rig.keyed();
            if (still_keyed && rig.key(false)) still_keyed = rig.keyed();
            if (!still_keyed) {
                outcome = rig.where() + " is released now";
                return true;
            }
            outcome = rig.where() + " still reports its transmitter keyed";
        } else if (const std::optional<long> holder = rig.in_use_by();
                   holder && *holder != parent && *holder != 0) {
            outcome =
                rig.where() + " was opened, and so released, by process " + std::to_string(*holder);
            return true;
        } else {
            outcome = rig.error();
        }
        if (std::chrono::steady_clock::now() >= give_up) return false;
        std::this_thread::sleep_for(kRetryPause);
    }
}

int run_guardian(int socket, int model, int speed_baud, const std::string& port) {
    ignore_stop_signals();
#ifdef __linux__
    prctl(PR_SET_NAME, "quavel-guard", 0, 0, 0);
#endif
    const long parent = static_cast<long>(::getppid());
    if (::send(socket, &kReady, 1, MSG_NOSIGNAL) != 1) return 0;
    bool keyed = false;
    for (;;) {
        char said = 0;
        const ssize_t got = ::read(socket, &said, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        if (said == kGoodbye) return 0;
        // Anything but a clear "released" counts as keyed: unsure is keyed.
        keyed = said != kReleased;
    }
    ::close(socket);
    if (!keyed) return 0;
    std::string outcome;
    const bool released = release_rig(model, port, speed_baud, parent, outcome);
    if (released) {
        std::fprintf(stderr,
                     "quavel rig guardian: the program ended with the transmitter keyed; %s\n",
                     outcome.c_str());
        return 0;
    }
    std::fprintf(stderr,
                 "quavel rig guardian: the program ended with the transmitter keyed and the rig "
                 "could not be released (%s): THE TRANSMITTER MAY STILL BE KEYED; check it now\n",
                 outcome.c_str());
    return 1;
}

// Waits up to `timeout_ms` for the guardian's process to end, then ends it.
void reap(pid_t pid, int timeout_ms) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        const pid_t done = ::waitpid(pid, nullptr, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) return;
        if (std::chrono::steady_clock::now() >= give_up) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace

std::optional<int> rig_guardian_main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], kRigGuardianArgument) != 0) {
#ifdef __linux__
        // The running executable itself, even once a newer one has replaced it on disk.
        set_rig_guardian_program("/proc/self/exe");
#endif
        return std::nullopt;
    }
    long socket = -1;
    long model = 0;
    long speed = 0;
    struct stat st {};
    if (argc != 6 || !parse_int(argv[2], socket) || !parse_int(argv[3], model) ||
        !parse_int(argv[4], speed) || socket < 0 || socket > 1024 ||
        ::fstat(static_cast<int>(socket), &st) != 0 || !S_ISSOCK(st.st_mode)) {
        std::fprintf(stderr, "%s is for the program's own use\n", kRigGuardianArgument);
        return 2;
    }
    return run_guardian(static_cast<int>(socket), static_cast<int>(model), static_cast<int>(speed),
                        argv[5]);
}

RigGuardian::~RigGuardian() {
    dismiss();
}

bool RigGuardian::start(int model, const std::string& port, int speed_baud, std::string& error) {
    dismiss();
    const std::string program = rig_guardian_program();
    if (program.empty()) {
        error = "no program to run as the rig's guardian";
        return false;
    }
    // Everything the child needs is made before the fork: between fork and exec it may only
    // make async-signal-safe calls, because another thread may hold the allocator's lock.
    std::vector<std::string> args = {"quavel-rig-guardian",           kRigGuardianArgument,
                                     std::to_string(kGuardianSocket), std::to_string(model),
                                     std::to_string(speed_baud),      port};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    rlimit files{};
    const int last_fd = ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY
                            ? static_cast<int>(std::min<rlim_t>(files.rlim_cur, 65536))
                            : 65536;
    sigset_t no_signals;
    sigemptyset(&no_signals);

    int pair[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        error = std::string("cannot start the rig's guardian: ") + std::strerror(errno);
        return false;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        // A session of its own: no terminal's Ctrl+C or hang-up reaches it.
        ::setsid();
        ignore_stop_signals();
        ::sigprocmask(SIG_SETMASK, &no_signals, nullptr);
        if (pair[1] == kGuardianSocket) {
            ::fcntl(kGuardianSocket, F_SETFD, 0);
        } else if (::dup2(pair[1], kGuardianSocket) != kGuardianSocket) {
            ::_exit(127);
        }
        // Standard error stays, for the guardian to say what it did; nothing is read or printed.
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, STDIN_FILENO);
            ::dup2(null, STDOUT_FILENO);
        }
        // Every other descriptor of the program's goes, its serial ports above all: a port the
        // guardian held open would keep the driver from dropping RTS and DTR on the last close.
        if (::close_range(kGuardianSocket + 1, ~0U, 0) != 0) {
            for (int fd = kGuardianSocket + 1; fd < last_fd; ++fd)
                ::close(fd);
        }
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    const int why = errno;
    ::close(pair[1]);
    if (pid < 0) {
        ::close(pair[0]);
        error = std::string("cannot start the rig's guardian: ") + std::strerror(why);
        return false;
    }
    socket_ = pair[0];
    pid_ = pid;
    pollfd ready{socket_, POLLIN, 0};
    int polled = 0;
    while ((polled = ::poll(&ready, 1, kStartTimeoutMs)) < 0 && errno == EINTR) {
    }
    char said = 0;
    if (polled != 1 || ::read(socket_, &said, 1) != 1 || said != kReady) {
        error = "the rig's guardian (" + program + ") did not start";
        ::close(socket_);
        socket_ = -1;
        ::kill(pid, SIGKILL);
        reap(pid, 0);
        pid_ = -1;
        return false;
    }
    return true;
}

bool RigGuardian::tell_keyed(bool keyed) {
    if (socket_ < 0) return false;
    const char said = keyed ? kKeyed : kReleased;
    // MSG_NOSIGNAL: a guardian that has gone fails the send, not the whole program by SIGPIPE.
    if (::send(socket_, &said, 1, MSG_NOSIGNAL) == 1) return true;
    end(false);
    return false;
}

void RigGuardian::end(bool goodbye) {
    if (socket_ < 0) return;
    if (goodbye) ::send(socket_, &kGoodbye, 1, MSG_NOSIGNAL);
    ::close(socket_);
    socket_ = -1;
    // A goodbye ends the guardian at once; without one it may first try the rig.
    reap(static_cast<pid_t>(pid_), goodbye ? 1000 : 3000);
    pid_ = -1;
}
#else
std::optional<int> rig_guardian_main(int, char**) {
    return std::nullopt;
}
RigGuardian::~RigGuardian() {}
bool RigGuardian::start(int, const std::string&, int, std::string& error) {
    error = "no rig guardian on this system";
    return false;
}
bool RigGuardian::tell_keyed(bool) {
    return false;
}
void RigGuardian::end(bool) {}
#endif

void RigGuardian::dismiss() {
    end(true);
}

void RigGuardian::abandon() {
    end(false);
}

} // namespace quavel
