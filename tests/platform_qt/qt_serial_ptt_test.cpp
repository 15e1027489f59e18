#include <gtest/gtest.h>

#include <QFile>
#include <QSerialPort>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/devices/ptt_guard.h"
#include "platform/qt/qt_serial_ptt.h"
#include "qt_test_support.h"

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace quavel {
namespace {

// A pseudo-terminal: a real terminal device to open and lock, though without modem lines.
class Pty {
public:
    Pty() {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) == 0) path_ = name;
    }
    ~Pty() {
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
    }
    const std::string& path() const { return path_; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

class QtSerialPttPty : public ::testing::Test {
protected:
    void SetUp() override {
        if (pty_.path().empty()) GTEST_SKIP() << "no pseudo-terminal could be made";
        QtSerialPtt probe;
        if (!probe.open(pty_.path()))
            GTEST_SKIP() << "the serial port class will not open a pseudo-terminal: "
                         << probe.error();
    }
    Pty pty_;
};

TEST_F(QtSerialPttPty, OpensForItselfAloneAndReleasesOnClose) {
    QtSerialPtt first;
    ASSERT_TRUE(first.open(pty_.path())) << first.error();
    EXPECT_TRUE(first.is_open());
    EXPECT_NE(first.port(), nullptr);

    // The driver hangs up (drops RTS and DTR) on the last close, however the process ends.
    termios tio{};
    ASSERT_EQ(::tcgetattr(static_cast<int>(first.port()->handle()), &tio), 0);
    EXPECT_TRUE(tio.c_cflag & HUPCL);

    QtSerialPtt second;
    EXPECT_FALSE(second.open(pty_.path()));
    EXPECT_FALSE(second.is_open());
    EXPECT_NE(second.error().find(pty_.path() + ": busy"), std::string::npos) << second.error();

    // A port without modem lines refuses keying, and says so.
    EXPECT_FALSE(first.key(true));
    EXPECT_NE(first.error().find("cannot set RTS"), std::string::npos) << first.error();
    first.close();
    EXPECT_FALSE(first.is_open());
    EXPECT_FALSE(first.key(true)); // closed: nothing to key

    EXPECT_TRUE(second.open(pty_.path())) << second.error();
}

TEST_F(QtSerialPttPty, RefusesADeviceAnotherProgramHasLocked) {
    const int fd = ::open(pty_.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    QtSerialPtt ptt;
    EXPECT_FALSE(ptt.open(pty_.path()));
    ::close(fd);
    EXPECT_TRUE(ptt.open(pty_.path())) << ptt.error();
}

TEST_F(QtSerialPttPty, MappedComNameOpensTheMappedDevice) {
    ComPortMap map;
    std::string error;
    ASSERT_TRUE(map.add("COM2=" + pty_.path(), error)) << error;
    QtSerialPtt ptt(map);
    EXPECT_TRUE(ptt.open("COM2")) << ptt.error();
    EXPECT_EQ(ptt.device(), pty_.path());
    // Opening again closes the first port before taking the new one.
    EXPECT_TRUE(ptt.open("COM2")) << ptt.error();
}

TEST(QtSerialPtt, MissingDeviceIsAFailedOpenThatSaysSo) {
    QtSerialPtt ptt;
    EXPECT_FALSE(ptt.open("/dev/serial/by-id/quavel-no-such-port"));
    EXPECT_FALSE(ptt.is_open());
    EXPECT_EQ(ptt.error().rfind("/dev/serial/by-id/quavel-no-such-port: no such device", 0), 0u)
        << ptt.error();
    EXPECT_FALSE(ptt.key(true));
    ptt.close();
}

TEST(QtSerialPtt, APermissionProblemNamesTheDialoutGroup) {
    // root opens anything, so the advice is checked where it is made.
    const std::string why = serial_open_failure("/dev/null", "Permission denied");
    if (::access("/dev/null", R_OK | W_OK) == 0) {
        EXPECT_EQ(why, "/dev/null: Permission denied");
    }
    const std::string dir = ::testing::TempDir() + "quavel-locked-port";
    std::FILE* f = std::fopen(dir.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    ::chmod(dir.c_str(), 0);
    const std::string locked = serial_open_failure(dir, "Permission denied");
    if (::geteuid() != 0) {
        EXPECT_NE(locked.find("dialout"), std::string::npos) << locked;
    }
    ::unlink(dir.c_str());
}

// The crash guard, in a child copy of this program: a port is opened (and so watched), then the
// process dies by the signal named in QUAVEL_GUARD_SIGNAL, or by a stop request whose normal
// path never runs (0). The guard reports each port it released on standard output.
extern "C" void report_release(int fd, int) {
    char line[] = "released fd ?\n";
    line[12] = static_cast<char>('0' + fd % 10);
    [[maybe_unused]] const auto n = ::write(1, line, sizeof line - 1);
}

int die_keyed() {
    const int signal = qEnvironmentVariableIntValue("QUAVEL_GUARD_SIGNAL");
    const rlimit no_core{0, 0};
    ::setrlimit(RLIMIT_CORE, &no_core);
    char name[256] = {};
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return 20;
    QtSerialPtt ptt;
    if (!ptt.open(name)) return 21;
    ptt_guard_set_observer(report_release);
    std::printf("watching fd %d\n", static_cast<int>(ptt.port()->handle()) % 10);
    std::fflush(stdout);
    if (signal == 0) {
        ptt_guard_arm_deadline(SIGTERM, 1);
        ::sleep(30); // a window thread that never comes back
        return 22;
    }
    std::raise(signal);
    return 23;
}

[[maybe_unused]] const bool kGuardJob = test::register_child_job("die_keyed", die_keyed);

class PttGuardDeathRealTime : public ::testing::TestWithParam<int> {};

TEST_P(PttGuardDeathRealTime, DropsTheLinesThenDiesOfTheSignal) {
    QProcessEnvironment env;
    env.insert("QUAVEL_GUARD_SIGNAL", QString::number(GetParam()));
    auto child = test::start_child("die_keyed", env);
    ASSERT_TRUE(child->waitForFinished(20000));
    const std::string out = child->readAll().toStdString();
    EXPECT_EQ(child->exitStatus(), QProcess::CrashExit) << out;
    const size_t at = out.find("watching fd ");
    ASSERT_NE(at, std::string::npos) << out;
    const std::string fd = out.substr(at + 12, 1);
    EXPECT_NE(out.find("released fd " + fd), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(Signals, PttGuardDeathRealTime,
                         ::testing::Values(SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGQUIT, 0),
                         [](const auto& param_info) {
                             switch (param_info.param) {
                             case SIGSEGV:
                                 return std::string("Segv");
                             case SIGABRT:
                                 return std::string("Abrt");
                             case SIGBUS:
                                 return std::string("Bus");
                             case SIGFPE:
                                 return std::string("Fpe");
                             case SIGQUIT:
                                 return std::string("Quit");
                             default:
                                 return std::string("StopThatNeverReturns");
                             }
                         });

bool is_system_console(const std::string& device) {
    std::ifstream active("/sys/class/tty/console/active");
    std::string name;
    while (active >> name)
        if ("/dev/" + name == device) return true;
    return false;
}

// Real modem lines, read back from the driver. QUAVEL_SERIAL_TEST_DEVICE names the port to use;
// otherwise /dev/ttyS0 when it exists and is not the system console (keying the console's port
// could disturb whatever watches it).
TEST(QtSerialPttHardware, TheChosenLineFollowsKeyingAndTheOtherStaysInactive) {
    std::string device = qEnvironmentVariable("QUAVEL_SERIAL_TEST_DEVICE").toStdString();
    if (device.empty()) {
        device = "/dev/ttyS0";
        if (!QFile::exists(QString::fromStdString(device)))
            GTEST_SKIP() << device << " does not exist; set QUAVEL_SERIAL_TEST_DEVICE to a port";
        if (is_system_console(device))
            GTEST_SKIP() << device << " is the system console; set QUAVEL_SERIAL_TEST_DEVICE to "
                         << "a port that may be keyed";
    }
    QtSerialPtt ptt;
    if (!ptt.open(device)) GTEST_SKIP() << device << " cannot be opened: " << ptt.error();
    auto lines = [&] { return ptt.port()->pinoutSignals(); };
    EXPECT_FALSE(lines() & QSerialPort::DataTerminalReadySignal);
    EXPECT_FALSE(lines() & QSerialPort::RequestToSendSignal);
    EXPECT_TRUE(ptt.key(true)) << ptt.error();
    EXPECT_TRUE(lines() & QSerialPort::RequestToSendSignal);
    EXPECT_FALSE(lines() & QSerialPort::DataTerminalReadySignal);
    EXPECT_TRUE(ptt.key(false)) << ptt.error();
    EXPECT_FALSE(lines() & QSerialPort::RequestToSendSignal);
    EXPECT_FALSE(lines() & QSerialPort::DataTerminalReadySignal);
    // DTR keying holds RTS inactive instead.
    ptt.set_line(PttLine::Dtr);
    EXPECT_TRUE(ptt.key(true)) << ptt.error();
    EXPECT_TRUE(lines() & QSerialPort::DataTerminalReadySignal);
    EXPECT_FALSE(lines() & QSerialPort::RequestToSendSignal);
    EXPECT_TRUE(ptt.key(false)) << ptt.error();
    EXPECT_FALSE(lines() & QSerialPort::DataTerminalReadySignal);
}

} // namespace
} // namespace quavel
#endif
