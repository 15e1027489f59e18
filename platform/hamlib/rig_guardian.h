// A rig released however the program ends: a small process of its own, started when a rig has
// been opened for CAT keying, that knows the rig's address (hamlib model, port, speed) and
// sets its PTT off when the program that started it goes away without saying goodbye: killed
// (SIGKILL included), crashed, aborted, or ended by a stop request's last-resort deadline.
//
// The guardian is the program's own executable run again with a hidden first argument, so
// each program's main() hands its arguments to rig_guardian_main() before anything else. The
// two processes share one socket: the program says "keyed" before it keys, "released" once a
// release has been confirmed, and "goodbye" when it closes the rig cleanly (the guardian then
// leaves without touching the rig). When the socket ends with no goodbye, the guardian opens
// the rig itself, sets PTT off unless it was last told "released", reads it back where the
// rig can tell, and exits: within about two seconds of the program's death.
//
// The guardian holds no descriptor of the program's but its socket (a serial port held open
// would keep the driver from dropping its lines), runs in a session of its own and ignores
// the stop signals, so a Ctrl+C or a hang-up that ends the program does not end it too.
// POSIX only; elsewhere no guardian is started and every call does nothing.
#pragma once

#include <optional>
#include <string>

namespace quavel {

inline constexpr const char* kRigGuardianArgument = "--rig-guardian";

// The very first thing in main(): when `argv` asks for the guardian, runs it and returns its
// exit status (0: the rig needed nothing or was released; 1: it could not be released);
// otherwise records that this executable can serve as the guardian and returns nothing.
std::optional<int> rig_guardian_main(int argc, char** argv);

// The executable started as the guardian (it must handle kRigGuardianArgument as above); empty
// starts none. rig_guardian_main sets this to the running executable; a test program, whose
// main knows no guardian, names one that does.
void set_rig_guardian_program(const std::string& path);
std::string rig_guardian_program();

// The program's end of one guardian, for one open rig. Its calls take no longer than a
// write to a socket, except start() and the ends, which wait for the guardian's process.
class RigGuardian {
public:
    RigGuardian() = default;
    ~RigGuardian(); // dismiss()
    RigGuardian(const RigGuardian&) = delete;
    RigGuardian& operator=(const RigGuardian&) = delete;

    // Starts a guardian for the rig and waits (up to 3 s) until it runs; false, with `error`
    // saying why, when it cannot be started. A guardian already running is dismissed first.
    // `port` as hamlib takes it (empty: the model's default), `speed_baud` 0 the rig's own.
    bool start(int model, const std::string& port, int speed_baud, std::string& error);
    bool running() const { return socket_ >= 0; }
    long pid() const { return pid_; }

    // Before keying (true) and after a release that succeeded (false). False when the guardian
    // has gone (it is reaped then, and running() turns false).
    bool tell_keyed(bool keyed);

    // The rig was closed cleanly: the guardian exits without touching it.
    void dismiss();
    // The program gives the rig up as a death would (after a release that failed): the
    // guardian releases the rig unless it was last told "released". Waits for it (about 2 s
    // at most).
    void abandon();

private:
    void end(bool goodbye);

    int socket_ = -1;
    long pid_ = -1;
};

} // namespace quavel
