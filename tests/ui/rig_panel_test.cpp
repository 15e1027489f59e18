// The "Sound & Rig" panel: reached from the menu beside "Set Up", it chooses the sound devices
// from the system's list, remembers them in the program's settings and points the sound card at
// them; Cancel changes nothing.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QMenuBar>
#include <QPushButton>
#include <gtest/gtest.h>

#include "platform/qt_audio_input.h"
#include "platform/qt_audio_output.h"
#include "ui/app_settings.h"
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

} // namespace
