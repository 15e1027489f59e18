// The rig's dial beside the centre readout (read by CAT from a real rigctld, or typed under
// Sound & Rig) and identification on time as the window drives it.
#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <chrono>
#include <cmath>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <limits>
#include <string>

#include "platform/hamlib/hamlib_ptt.h"
#include "support/rigctld.h"
#include "ui/memo.h"
#include "ui/rig_frequency.h"
#include "ui/rig_panel.h"
#include "ui_support.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Formatted {
    const char* name;
    double hz;
    const char* text;
};

class DialFormat : public testing::TestWithParam<Formatted> {};

TEST_P(DialFormat, GroupsWholeHertzInThrees) {
    EXPECT_EQ(format_dial_hz(GetParam().hz), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Frequencies, DialFormat,
    testing::Values(Formatted{"Twenty", 14.07e6, "14.070.000"},
                    Formatted{"Forty", 7040500.4, "7.040.500"},
                    Formatted{"RoundsUp", 3579999.6, "3.580.000"},
                    Formatted{"Microwave", 10489.55e6, "10.489.550.000"},
                    Formatted{"Short", 999, "999"}, Formatted{"OneGroup", 1000, "1.000"},
                    Formatted{"Zero", 0, "0"}, Formatted{"Negative", -1, ""},
                    Formatted{"NotANumber", std::nan(""), ""},
                    Formatted{"Infinite", std::numeric_limits<double>::infinity(), ""}),
    [](const testing::TestParamInfo<Formatted>& param_info) {
        return std::string(param_info.param.name);
    });

TEST(DialSideband, FollowsTheRigsModeName) {
    EXPECT_EQ(sideband_of_mode("USB"), Sideband::Upper);
    EXPECT_EQ(sideband_of_mode("PKTUSB"), Sideband::Upper);
    EXPECT_EQ(sideband_of_mode("DIGU"), Sideband::Upper);
    EXPECT_EQ(sideband_of_mode("LSB"), Sideband::Lower);
    EXPECT_EQ(sideband_of_mode("PKTLSB"), Sideband::Lower);
    for (const char* other : {"CW", "CWR", "FM", "AM", ""})
        EXPECT_EQ(sideband_of_mode(other), std::nullopt) << other;
}

// Without CAT: the dial typed under Sound & Rig, remembered, and the RF frequency from it.
TEST_F(FormTest, ATypedDialGivesTheRfFrequencyOfTheCentre) {
    create_form();
    activate();
    form->DialTimerTick();
    EXPECT_EQ(form->rf_frequency_hz(), std::nullopt);
    EXPECT_TRUE(form->DialReadout->text().isEmpty());

    form->SoundRig1Click();
    RigPanel* panel = form->rig_panel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(panel->DialFrequency->isEnabled());
    panel->DialFrequency->setValue(7.0405);
    panel->DialSideband->setCurrentIndex(panel->DialSideband->findText("LSB"));
    panel->Buttons->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(settings->dial_frequency_hz(), 7040500);
    EXPECT_TRUE(settings->dial_lower_sideband());

    form->station().set_centre_frequency(1000);
    form->DialTimerTick();
    EXPECT_EQ(form->rf_frequency_hz(), 7039500.0);
    EXPECT_EQ(form->DialReadout->text(), "7.040.500 LSB  RF 7.039.500");
    EXPECT_EQ(form->DialReadout->short_text(), "7.040.500 LSB");
}

// The dial of a real rig, through the keying thread that keys it.
class DialByCatRealTime : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        if (!rig.skip_reason().empty()) GTEST_SKIP() << rig.skip_reason();
        ASSERT_TRUE(rig.set_dial(14'070'000, "USB"));
        write_file(dir.path(), "KEYSETUP.INI", "G4ABC NONE NONE");
        create_form();
        settings->set_ptt_method(AppSettings::PttMethod::Cat);
        settings->set_rig_model(quavel::kHamlibNetModel);
        settings->set_rig_port(QString::fromStdString(rig.address()));
        form->set_keying_devices(nullptr, &cat);
        activate();
        ASSERT_TRUE(form->station().ptt_port_open()) << cat.error();
        form->station().set_centre_frequency(1000);
    }
    void TearDown() override {
        form.reset(); // before the adapter it was given
        FormTest::TearDown();
    }
    // One tick to ask, the keying thread's answer, one tick to show it. Each tick that takes
    // an answer asks again: that read is let finish first, so what shows was asked now.
    void read() {
        form->station().settle_keying();
        form->DialTimerTick();
        form->station().settle_keying();
        form->DialTimerTick();
    }

    quavel::test::Rigctld rig;
    quavel::HamlibPtt cat;
};

TEST_F(DialByCatRealTime, FollowsTheRigsDialAndSideband) {
    read();
    EXPECT_EQ(form->DialReadout->text(), "14.070.000 USB  RF 14.071.000");
    EXPECT_EQ(form->rf_frequency_hz(), 14'071'000.0);
    ASSERT_TRUE(rig.set_dial(7'040'000, "LSB"));
    read();
    EXPECT_EQ(form->rf_frequency_hz(), 7'039'000.0);
    // Nothing is asked while transmitting; the last answer stands.
    form->Button1->click();
    form->station().settle_keying();
    form->DialTimerTick();
    EXPECT_FALSE(form->rig_frequency().read_outstanding());
    EXPECT_EQ(form->rf_frequency_hz(), 7'039'000.0);
    form->Button1->click();
    form->station().settle_keying();
    EXPECT_TRUE(messages.messages().empty());
}

TEST_F(DialByCatRealTime, ARigKilledMidRunReadsNoAnswer) {
    read();
    ASSERT_TRUE(form->rf_frequency_hz().has_value());
    rig.kill();
    read();
    EXPECT_EQ(form->DialReadout->text(), "dial: no answer");
    EXPECT_EQ(form->rf_frequency_hz(), std::nullopt);
}

// A keying thread held in a call (here by a task that waits for the test): the ticks go on
// without waiting, ask only once, and soon say the rig does not answer; the answer shows once
// the thread is free.
TEST_F(DialByCatRealTime, AHeldKeyingThreadNeverHoldsUpTheWindow) {
    read();
    std::promise<void> free;
    form->station().run_on_keying_thread([held = free.get_future().share()] { held.wait(); });
    for (int i = 0; i <= RigFrequency::kOverdueTicks; ++i) {
        form->DialTimerTick();
        EXPECT_TRUE(form->rig_frequency().read_outstanding());
    }
    EXPECT_EQ(form->DialReadout->text(), "dial: no answer");
    free.set_value();
    read();
    EXPECT_EQ(form->DialReadout->text(), "14.070.000 USB  RF 14.071.000");
}

// Identification on time, with the clock in the test's hands.
class IdentifyOnTime : public FormTest {
protected:
    void start(bool on) {
        write_file(dir.path(), "KEYSETUP.INI", "G4ABC COM1 NONE");
        create_form();
        form->station().set_identify_clock([this] { return now; });
        if (on) form->IdentifyEvery10->setChecked(true);
        activate();
    }
    // One transmission of `text`, played until it has gone out; then "Tx OFF".
    void transmit(const char* text) {
        form->Button1->click();
        form->station().settle_keying();
        form->Memo4->setPlainText(text);
        play_until([this] { return form->station().sent_and_idle(TForm1::kIdleTailSymbols); });
        form->Button1->click();
        form->station().settle_keying();
    }
    void play_until(const std::function<bool()>& done) {
        for (int i = 0; i < 2000 && !done(); ++i) {
            output.play_one();
            form->Timer2Timer();
        }
        ASSERT_TRUE(done());
    }

    Clock::time_point now = Clock::time_point{} + 1h;
};

TEST_F(IdentifyOnTime, IsOffByDefault) {
    start(false);
    EXPECT_FALSE(form->IdentifyEvery10->isChecked());
    transmit("TEST");
    EXPECT_EQ(form->Button1->text(), "Tx ON");
    EXPECT_FALSE(form->station().transmitting());
    EXPECT_FALSE(form->station().since_identified().has_value());
    form->DialTimerTick();
    EXPECT_TRUE(form->IdentifyReadout->text().isEmpty());
}

// Due: "Tx OFF" sends the Morse identification first, keyed, and the transmission then ends by
// itself, the transmitter released only after it.
TEST_F(IdentifyOnTime, WhenDueTheIdentificationEndsTheTransmission) {
    start(true);
    EXPECT_TRUE(settings->identify_on_time());
    transmit("TEST");
    EXPECT_EQ(form->Button1->text(), "Tx OFF");
    ASSERT_TRUE(form->station().transmitting());
    EXPECT_TRUE(ptt.keyed());
    play_until([this] { return form->Button1->text() == "Tx ON"; });
    form->station().settle_keying();
    EXPECT_FALSE(ptt.keyed());
    EXPECT_FALSE(form->station().transmitting());
    EXPECT_EQ(form->station().since_identified(), 0s);
    EXPECT_TRUE(messages.messages().empty());
}

// The callsign in typed text resets the clock; ten minutes on, the next "Tx OFF" identifies.
TEST_F(IdentifyOnTime, TheCallsignSentInTextResetsTheClock) {
    start(true);
    transmit("CQ DE g4abc K");
    EXPECT_EQ(form->Button1->text(), "Tx ON");
    now += 9min;
    form->DialTimerTick();
    EXPECT_EQ(form->IdentifyReadout->text(), "ID 9:00 ago");
    transmit("TEST");
    EXPECT_EQ(form->Button1->text(), "Tx ON");
    now += 2min;
    transmit("TEST");
    EXPECT_EQ(form->Button1->text(), "Tx OFF");
    // A second "Tx OFF" does not wait for the identification.
    form->Button1->click();
    form->station().settle_keying();
    EXPECT_EQ(form->Button1->text(), "Tx ON");
    EXPECT_FALSE(ptt.keyed());
}

} // namespace
