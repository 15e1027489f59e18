// Two consoles side by side: what one sends from its transmit pane, the other prints in its
// receive panes and its receive log, all through the windows' own handlers and timers' work.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

#include "platform/wav/wav_input.h"
#include "rx/memory_canvas.h"
#include "ui/canvas_view.h"
#include "ui/memo.h"
#include "ui/radio_group.h"
#include "ui/text_panes.h"
#include "ui_support.h"

namespace {

class Loopback : public FormTest {
protected:
    // Sends `typed` from the form under test at `speed_item`: the text typed into the transmit
    // pane, played until the pane is empty and a few idle symbols have followed.
    std::vector<int16_t> transmit(const QString& typed, int speed_item, uint32_t centre_hz = 1000,
                                  const std::function<void(TForm1&)>& created = {}) {
        create_form();
        if (created) created(*form);
        activate();
        form->RadioGroup3->button(speed_item)->click();
        form->station().set_centre_frequency(centre_hz);
        QTest::keyClicks(form->Memo4, typed);
        form->Button1->click();
        int trailing = 0;
        for (int guard = 0; guard < 2000 && trailing < 6; ++guard) {
            output.play_one();
            form->Timer2Timer();
            if (form->Memo4->toPlainText().isEmpty()) ++trailing;
        }
        form->Button1->click();
        return output.samples;
    }

    // A second console that receives `samples` as if captured, as fast as it can.
    std::unique_ptr<TForm1> receive(std::vector<int16_t> samples, int speed_item,
                                    ConsoleOptions options = {},
                                    AppSettings* app_settings = nullptr,
                                    const std::function<void(TForm1&)>& created = {}) {
        auto receiver = std::make_unique<TForm1>(messages, options, dir.path(), app_settings);
        if (created) created(*receiver);
        recording_ = std::make_unique<quavel::SampleInput>(
            std::make_unique<quavel::MemorySampleSource>(std::move(samples)), quavel::Pacing::Fast);
        receiver->station().set_audio_input(recording_.get());
        QEvent activation(QEvent::WindowActivate);
        QApplication::sendEvent(receiver.get(), &activation);
        receiver->RadioGroup3->button(speed_item)->click();
        // Hand the capture buffers over and run receive steps until the recording is used up
        // and the last symbols have gone through.
        int after_end = 0;
        for (int guard = 0; guard < 100000 && after_end < 64; ++guard) {
            if (!receiver->station().pump_devices()) ++after_end;
            receiver->Timer3Timer();
            receiver->Timer1Timer();
        }
        return receiver;
    }

    std::unique_ptr<quavel::SampleInput> recording_;
};

class LoopbackAtSpeed : public Loopback, public ::testing::WithParamInterface<int> {};

TEST_P(LoopbackAtSpeed, TypedTextArrivesInTheOtherConsole) {
    std::vector<int16_t> air = transmit("cq cq de g4abc k", GetParam());
    ASSERT_GT(air.size(), 0u);
    auto other = receive(std::move(air), GetParam());
    EXPECT_NE(other->Memo1->toPlainText().indexOf("CQ CQ DE G4ABC K"), -1)
        << other->Memo1->toPlainText().toStdString();
    // The second pane reads the same symbols in the second column: as many characters.
    EXPECT_EQ(other->Memo2->toPlainText().size(), other->Memo1->toPlainText().size());
    EXPECT_EQ(form->Memo5->toPlainText(), "CQ CQ DE G4ABC K");
    EXPECT_EQ(other->station().dropped_capture_blocks(), 0u);

    // The waterfall shows the signal inside the receive band: the darkest grey column lies
    // between the band-edge markers, and the image far outside the band stays light.
    const quavel::MemoryCanvas& waterfall = other->Image1->canvas();
    const quavel::Tuning& tuning = other->station().modem().tuning;
    std::vector<long> darkness(320, 0);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 320; ++x) {
            const uint32_t c = waterfall.pixel(x, y);
            const uint32_t r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
            if (r == g && g == b) darkness[x] += 255 - static_cast<long>(r);
        }
    }
    const auto darkest = std::max_element(darkness.begin(), darkness.end()) - darkness.begin();
    EXPECT_GE(darkest, static_cast<long>(tuning.marker_low) - 1);
    EXPECT_LE(darkest, static_cast<long>(tuning.marker_high) - 1);
    EXPECT_GT(darkness[darkest], 20 * 32); // visibly grey on average over the 20 lines
    for (int x : {0, 40, 310})
        EXPECT_LT(darkness[x], darkness[darkest] / 4) << "column " << x;
}

INSTANTIATE_TEST_SUITE_P(
    Speeds, LoopbackAtSpeed, ::testing::Values(0, 1, 2), [](const auto& param_info) {
        return "Speed" +
               std::to_string(quavel::kSpeedValues[static_cast<size_t>(param_info.param)]);
    });

TEST_F(Loopback, ReceiveLogHoldsWhatThePrimaryPanePrinted) {
    write_file(dir.path(), "rx.log", "earlier\n");
    std::vector<int16_t> air = transmit("test 123 test", 1);
    ConsoleOptions options;
    options.rx_log = path("rx.log").toStdString();
    auto other = receive(std::move(air), 1, options);
    const std::string printed = other->Memo1->toPlainText().toStdString();
    EXPECT_NE(printed.find("TEST 123 TEST"), std::string::npos) << printed;
    // The earlier log is kept; this run's copy follows under a header line of its own.
    const std::string log = read_file(dir.path(), "rx.log");
    ASSERT_EQ(log.rfind("earlier\n--- ", 0), 0u) << log;
    const size_t header_end = log.find(" ---\n");
    ASSERT_NE(header_end, std::string::npos) << log;
    EXPECT_NE(log.find("UTC  receiving  2 Quavel/sec  1000 Hz"), std::string::npos) << log;
    std::string text = log.substr(header_end + 5);
    std::erase(text, '\n');
    EXPECT_EQ(text, printed);
}

// The programs the window talks to follow the panes: every character printed or sent is told,
// in order, once.
TEST_F(Loopback, TheWindowTellsWhatItPrintedAndWhatItSent) {
    QString sent;
    std::vector<int16_t> air = transmit("cq de g4abc", 1, 1000, [&](TForm1& f) {
        QObject::connect(&f, &TForm1::text_sent, [&](const QString& t) { sent += t; });
    });
    EXPECT_EQ(sent, form->Memo5->toPlainText());
    QString printed[2];
    auto other = receive(std::move(air), 1, {}, nullptr, [&](TForm1& f) {
        QObject::connect(&f, &TForm1::text_received,
                         [&](int pane, const QString& t) { printed[pane] += t; });
    });
    EXPECT_TRUE(printed[0].contains(QStringLiteral("CQ DE G4ABC"))) << printed[0].toStdString();
    EXPECT_EQ(printed[0], receive_pane_text(*other->Memo1));
    EXPECT_EQ(printed[1], receive_pane_text(*other->Memo2));
}

// Sent 12 Hz above where the other console listens, beyond the classic AFC's reach: the
// weak-signal receiver, chosen in the settings, finds it, prints it, shows where it is and
// retunes the station onto it.
TEST_F(Loopback, WeakReceiverCopiesASignalOffTheTuningAndRetunesOntoIt) {
    std::vector<int16_t> air = transmit("cq cq de g4abc k", 1, 1012);
    AppSettings chosen(path("other.ini"));
    chosen.set_receiver(AppSettings::Receiver::Weak);
    auto other = receive(std::move(air), 1, {}, &chosen);
    EXPECT_TRUE(other->WeakReceiver1->isChecked());
    EXPECT_NE(other->Memo1->toPlainText().indexOf("CQ CQ DE G4ABC K"), -1)
        << other->Memo1->toPlainText().toStdString();
    EXPECT_NEAR(static_cast<int>(other->station().centre_hz()), 1012, 1);
    EXPECT_TRUE(other->WeakReadout->isVisibleTo(other.get()));
    EXPECT_TRUE(other->WeakReadout->text().startsWith("Weak 101"))
        << other->WeakReadout->text().toStdString();
    ASSERT_TRUE(other->Image1->marker().has_value());
    EXPECT_NEAR(*other->Image1->marker(), 217, 2); // 1012 Hz on the waterfall
}

TEST_F(Loopback, PrintingOffKeepsThePanesEmpty) {
    std::vector<int16_t> air = transmit("abc abc abc", 1);
    // The recording outlives the console that uses it.
    quavel::SampleInput recording(std::make_unique<quavel::MemorySampleSource>(std::move(air)),
                                  quavel::Pacing::Fast);
    auto other = std::make_unique<TForm1>(messages, ConsoleOptions{}, dir.path());
    other->station().set_audio_input(&recording);
    other->FormActivate();
    other->Button5->click();
    ASSERT_EQ(other->Button5->text(), "Print On");
    for (int guard = 0, after_end = 0; guard < 100000 && after_end < 64; ++guard) {
        if (!other->station().pump_devices()) ++after_end;
        other->Timer3Timer();
        other->Timer1Timer();
    }
    EXPECT_GT(other->station().receive_steps(), 10u);
    EXPECT_TRUE(other->Memo1->toPlainText().isEmpty());
    EXPECT_TRUE(other->Memo2->toPlainText().isEmpty());
}

TEST_F(Loopback, UnwritableLogIsReportedOnceAndReceptionGoesOn) {
    std::vector<int16_t> air = transmit("abc", 1);
    ConsoleOptions options;
    options.rx_log = path("no/such/folder/rx.log").toStdString();
    messages.clear();
    auto other = receive(std::move(air), 1, options);
    const auto about_log =
        std::count_if(messages.messages().begin(), messages.messages().end(),
                      [](const auto& m) { return m.text.find("rx.log") != std::string::npos; });
    EXPECT_EQ(about_log, 1);
    EXPECT_NE(other->Memo1->toPlainText().indexOf("ABC"), -1);
}

} // namespace
