// The keying method the operator chose, as the window applies it: CAT keying of a real rigctld
// (hamlib's dummy rig) through every way a transmission starts and ends, and the serial methods
// on a real terminal device.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <chrono>
#include <gtest/gtest.h>
#include <pty.h>
#include <thread>
#include <unistd.h>

#include "platform/hamlib/hamlib_ptt.h"
#include "platform/qt/qt_serial_ptt.h"
#include "support/rigctld.h"
#include "ui/rig_panel.h"
#include "ui_support.h"

namespace {

using Method = AppSettings::PttMethod;

class CatKeyingRealTime : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        if (!rig.skip_reason().empty()) GTEST_SKIP() << rig.skip_reason();
    }
    // The setup panel's port plays no part in CAT keying.
    void start() {
        write_file(dir.path(), "KEYSETUP.INI", "G4ABC NONE NONE");
        create_form();
        settings->set_ptt_method(Method::Cat);
        settings->set_rig_model(quavel::kHamlibNetModel);
        settings->set_rig_port(QString::fromStdString(rig.address()));
        form->set_keying_devices(nullptr, &cat);
        activate();
        ASSERT_TRUE(form->station().ptt_port_open()) << cat.error();
        ASSERT_EQ(rig.ptt(), false);
    }
    void play(int buffers) {
        for (int i = 0; i < buffers; ++i) {
            output.play_one();
            form->Timer2Timer();
        }
    }

    quavel::test::Rigctld rig;
    quavel::HamlibPtt cat;
};

TEST_F(CatKeyingRealTime, TxOnKeysTheRigAndTxOffReleasesIt) {
    start();
    form->Button1->click();
    form->station().settle_keying();
    play(2);
    form->station().settle_keying();
    EXPECT_EQ(rig.ptt(), true);
    form->Button1->click();
    form->station().settle_keying();
    EXPECT_EQ(rig.ptt(), false);
    EXPECT_TRUE(messages.messages().empty());
}

TEST_F(CatKeyingRealTime, TheWatchdogReleasesTheRig) {
    start();
    form->station().set_watchdog(std::chrono::milliseconds(300));
    form->Button1->click();
    form->station().settle_keying();
    EXPECT_EQ(rig.ptt(), true);
    std::this_thread::sleep_for(std::chrono::milliseconds(350));
    form->Timer2Timer();
    form->station().settle_keying();
    EXPECT_EQ(rig.ptt(), false);
    EXPECT_EQ(form->Button1->text(), "Tx ON");
}

TEST_F(CatKeyingRealTime, ALostPlaybackReleasesTheRig) {
    start();
    form->Button1->click();
    form->station().settle_keying();
    play(1);
    output.gone = true;
    form->Timer2Timer();
    form->station().settle_keying();
    EXPECT_EQ(rig.ptt(), false);
    EXPECT_EQ(form->Button1->text(), "Tx ON");
}

class RefusingOutput : public SteppedOutput {
public:
    bool open(Done) override { return false; }
};

TEST_F(CatKeyingRealTime, APlaybackThatCannotOpenNeverKeysTheRig) {
    start();
    RefusingOutput refusing;
    form->station().set_audio_output(&refusing);
    form->Button1->click();
    form->station().settle_keying();
    EXPECT_EQ(rig.ptt(), false);
    form->Button1->click();
    form->station().settle_keying();
    EXPECT_EQ(rig.ptt(), false);
    form->station().set_audio_output(&output);
}

TEST_F(CatKeyingRealTime, ChosenInTheSoundAndRigPanelItKeysFromTheNextTransmission) {
    write_file(dir.path(), "KEYSETUP.INI", "G4ABC NONE NONE");
    create_form();
    quavel::QtSerialPtt serial;
    form->set_keying_devices(&serial, &cat);
    activate();
    EXPECT_FALSE(form->station().ptt_port_open()); // RTS on the panel's "NONE"

    form->SoundRig1->trigger();
    RigPanel* panel = form->rig_panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(panel->RigPort->isEnabled());
    panel->PttMethod->setCurrentIndex(
        panel->PttMethod->findData(AppSettings::ptt_method_name(Method::Cat)));
    EXPECT_TRUE(panel->RigPort->isEnabled());
    EXPECT_FALSE(panel->PttDevice->isEnabled());
    panel->RigModel->setValue(quavel::kHamlibNetModel);
    panel->RigPort->setText(QString::fromStdString(rig.address()));
    panel->Watchdog->setValue(0);
    panel->Buttons->button(QDialogButtonBox::Ok)->click();
    form->station().settle_keying();

    EXPECT_EQ(settings->ptt_method(), Method::Cat);
    EXPECT_EQ(settings->rig_port().toStdString(), rig.address());
    EXPECT_EQ(settings->watchdog_minutes(), 0);
    ASSERT_TRUE(form->station().ptt_port_open()) << cat.error();
    form->Button1->click();
    form->station().settle_keying();
    EXPECT_EQ(rig.ptt(), true);
    form->Button1->click();
    form->station().settle_keying();
    EXPECT_EQ(rig.ptt(), false);
    form.reset(); // before the serial adapter it was given
}

using CatKeying = FormTest;

TEST_F(CatKeying, ARigThatDoesNotAnswerIsReportedAtStartUp) {
    create_form();
    settings->set_ptt_method(Method::Cat);
    settings->set_rig_port("127.0.0.1:1"); // nothing listens there
    quavel::HamlibPtt cat;
    form->set_keying_devices(nullptr, &cat);
    activate();
    ASSERT_FALSE(messages.messages().empty());
    const std::string& text = messages.messages().back().text;
    // A rig is named as a rig, not as a COM port.
    EXPECT_EQ(text.rfind("Cannot reach the rig\nrig model 2", 0), 0u) << text;
    EXPECT_NE(text.find("127.0.0.1:1"), std::string::npos) << text;
    EXPECT_FALSE(form->station().ptt_port_open());
    form.reset(); // before the adapter it was given
}

// The serial methods on a pseudo-terminal: a real terminal device, though one without modem
// lines, so what is checked is which device and line the window sets up.
struct SerialCase {
    const char* name;
    Method method;
    bool device_path; // the keying device set as a path, not the panel's COMn
    bool opened;
    quavel::PttLine line;
};

class SerialKeying : public FormTest, public ::testing::WithParamInterface<SerialCase> {};

TEST_P(SerialKeying, TheChosenMethodOpensItsDevice) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    const SerialCase& c = GetParam();
    ConsoleOptions options;
    std::string error;
    ASSERT_TRUE(options.com_ports.add(std::string("COM4=") + name, error));
    quavel::QtSerialPtt serial(options.com_ports);
    write_file(dir.path(), "KEYSETUP.INI", "G4ABC COM4 NONE");
    create_form(options);
    settings->set_ptt_method(c.method);
    if (c.device_path) settings->set_ptt_device(name);
    form->set_keying_devices(&serial, nullptr);
    activate();
    EXPECT_EQ(serial.is_open(), c.opened) << serial.error();
    EXPECT_EQ(form->station().ptt_port_open(), c.opened);
    if (c.opened) {
        EXPECT_EQ(serial.device(), name);
        EXPECT_EQ(serial.line(), c.line);
    }
    form.reset();
    ::close(slave);
    ::close(master);
}

INSTANTIATE_TEST_SUITE_P(
    Methods, SerialKeying,
    ::testing::Values(SerialCase{"RtsOnThePanelsPort", Method::Rts, false, true,
                                 quavel::PttLine::Rts},
                      SerialCase{"DtrOnADevicePath", Method::Dtr, true, true, quavel::PttLine::Dtr},
                      SerialCase{"NoneForVox", Method::None, false, false, quavel::PttLine::Rts}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

} // namespace
