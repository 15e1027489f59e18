#include <gtest/gtest.h>

#include <QFile>
#include <QSerialPort>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/qt_serial_ptt.h"

#ifndef _WIN32
#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
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

    QtSerialPtt second;
    EXPECT_FALSE(second.open(pty_.path()));
    EXPECT_FALSE(second.is_open());
    EXPECT_FALSE(second.error().empty());

    // Keying a port without modem lines changes nothing and does no harm.
    first.set_rts(true);
    first.set_rts(false);
    first.close();
    EXPECT_FALSE(first.is_open());
    first.set_rts(true); // closed: nothing to do

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

TEST(QtSerialPtt, MissingDeviceIsAFailedOpen) {
    QtSerialPtt ptt;
    EXPECT_FALSE(ptt.open("/dev/quavel-no-such-port"));
    EXPECT_FALSE(ptt.is_open());
    EXPECT_FALSE(ptt.error().empty());
    ptt.set_rts(true);
    ptt.close();
}

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
TEST(QtSerialPttHardware, RtsFollowsKeyingAndDtrStaysInactive) {
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
    ptt.set_rts(true);
    EXPECT_TRUE(lines() & QSerialPort::RequestToSendSignal);
    EXPECT_FALSE(lines() & QSerialPort::DataTerminalReadySignal);
    ptt.set_rts(false);
    EXPECT_FALSE(lines() & QSerialPort::RequestToSendSignal);
    EXPECT_FALSE(lines() & QSerialPort::DataTerminalReadySignal);
}

} // namespace
} // namespace quavel
#endif
