// "Tx ON" and "Tx OFF" as the window runs them: the order in which capture, playback and the
// keying line change, the keying line across start-up and setup confirmations, what becomes of
// typed text and of the transmit queue, a playback or port that cannot be opened or is lost while
// transmitting, keying that fails, the watchdog, and the window closed in the middle of a
// transmission.
#include <QAction>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "ui/form_timer.h"
#include "ui/memo.h"
#include "ui/radio_group.h"
#include "ui_support.h"

namespace {

using Log = std::vector<std::string>;
// The keying device logs from the keying thread, the others from the window's.
std::mutex log_mutex;
void note(Log& log, std::string what) {
    const std::lock_guard lock(log_mutex);
    log.push_back(std::move(what));
}

class LoggedInput : public SilentInput {
public:
    explicit LoggedInput(Log& log) : log_(log) {}
    bool open(std::span<int16_t> buffers, Done done) override {
        note(log_, "capture open");
        return SilentInput::open(buffers, std::move(done));
    }
    void close() override {
        if (is_open) note(log_, "capture closed");
        SilentInput::close();
    }

private:
    Log& log_;
};

class LoggedOutput : public SteppedOutput {
public:
    explicit LoggedOutput(Log& log) : log_(log) {}
    bool open(Done done) override {
        if (fail) {
            note(log_, "playback refused");
            return false;
        }
        note(log_, "playback open");
        return SteppedOutput::open(std::move(done));
    }
    void queue(int index, std::span<const int16_t> buffer) override {
        note(log_, "queue " + std::to_string(index));
        SteppedOutput::queue(index, buffer);
    }
    void close() override {
        if (is_open) note(log_, "playback closed");
        SteppedOutput::close();
        gone = false;
    }
    bool fail = false;

private:
    Log& log_;
};

class LoggedPtt : public RecordingPtt {
public:
    explicit LoggedPtt(Log& log) : log_(log) {}
    bool open(const std::string& port) override {
        note(log_, "open " + port);
        return RecordingPtt::open(port);
    }
    bool key(bool on) override {
        note(log_, on ? "key" : "release");
        return RecordingPtt::key(on);
    }
    void close() override {
        note(log_, "close port");
        RecordingPtt::close();
    }

private:
    Log& log_;
};

class Switching : public FormTest {
protected:
    // Starts with a configuration naming `port`, which start-up opens.
    void start(const std::string& port) {
        write_file(dir.path(), "KEYSETUP.INI", "G4ABC " + port + " NONE");
        create_form();
        form->station().set_audio_input(&logged_input);
        form->station().set_audio_output(&logged_output);
        form->station().set_ptt(&logged_ptt);
        activate();
        settle();
        messages.clear();
        log.clear();
    }
    // Lets the keying thread finish what was asked, and the station act on its answers.
    void settle() { form->station().settle_keying(); }
    void click_tx() {
        form->Button1->click();
        settle();
    }
    // Timer2 ticks until the station has ended the transmission by itself (bounded).
    void tick_until_receiving() {
        for (int i = 0; i < 500 && form->station().transmitting(); ++i) {
            form->Timer2Timer();
            form->station().settle_keying(std::chrono::milliseconds(10));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        settle();
    }
    void expect_receiving() {
        EXPECT_EQ(form->Button1->text(), "Tx ON");
        EXPECT_FALSE(form->Timer2->isEnabled());
        EXPECT_TRUE(form->Timer1->isEnabled());
        EXPECT_TRUE(form->RadioGroup3->isEnabled());
        EXPECT_TRUE(form->SetUp1->isEnabled());
        EXPECT_TRUE(logged_input.is_open);
        EXPECT_FALSE(logged_output.is_open);
        EXPECT_FALSE(logged_ptt.keyed());
        EXPECT_FALSE(form->station().transmitting());
    }
    void confirm_setup(const std::string& port) {
        form->SetUp1->trigger();
        for (int i = 0; i < form->RadioGroup1->count(); ++i)
            if (form->RadioGroup1->button(i)->text().toStdString() == port)
                form->RadioGroup1->setItemIndex(i);
        form->BitBtn1->click();
        settle();
    }
    // One playback buffer played and refilled, as the device and Timer2 do it.
    void play(int buffers) {
        for (int i = 0; i < buffers; ++i) {
            logged_output.play_one();
            form->Timer2Timer();
        }
    }
    std::span<const int16_t> idle_symbol() const {
        const quavel::Modem& modem = form->station().modem();
        return std::span<const int16_t>(modem.transmit_bank.row(0)).first(modem.profile.N);
    }

    Log log;
    LoggedInput logged_input{log};
    LoggedOutput logged_output{log};
    LoggedPtt logged_ptt{log};
};

TEST_F(Switching, KeyedOnlyOncePlayingAndReleasedOnlyOnceReceivingAgain) {
    start("COM1");
    for (int cycle = 0; cycle < 2; ++cycle) {
        click_tx();
        EXPECT_EQ(log, (Log{"capture closed", "playback open", "queue 0", "queue 1", "key"}));
        EXPECT_TRUE(logged_ptt.keyed());
        play(3);
        log.clear();
        click_tx();
        // The sound is cut first; the release then runs on the keying thread while the
        // receiver restarts.
        ASSERT_EQ(log.size(), 3u);
        EXPECT_EQ(log[0], "playback closed");
        EXPECT_NE(std::ranges::find(log, "capture open"), log.end());
        EXPECT_NE(std::ranges::find(log, "release"), log.end());
        expect_receiving();
        log.clear();
    }
    EXPECT_EQ(logged_input.opens, 3);
    // Opened once, at start-up, without the setup panel.
    EXPECT_EQ(logged_ptt.opened, std::vector<std::string>{"COM1"});
    EXPECT_TRUE(messages.messages().empty());
}

TEST_F(Switching, ConfirmingWithNoneReleasesAndClosesThePort) {
    start("COM1");
    confirm_setup("NONE");
    EXPECT_EQ(log, (Log{"release", "close port"}));
    EXPECT_FALSE(form->station().ptt_port_open());
    click_tx();
    click_tx();
    EXPECT_TRUE(logged_ptt.keys == std::vector<bool>{false});
}

TEST_F(Switching, AnotherPortClosesTheFirstBeforeOpening) {
    start("COM1");
    confirm_setup("COM3");
    EXPECT_EQ(log, (Log{"release", "close port", "open COM3"}));
    log.clear();
    click_tx();
    EXPECT_EQ(log.back(), "key");
}

TEST_F(Switching, APortThatCannotBeOpenedIsReportedWithWhyAndNeverKeyed) {
    logged_ptt.refuse_open = true;
    start("COM2");
    // At start-up and again at each confirmation.
    confirm_setup("COM2");
    ASSERT_EQ(messages.messages().size(), 1u);
    const quavel::RecordedMessage& m = messages.messages()[0];
    EXPECT_EQ(m.text.rfind("Cannot open COM Port\n", 0), 0u) << m.text;
    EXPECT_NE(m.text.find("COM2: no such device"), std::string::npos) << m.text;
    EXPECT_EQ(m.title, "Vexmar Driftel Program");
    EXPECT_FALSE(form->station().ptt_port_open());
    click_tx();
    play(2);
    click_tx();
    EXPECT_TRUE(logged_ptt.keys.empty());
    EXPECT_EQ(logged_input.opens, 2);
}

TEST_F(Switching, APlaybackThatCannotBeOpenedNeverKeysButSwitchesEverythingElse) {
    start("COM1");
    logged_output.fail = true;
    click_tx();
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].text, "Cannot Open Audio Output Device");
    EXPECT_EQ(form->Button1->text(), "Tx OFF");
    EXPECT_FALSE(logged_input.is_open);
    EXPECT_TRUE(form->Timer2->isEnabled());
    EXPECT_FALSE(form->RadioGroup3->isEnabled());
    EXPECT_FALSE(logged_ptt.keyed());
    EXPECT_TRUE(std::ranges::find(logged_ptt.keys, true) == logged_ptt.keys.end());
    // Nothing is ever done, so nothing is sent; "Tx OFF" still brings the receiver back.
    form->Timer2Timer();
    click_tx();
    expect_receiving();
    EXPECT_EQ(messages.messages().size(), 1u);
}

// What the station notices by itself while transmitting: each ends the transmission through the
// stop sequence and tells the operator.
struct LostDevice {
    const char* name;
    void (*lose)(LoggedOutput&, LoggedPtt&);
    const char* message;
};

class LostWhileTransmitting : public Switching, public ::testing::WithParamInterface<LostDevice> {};

TEST_P(LostWhileTransmitting, ReleasesReturnsToReceivingAndTellsTheOperator) {
    start("COM1");
    QTest::keyClicks(form->Memo4, "abcdefgh");
    click_tx();
    play(2);
    log.clear();
    GetParam().lose(logged_output, logged_ptt);
    tick_until_receiving();
    // The sound is cut before the receiver restarts (a lost port is closed first).
    const auto cut = std::ranges::find(log, "playback closed");
    EXPECT_NE(std::find(cut, log.end(), "capture open"), log.end());
    expect_receiving();
    // Not the operator's "Tx OFF": what was not sent yet stays to be sent later.
    EXPECT_FALSE(form->Memo4->toPlainText().isEmpty());
    EXPECT_EQ(form->Memo5->toPlainText() + form->Memo4->toPlainText(), "ABCDEFGH");
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].text.rfind(GetParam().message, 0), 0u)
        << messages.messages()[0].text;
}

INSTANTIATE_TEST_SUITE_P(
    Devices, LostWhileTransmitting,
    ::testing::Values(LostDevice{"Playback", [](LoggedOutput& o, LoggedPtt&) { o.gone = true; },
                                 "The audio output stopped during the transmission"},
                      LostDevice{"KeyingPort", [](LoggedOutput&, LoggedPtt& p) { p.lose(); },
                                 "The keying port was lost during the transmission"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(Switching, AFailedKeyIsReportedAndAFailedReleaseLoudlyClosesThePort) {
    start("COM1");
    logged_ptt.refuse_key = true;
    click_tx();
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].text.rfind("Cannot key the transmitter", 0), 0u);
    EXPECT_FALSE(logged_ptt.keyed());
    // Never an over with the transmitter silently unkeyed: the transmission has ended.
    expect_receiving();
    messages.clear();
    // The refused key closed the port; it is opened again in the background.
    for (int i = 0; i < 500 && !form->station().ptt_port_open(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    settle();

    logged_ptt.refuse_key = false;
    logged_ptt.refuse_release = true;
    click_tx();
    EXPECT_TRUE(logged_ptt.keyed());
    click_tx();
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].icon, quavel::MessageIcon::Stop);
    EXPECT_EQ(messages.messages()[0].text.rfind("THE TRANSMITTER MAY STILL BE KEYED", 0), 0u);
    EXPECT_FALSE(logged_ptt.is_open()); // closing the port drops its lines
    EXPECT_FALSE(form->station().ptt_port_open());
}

// The watchdog runs on the wall clock: a short limit, then one more Timer2 tick. Whatever is
// being sent (text, the tune carrier, the identification), the transmission ends.
class SwitchingRealTime : public Switching,
                          public ::testing::WithParamInterface<QPushButton * TForm1::*> {};

TEST_P(SwitchingRealTime, TheWatchdogEndsTheTransmission) {
    start("COM1");
    form->station().set_watchdog(std::chrono::milliseconds(300));
    click_tx();
    if (GetParam() != nullptr) ((*form).*GetParam())->click();
    play(1);
    EXPECT_TRUE(logged_ptt.keyed());
    std::this_thread::sleep_for(std::chrono::milliseconds(350));
    form->Timer2Timer();
    settle();
    expect_receiving();
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_NE(messages.messages()[0].text.find("watchdog"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(TextTuneOrIdentification, SwitchingRealTime,
                         ::testing::Values(nullptr, &TForm1::Button9, &TForm1::Button3),
                         [](const auto& param_info) {
                             return std::string(param_info.param == nullptr            ? "Text"
                                                : param_info.param == &TForm1::Button9 ? "TuneUp"
                                                                                       : "CwId");
                         });

TEST_F(Switching, TextTypedWhileReceivingWaitsForTheNextTransmission) {
    start("NONE");
    QTest::keyClicks(form->Memo4, "ab");
    for (int i = 0; i < 5; ++i) {
        form->Timer1Timer();
        form->Timer3Timer();
        form->Timer2Timer();
    }
    EXPECT_EQ(form->Memo4->toPlainText(), "AB");
    EXPECT_TRUE(form->Memo5->toPlainText().isEmpty());
    click_tx();
    play(3);
    EXPECT_EQ(form->Memo5->toPlainText(), "AB");
    EXPECT_TRUE(form->Memo4->toPlainText().isEmpty());
}

TEST_F(Switching, UntakenTextAndQueuedSymbolsAreNotSentLater) {
    start("NONE");
    QTest::keyClicks(form->Memo4, "abcdefgh");
    click_tx();
    play(3);
    EXPECT_EQ(form->Memo5->toPlainText(), "ABC");
    click_tx();
    EXPECT_TRUE(form->Memo4->toPlainText().isEmpty());

    // The next transmission starts with an empty queue: nothing but the idle symbol.
    const size_t before = logged_output.samples.size();
    click_tx();
    play(4);
    const uint32_t n = form->station().profile().N;
    const std::span<const int16_t> sent(logged_output.samples.begin() + before,
                                        logged_output.samples.end());
    ASSERT_EQ(sent.size(), 6u * n);
    for (size_t b = 0; b < 6; ++b)
        EXPECT_TRUE(std::ranges::equal(sent.subspan(b * n, n), idle_symbol())) << "buffer " << b;
    EXPECT_EQ(form->Memo5->toPlainText(), "ABC");
}

TEST_F(Switching, TxOffIsAlwaysAtHandAlsoInTheMiddleOfATuneOrAnIdentification) {
    start("COM1");
    EXPECT_TRUE(form->Button1->isEnabled());
    click_tx();
    form->Button9->click();
    play(2);
    EXPECT_FALSE(form->Button9->isEnabled());
    EXPECT_TRUE(form->Button1->isEnabled());
    click_tx();
    EXPECT_EQ(form->Button1->text(), "Tx ON");
    EXPECT_TRUE(form->Button1->isEnabled());
    EXPECT_FALSE(logged_ptt.keyed());

    click_tx();
    form->Button3->click();
    play(1);
    EXPECT_FALSE(form->Button3->isEnabled());
    EXPECT_TRUE(form->Button1->isEnabled());
    click_tx();
    EXPECT_EQ(form->Button1->text(), "Tx ON");
    EXPECT_FALSE(logged_ptt.keyed());
    EXPECT_TRUE(logged_input.is_open);
}

TEST_F(Switching, ClosingTheWindowWhileTransmittingCutsTheSoundThenReleasesTheTransmitter) {
    start("COM1");
    QTest::keyClicks(form->Memo4, "cq cq");
    form->show();
    click_tx();
    play(2);
    log.clear();
    form->close();
    form.reset();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "playback closed");
    EXPECT_NE(std::ranges::find(log, "release"), log.end());
    EXPECT_FALSE(logged_output.is_open);
    EXPECT_FALSE(logged_input.is_open);
    EXPECT_FALSE(logged_ptt.keyed());
}

struct StoredTextButton {
    int number;
    QPushButton* TForm1::*button;
};

class StoredTexts : public Switching, public ::testing::WithParamInterface<StoredTextButton> {};

TEST_P(StoredTexts, EachButtonReadsItsOwnFileOrSaysItIsMissing) {
    start("NONE");
    const StoredTextButton b = GetParam();
    const QString name = QString::number(b.number) + ".TXT";
    QPushButton* button = (*form).*b.button;
    button->click();
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(
        messages.messages()[0],
        (quavel::RecordedMessage{name.toStdString() + " File Not Available",
                                 "Vexmar Quavel Program V2.5", quavel::MessageIcon::Warning}));
    EXPECT_TRUE(form->Memo4->toPlainText().isEmpty());
    // Written by the operator while the program runs: read at the next click.
    write_file(dir.path(), name,
               "Text " + std::to_string(b.number) + "!\r\n" + std::string(300, 'x'));
    button->click();
    // The line break stands as one blank; 255 characters are kept.
    const QString expected = "Text " + QString::number(b.number) + " " + QString(248, 'x');
    EXPECT_EQ(form->Memo4->toPlainText(), expected);
    EXPECT_EQ(messages.messages().size(), 1u);
}

// A FIFO named 1.TXT that nothing ever writes to, pressed while keyed: the press is refused at
// once, the transmission goes on playing and the transmitter stays under the window's control.
// Should the press wait on the FIFO, a rescuer opens its other end after a few seconds so the
// test ends and fails rather than hangs.
TEST_F(Switching, AStoredTextThatIsAFifoNeverHoldsTheWindowWhileKeyed) {
    start("COM1");
    const std::string fifo = (std::filesystem::path(dir.path().toStdString()) / "1.TXT").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    click_tx();
    ASSERT_TRUE(logged_ptt.keyed());
    std::atomic<bool> pressed{false}, rescued{false};
    std::thread rescuer([&] {
        for (int i = 0; i < 500 && !pressed; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (pressed) return;
        rescued = true;
        const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (fd >= 0) ::close(fd);
    });
    form->Button12->click();
    pressed = true;
    rescuer.join();
    EXPECT_FALSE(rescued) << "the press waited on the FIFO";
    // No box while on the air: it would keep the operator from "Tx OFF". It comes after.
    EXPECT_TRUE(messages.messages().empty());
    EXPECT_TRUE(form->Memo4->toPlainText().isEmpty());
    play(3);
    EXPECT_TRUE(form->station().transmitting());
    click_tx();
    EXPECT_FALSE(logged_ptt.keyed());
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].text, "1.TXT cannot be read: it is a FIFO, not a file");
}

INSTANTIATE_TEST_SUITE_P(Buttons, StoredTexts,
                         ::testing::Values(StoredTextButton{1, &TForm1::Button12},
                                           StoredTextButton{2, &TForm1::Button13},
                                           StoredTextButton{3, &TForm1::Button14}),
                         [](const auto& param_info) {
                             return "Text" + std::to_string(param_info.param.number);
                         });

} // namespace
