// The "Sound & Rig" panel: reached from the menu beside "Set Up", it chooses the sound devices
// from the system's list, remembers them in the program's settings and points the sound card at
// them; Cancel changes nothing. Its keying section is the one place keying is set: Set Up's port
// with it, the rig by maker and model, a keying that would transmit unkeyed refused or shown,
// and tests that report what the rig or the port answered.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include "platform/hamlib/hamlib_ptt.h"
#include "platform/hamlib/hamlib_rigs.h"
#include "platform/qt/qt_audio_input.h"
#include "platform/qt/qt_audio_output.h"
#include "platform/qt/qt_serial_ptt.h"
#include "support/qt_wait.h"
#include "support/rigctld.h"
#include "ui/app_settings.h"
#include "ui/radio_group.h"
#include "ui/rig_panel.h"
#include "ui_support.h"

namespace {

class SoundRigPanel : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        write_file(dir.path(), "KEYSETUP.INI", "G4ABC NONE NONE");
        create_form();
        form->set_sound_devices(&sound_input, &sound_output);
    }
    RigPanel* open_panel() {
        form->SoundRig1->trigger();
        return form->rig_panel();
    }
    static void click(RigPanel* panel, QDialogButtonBox::StandardButton which) {
        panel->Buttons->button(which)->click();
    }

    quavel::QtAudioInput sound_input;
    quavel::QtAudioOutput sound_output;
};

TEST_F(SoundRigPanel, MenuItemSitsRightAfterSetUpAndOpensOnePanel) {
    const QList<QAction*> top = form->MainMenu1->actions();
    ASSERT_EQ(top.indexOf(form->SoundRig1), top.indexOf(form->SetUp1) + 1);
    EXPECT_EQ(form->SoundRig1->text(), "Sound && &Rig");
    RigPanel* panel = open_panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->windowTitle(), RigPanel::kTitle);
    EXPECT_EQ(panel->InputDevice->itemText(0), RigPanel::kSystemDefault);
    EXPECT_EQ(panel->OutputDevice->itemText(0), RigPanel::kSystemDefault);
    // A second click brings the open panel forward rather than a second one.
    EXPECT_EQ(open_panel(), panel);
}

TEST_F(SoundRigPanel, ARememberedDeviceThatIsGoneStaysChosenUntilTheOperatorChangesIt) {
    settings->set_output_device("usb_codec_unplugged");
    settings->set_input_device("usb_codec_unplugged_mic");
    sound_output.set_device("usb_codec_unplugged");
    RigPanel* panel = open_panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->OutputDevice->currentText(), "usb_codec_unplugged (not present)");

    // Confirming unchanged forgets nothing.
    click(panel, QDialogButtonBox::Ok);
    EXPECT_EQ(settings->output_device(), "usb_codec_unplugged");
    EXPECT_EQ(settings->input_device(), "usb_codec_unplugged_mic");

    panel = open_panel();
    ASSERT_NE(panel, nullptr);
    panel->OutputDevice->setCurrentIndex(0);
    click(panel, QDialogButtonBox::Ok);
    EXPECT_EQ(settings->output_device(), "");
    EXPECT_EQ(sound_output.device(), QByteArray());
    // The input was not touched, so capture was not reopened on it.
    EXPECT_EQ(settings->input_device(), "usb_codec_unplugged_mic");
    EXPECT_EQ(sound_input.device(), QByteArray());
    // Stored in the file, not only in memory.
    EXPECT_EQ(AppSettings(path("quavel.ini")).output_device(), "");
}

TEST_F(SoundRigPanel, CancelChangesNothing) {
    settings->set_output_device("rig_out");
    RigPanel* panel = open_panel();
    ASSERT_NE(panel, nullptr);
    panel->OutputDevice->setCurrentIndex(0);
    click(panel, QDialogButtonBox::Cancel);
    EXPECT_EQ(settings->output_device(), "rig_out");
    EXPECT_EQ(sound_output.device(), QByteArray());
}

using Method = AppSettings::PttMethod;

void choose(QComboBox* box, const QString& data) {
    const int at = box->findData(data);
    ASSERT_GE(at, 0) << data.toStdString();
    box->setCurrentIndex(at);
}
void choose_method(RigPanel* panel, Method method) {
    choose(panel->PttMethod, AppSettings::ptt_method_name(method));
}

TEST_F(SoundRigPanel, TheRigChosenByMakerAndModelIsRememberedByItsNumber) {
    settings->set_rig_model(quavel::kHamlibNetModel);
    RigPanel* panel = open_panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->RigMaker->currentText(), "Hamlib");
    EXPECT_EQ(panel->RigName->currentText(), "NET rigctl");
    EXPECT_EQ(panel->RigModel->value(), quavel::kHamlibNetModel);

    panel->RigName->setCurrentIndex(panel->RigName->findText("Dummy"));
    EXPECT_EQ(panel->RigModel->value(), quavel::kHamlibDummyModel);
    click(panel, QDialogButtonBox::Ok);
    EXPECT_EQ(AppSettings(path("quavel.ini")).rig_model(), quavel::kHamlibDummyModel);

    // Another maker's first model, and a number typed: the choosers follow each other.
    panel = open_panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->RigName->currentText(), "Dummy");
    const quavel::RigModelInfo other = quavel::hamlib_rigs().back();
    panel->RigMaker->setCurrentIndex(
        panel->RigMaker->findText(QString::fromStdString(other.maker)));
    EXPECT_EQ(panel->RigName->currentText().toStdString(),
              quavel::hamlib_rig(panel->RigModel->value())->name);
    panel->RigModel->setValue(quavel::kHamlibNetModel);
    EXPECT_EQ(panel->RigMaker->currentText(), "Hamlib");
    EXPECT_EQ(panel->RigName->currentText(), "NET rigctl");
    click(panel, QDialogButtonBox::Cancel);
}

TEST_F(SoundRigPanel, ARememberedNumberHamlibDoesNotListIsKept) {
    settings->set_rig_model(999999);
    RigPanel* panel = open_panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->RigModel->value(), 999999);
    EXPECT_EQ(panel->RigName->count(), 0);
    click(panel, QDialogButtonBox::Ok);
    EXPECT_EQ(settings->rig_model(), 999999);
}

// What OK does with a keying changed into each combination (Set Up's port at "NONE" first).
struct KeyingCase {
    const char* name;
    Method method;
    const char* port;   // Set Up's port chosen in the panel
    const char* device; // a device path instead
    bool unkeyed;       // refused, with the warning
};

class SoundRigKeying : public SoundRigPanel, public ::testing::WithParamInterface<KeyingCase> {};

TEST_P(SoundRigKeying, AKeyingThatWouldTransmitUnkeyedIsRefusedWithItsReason) {
    const KeyingCase& c = GetParam();
    settings->set_ptt_method(Method::Cat);
    RigPanel* panel = open_panel();
    ASSERT_NE(panel, nullptr);
    choose_method(panel, c.method);
    choose(panel->SetupPort, c.port);
    panel->PttDevice->setText(c.device);
    EXPECT_EQ(panel->KeyingWarning->isVisibleTo(panel), c.unkeyed);
    click(panel, QDialogButtonBox::Ok);
    if (c.unkeyed) {
        EXPECT_EQ(form->rig_panel(), panel);
        EXPECT_TRUE(panel->isVisible());
        EXPECT_TRUE(panel->KeyingWarning->text().startsWith(
            "Not confirmed: no port, nothing would key the"))
            << panel->KeyingWarning->text().toStdString();
        EXPECT_EQ(settings->ptt_method(), Method::Cat);
        click(panel, QDialogButtonBox::Cancel);
    } else {
        EXPECT_FALSE(panel->isVisible());
        EXPECT_EQ(settings->ptt_method(), c.method);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Combinations, SoundRigKeying,
    ::testing::Values(KeyingCase{"RtsWithoutAPort", Method::Rts, "NONE", "", true},
                      KeyingCase{"DtrWithoutAPort", Method::Dtr, "NONE", "", true},
                      KeyingCase{"DtrOnADevicePath", Method::Dtr, "NONE", "/dev/ttyUSB7", false},
                      KeyingCase{"VoxNeedsNoPort", Method::None, "NONE", "", false}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(SoundRigPanel,
       AnUnkeyedKeyingFromBeforeIsShownHereAndInTheWindowButLetsOtherChangesThrough) {
    quavel::QtSerialPtt serial;
    form->set_keying_devices(&serial, nullptr);
    activate();
    form->Timer3Timer();
    EXPECT_FALSE(form->KeyingReadout->isHidden());
    EXPECT_EQ(form->KeyingReadout->text(), "PTT: no port");
    RigPanel* panel = open_panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->KeyingWarning->isVisibleTo(panel));
    panel->OutputDevice->setCurrentIndex(0);
    click(panel, QDialogButtonBox::Ok);
    EXPECT_FALSE(panel->isVisible());
    // VOX chosen: nothing is wrong any more.
    panel = open_panel();
    ASSERT_NE(panel, nullptr);
    choose_method(panel, Method::None);
    click(panel, QDialogButtonBox::Ok);
    form->Timer3Timer();
    EXPECT_TRUE(form->KeyingReadout->isHidden());
    form.reset(); // before the adapter it was given
}

TEST_F(SoundRigPanel, SetUpsPortChosenHereIsWrittenAsSetUpWritesIt) {
    activate();
    RigPanel* panel = open_panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->SetupPort->currentData().toString(), "NONE");
    choose(panel->SetupPort, "COM2");
    click(panel, QDialogButtonBox::Ok);
    EXPECT_EQ(read_file(dir.path(), "KEYSETUP.INI"), "G4ABC COM2 NONE");
    EXPECT_EQ(form->station().settings().port_name, "COM2");
    form->SetUp1Click();
    EXPECT_EQ(form->RadioGroup1->itemIndex(), 1);
    // And Set Up's own choice shows here.
    form->RadioGroup1->setItemIndex(2);
    form->BitBtn1Click();
    panel = open_panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->SetupPort->currentData().toString(), "COM3");
    click(panel, QDialogButtonBox::Cancel);
}

// The tests against a real rigctld (hamlib's dummy rig): through an adapter of the panel's own
// when the station holds another choice, and through the station's keying when it holds this.
class SoundRigTestRealTime : public SoundRigPanel {
protected:
    void SetUp() override {
        SoundRigPanel::SetUp();
        if (!rig.skip_reason().empty()) GTEST_SKIP() << rig.skip_reason();
    }
    void TearDown() override {
        form.reset(); // before the adapter it was given
        SoundRigPanel::TearDown();
    }
    void choose_rig(RigPanel* panel) {
        choose_method(panel, Method::Cat);
        panel->RigModel->setValue(quavel::kHamlibNetModel);
        panel->RigPort->setText(QString::fromStdString(rig.address()));
    }
    // Clicks a test button and waits for what it reports.
    std::string run(RigPanel* panel, QPushButton* button) {
        EXPECT_TRUE(button->isEnabled());
        button->click();
        EXPECT_FALSE(panel->Buttons->button(QDialogButtonBox::Ok)->isEnabled());
        EXPECT_TRUE(quavel::test::wait_until([panel] { return !panel->testing(); }));
        EXPECT_TRUE(panel->Buttons->button(QDialogButtonBox::Ok)->isEnabled());
        return panel->TestResult->text().toStdString();
    }
    std::string rig_name() const { return "rig model 2 (Hamlib NET rigctl) on " + rig.address(); }

    quavel::test::Rigctld rig;
    quavel::HamlibPtt cat;
};

TEST_F(SoundRigTestRealTime, TestCatReportsWhatTheRigShownAnswers) {
    RigPanel* panel = open_panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(panel->TestCat->isEnabled()); // RTS: nothing to ask
    choose_rig(panel);
    const std::string report = run(panel, panel->TestCat);
    EXPECT_EQ(report.rfind(rig_name() + " answers: ", 0), 0u) << report;
    EXPECT_NE(report.find(" MHz "), std::string::npos) << report;
    EXPECT_NE(report.find(", PTT off"), std::string::npos) << report;

    panel->RigPort->setText("127.0.0.1:1");
    EXPECT_EQ(run(panel, panel->TestCat),
              "rig model 2 (Hamlib NET rigctl) on 127.0.0.1:1: connection refused");
}

TEST_F(SoundRigTestRealTime, TestPttKeysTheRigShownForASecondAndReleasesIt) {
    RigPanel* panel = open_panel();
    ASSERT_NE(panel, nullptr);
    choose_rig(panel);
    EXPECT_EQ(run(panel, panel->TestPtt),
              rig_name() +
                  ": keyed for a second (the rig said PTT on) and released (the rig said PTT off)");
    EXPECT_EQ(rig.ptt(), false);
}

TEST_F(SoundRigTestRealTime, TheStationsOwnRigIsTestedThroughItsKeyingAndStaysOpen) {
    settings->set_ptt_method(Method::Cat);
    settings->set_rig_model(quavel::kHamlibNetModel);
    settings->set_rig_port(QString::fromStdString(rig.address()));
    form->set_keying_devices(nullptr, &cat);
    activate();
    ASSERT_TRUE(form->station().settle_keying());
    ASSERT_TRUE(form->station().ptt_port_open()) << cat.error();
    RigPanel* panel = open_panel();
    ASSERT_NE(panel, nullptr);
    const std::string report = run(panel, panel->TestCat);
    EXPECT_EQ(report.rfind(rig_name() + " answers: ", 0), 0u) << report;
    EXPECT_EQ(run(panel, panel->TestPtt),
              rig_name() +
                  ": keyed for a second (the rig said PTT on) and released (the rig said PTT off)");
    ASSERT_TRUE(form->station().settle_keying());
    EXPECT_TRUE(form->station().ptt_port_open());
    EXPECT_FALSE(form->station().keyed());
    EXPECT_EQ(rig.ptt(), false);
    // The same rig at another speed is the station's rig still: not opened a second time, and
    // said at once.
    panel->RigSpeed->setCurrentIndex(panel->RigSpeed->findData(9600));
    panel->TestCat->click();
    EXPECT_FALSE(panel->testing());
    EXPECT_NE(panel->TestResult->text().toStdString().find("is not opened a second time"),
              std::string::npos)
        << panel->TestResult->text().toStdString();
}

TEST_F(SoundRigTestRealTime, APanelClosedBeforeTheAnswerDropsIt) {
    RigPanel* panel = open_panel();
    ASSERT_NE(panel, nullptr);
    choose_rig(panel);
    panel->TestPtt->click();
    click(panel, QDialogButtonBox::Cancel);
    EXPECT_TRUE(quavel::test::wait_until([this] { return form->rig_panel() == nullptr; }));
    // The test's own adapter releases the rig as it finishes, with nobody to tell.
    EXPECT_TRUE(quavel::test::wait_until([this] { return rig.ptt() == false; }));
}

// A serial port the station does not hold: Test PTT opens it for itself, names the line and the
// device, and says what the port did (a pseudo-terminal has no modem lines to change).
TEST_F(SoundRigPanel, TestPttOnASerialPortTheStationDoesNotHoldNamesTheLineAndTheDevice) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    RigPanel* panel = open_panel();
    ASSERT_NE(panel, nullptr);
    choose_method(panel, Method::Dtr);
    panel->PttDevice->setText(name);
    panel->TestPtt->click();
    EXPECT_TRUE(quavel::test::wait_until([panel] { return !panel->testing(); }));
    const std::string report = panel->TestResult->text().toStdString();
    EXPECT_EQ(report.rfind(std::string("DTR of ") + name + ": ", 0), 0u) << report;
    click(panel, QDialogButtonBox::Cancel);
    ::close(slave);
    ::close(master);
}

} // namespace
