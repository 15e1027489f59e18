// The Band Activity window: its list as the band receiver's stations come and go, and the
// window in the console, fed a recording of two consoles' transmissions, with a click on a
// station tuning the console to it.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <random>

#include "platform/wav/wav_input.h"
#include "ui/band_waterfall.h"
#include "ui/band_window.h"
#include "ui/memo.h"
#include "ui/radio_group.h"
#include "ui_support.h"

namespace {

using quavel::BandRows;
using quavel::BandStation;

std::time_t g_now = 1'000'000;
std::time_t fake_now() {
    return g_now;
}

BandStation station(uint32_t id, double hz, uint32_t speed = 2) {
    BandStation s;
    s.id = id;
    s.freq_hz = hz;
    s.speed = speed;
    s.locked = true;
    return s;
}

class BandRowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_now = 1'000'000;
        rows.set_clock(fake_now);
    }
    BandRows rows;
};

// A station the receiver lost and found again comes back with a new id.
struct Refound {
    const char* name;
    double first_hz;
    bool first_still_copied;
    double again_hz;
    size_t rows;
};

class BandRowsRefound : public BandRowsTest, public ::testing::WithParamInterface<Refound> {};

TEST_P(BandRowsRefound, TakesTheRowItHadOnlyWhenNearAndFree) {
    const Refound c = GetParam();
    const BandStation first = station(1, c.first_hz);
    rows.text(first, "CQ ");
    rows.update(std::vector{first});
    const BandStation again = station(2, c.again_hz);
    if (c.first_still_copied)
        rows.update(std::vector{first, again});
    else
        rows.update(std::vector{again});
    ASSERT_EQ(rows.rows().size(), c.rows);
    if (c.rows == 1) {
        EXPECT_EQ(rows.rows()[0].station_id, 2u);
        EXPECT_DOUBLE_EQ(rows.rows()[0].freq_hz, c.again_hz);
        EXPECT_EQ(rows.rows()[0].line, "CQ ");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BandRowsRefound,
    ::testing::Values(Refound{"WithinTenHzOfAFreeRow", 1500.0, false, 1508.0, 1},
                      Refound{"BelowItWithinTenHz", 1500.0, false, 1490.5, 1},
                      Refound{"BeyondTenHz", 1500.0, false, 1511.0, 2},
                      Refound{"BesideAStationStillCopied", 1500.0, true, 1505.0, 2}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(BandRowsTest, TheCallGivenAndEachLineEndedAreTold) {
    const BandStation s = station(1, 1200.0, 4);
    rows.text(s, "CQ CQ DE G4A");
    rows.text(s, "BC G4ABC K ");
    rows.update(std::vector{s});
    ASSERT_EQ(rows.rows().size(), 1u);
    EXPECT_EQ(rows.rows()[0].call, "G4ABC");
    rows.line({s, 9.0, "CQ CQ DE G4ABC G4ABC K"});
    rows.text(s, "QRZ");
    const std::vector<quavel::BandHeardLine> lines = rows.take_lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "CQ CQ DE G4ABC G4ABC K");
    EXPECT_EQ(lines[0].call, "G4ABC");
    EXPECT_EQ(lines[0].speed, 4u);
    // The latest text is the line being printed; the copy keeps the lines apart.
    EXPECT_EQ(rows.rows()[0].line, "QRZ");
    EXPECT_EQ(rows.rows()[0].text, "CQ CQ DE G4ABC G4ABC K \nQRZ");
}

TEST_F(BandRowsTest, RowsNotHeardForTheAgeGo) {
    const BandStation s = station(1, 900.0);
    rows.text(s, "TEST ");
    rows.update(std::vector{s});
    g_now += 9 * 60;
    rows.update({});
    EXPECT_EQ(rows.rows().size(), 1u);
    g_now += 2 * 60;
    EXPECT_TRUE(rows.update({}));
    EXPECT_TRUE(rows.rows().empty());
}

// ---- The window in the console.

// Seeded and the same on every platform: minstd's output is fixed by the standard.
void add_noise(std::vector<int16_t>& samples, int amplitude, uint32_t seed) {
    std::minstd_rand noise(seed);
    for (int16_t& s : samples) {
        const int n =
            static_cast<int>(noise() % static_cast<uint32_t>(2 * amplitude + 1)) - amplitude;
        s = static_cast<int16_t>(std::clamp(s + n, -32768, 32767));
    }
}

class BandWindowTest : public FormTest {
protected:
    // What a console sends of `typed` at speed item `speed_item`, tuned by `tune`, through its
    // own handlers, from Tx ON until a few idle symbols after the text.
    std::vector<int16_t> sent(const QString& typed, int speed_item, long long hz) {
        SilentInput quiet;
        SteppedOutput played;
        AppSettings own(path(QStringLiteral("sender.ini")));
        TForm1 sender(messages, {}, dir.path(), &own);
        sender.station().set_audio_input(&quiet);
        sender.station().set_audio_output(&played);
        QEvent activation(QEvent::WindowActivate);
        QApplication::sendEvent(&sender, &activation);
        sender.RadioGroup3->button(speed_item)->click();
        if (hz > quavel::kCentreMaxHz)
            sender.station().set_air_centre_frequency(hz);
        else
            sender.station().set_centre_frequency(hz);
        QTest::keyClicks(sender.Memo4, typed);
        sender.Button1->click();
        int trailing = 0;
        for (int guard = 0; guard < 4000 && trailing < 4; ++guard) {
            played.play_one();
            sender.Timer2Timer();
            if (sender.Memo4->toPlainText().isEmpty()) ++trailing;
        }
        sender.Button1->click();
        return played.samples;
    }

    // Two stations on the air at once, in noise, with a few seconds of noise before and after.
    std::vector<int16_t> two_stations() {
        const std::vector<int16_t> fast = sent("cq cq de g4abc g4abc k", 2, 1500);
        const std::vector<int16_t> slow = sent("qrz de dl1xyz dl1xyz k", 1, 700);
        const size_t lead = 4 * 8000;
        std::vector<int16_t> air(lead + std::max(fast.size(), slow.size()) + 8 * 8000, 0);
        for (size_t i = 0; i < fast.size(); ++i)
            air[lead + i] = static_cast<int16_t>(air[lead + i] + fast[i] * 2 / 5);
        for (size_t i = 0; i < slow.size(); ++i)
            air[lead + i] = static_cast<int16_t>(air[lead + i] + slow[i] * 2 / 5);
        add_noise(air, 400, 7);
        return air;
    }

    // The console under test with the band window open, receiving `air` as fast as it can.
    void start_receiving(std::vector<int16_t> air) {
        recording_ = std::make_unique<quavel::SampleInput>(
            std::make_unique<quavel::MemorySampleSource>(std::move(air)), quavel::Pacing::Fast);
        create_form();
        form->station().set_audio_input(recording_.get());
        activate();
        form->BandActivity1->trigger();
        ASSERT_TRUE(form->band_window()->isVisible());
    }
    // The console's timers at work on the recording until `done` or its end (and the last
    // symbols through). Returns `done`.
    bool run_until(const std::function<bool()>& done) {
        int after_end = 0;
        for (int guard = 0; guard < 200000 && after_end < 64; ++guard) {
            if (done()) return true;
            if (!form->station().pump_devices()) ++after_end;
            form->Timer3Timer();
            form->Timer1Timer();
        }
        return done();
    }

    // The table row of the station nearest `hz`, within 5 Hz.
    int row_near(double hz) const {
        QTableWidget* table = form->band_window()->table();
        for (int i = 0; i < table->rowCount(); ++i)
            if (std::abs(table->item(i, BandWindow::Audio)->text().toDouble() - hz) <= 5.0)
                return i;
        return -1;
    }

    std::unique_ptr<quavel::SampleInput> recording_;
};

TEST_F(BandWindowTest, EachStationGetsARowAndAClickTunesTheConsoleToIt) {
    start_receiving(two_stations());
    run_until([] { return false; });
    BandWindow& band = *form->band_window();
    QTableWidget* table = band.table();
    const int fast = row_near(1500);
    const int slow = row_near(700);
    ASSERT_GE(fast, 0) << form->band_window()->table()->rowCount() << " rows";
    ASSERT_GE(slow, 0) << form->band_window()->table()->rowCount() << " rows";
    EXPECT_EQ(table->item(fast, BandWindow::Speed)->text(), "4");
    EXPECT_EQ(table->item(fast, BandWindow::Call)->text(), "G4ABC");
    EXPECT_EQ(table->item(slow, BandWindow::Speed)->text(), "2");
    EXPECT_EQ(table->item(slow, BandWindow::Call)->text(), "DL1XYZ");

    // A click on the row: the centre, the speed and the weak-signal receiver.
    const long long fast_hz = std::llround(table->item(fast, BandWindow::Audio)->text().toDouble());
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                      table->visualItemRect(table->item(fast, BandWindow::Text)).center());
    EXPECT_EQ(form->station().centre_hz(), static_cast<quavel::CentreHz>(fast_hz));
    EXPECT_EQ(form->RadioGroup3->itemIndex(), 2);
    EXPECT_EQ(form->station().receiver(), quavel::ReceiverChoice::weak);
    EXPECT_TRUE(band.tuning_text().startsWith("Tuned to")) << band.tuning_text().toStdString();

    // A click on the other station's mark; it lies below the main waterfall, and the window
    // says so.
    const int x = band.waterfall()->x_of(table->item(slow, BandWindow::Audio)->text().toDouble());
    QTest::mouseClick(band.waterfall(), Qt::LeftButton, {}, QPoint(x + 2, 60));
    EXPECT_NEAR(form->station().centre_hz(), 700.0, 5.0);
    EXPECT_EQ(form->RadioGroup3->itemIndex(), 1);
    EXPECT_TRUE(band.tuning_text().contains("main waterfall")) << band.tuning_text().toStdString();
    // The speed changes started the capture ring's counts again; the window missed nothing.
    form->Timer1Timer();
    EXPECT_FALSE(band.findChild<QLabel*>("BandStatus")->text().contains("missed"));

    // A double click on a call puts it in the other-station field.
    const QRect call = table->visualItemRect(table->item(fast, BandWindow::Call));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, call.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, call.center());
    EXPECT_EQ(form->Memo6->toPlainText(), "G4ABC");
    // Its text, whole, can be copied.
    band.copy_text(table->item(fast, BandWindow::Audio)->data(Qt::UserRole).toUInt());
    EXPECT_TRUE(QGuiApplication::clipboard()->text().contains("DE G4ABC G4ABC"));
}

// Beyond 1900 Hz the classic receiver cannot follow: the weak-signal receiver copies the station's
// next over, the classic part stays at 1900 Hz, and the window says so.
TEST_F(BandWindowTest, BeyondTheClassicRangeTheWeakReceiverCopiesAndTheWindowSaysSo) {
    const std::vector<int16_t> first = sent("cq cq de g4abc g4abc k", 2, 2400);
    const std::vector<int16_t> second = sent("g4abc de dl1xyz ur 599 599 k", 2, 2400);
    std::vector<int16_t> air(4 * 8000, 0);
    air.insert(air.end(), first.begin(), first.end());
    air.insert(air.end(), 4 * 8000, 0);
    air.insert(air.end(), second.begin(), second.end());
    air.insert(air.end(), 6 * 8000, 0);
    for (int16_t& s : air)
        s = static_cast<int16_t>(s / 2);
    add_noise(air, 400, 11);
    start_receiving(std::move(air));
    QTableWidget* table = form->band_window()->table();
    ASSERT_TRUE(run_until([&] {
        const int row = row_near(2400);
        return row >= 0 && table->item(row, BandWindow::Call)->text() == "G4ABC";
    })) << form->band_window()->table()->rowCount()
        << " rows";
    form->band_window()->click_row(row_near(2400));
    EXPECT_NEAR(form->station().centre_hz(), 2400.0, 2.0);
    EXPECT_EQ(form->station().classic_centre_hz(), quavel::kCentreMaxHz);
    EXPECT_EQ(form->station().receiver(), quavel::ReceiverChoice::weak);
    const QString said = form->band_window()->tuning_text();
    EXPECT_TRUE(said.contains("classic receiver and the displays stay at 1900 Hz"))
        << said.toStdString();
    run_until([] { return false; });
    EXPECT_TRUE(form->Memo1->toPlainText().contains("DE DL1XYZ UR 599"))
        << form->Memo1->toPlainText().toStdString();
}

TEST_F(BandWindowTest, WhileTransmittingTheSpeedStaysAndTheWindowSaysSo) {
    create_form();
    activate();
    form->Button1->click(); // Tx ON
    ASSERT_TRUE(form->station().transmitting());
    const QString keyed = form->tune_to_band_station(1200.4, 4);
    EXPECT_EQ(form->station().centre_hz(), 1200u);
    EXPECT_EQ(form->RadioGroup3->itemIndex(), 1);
    EXPECT_TRUE(keyed.contains("speed stays at 2")) << keyed.toStdString();
    form->Button1->click();
}

TEST_F(BandWindowTest, OpenOrClosedAndTheAgeAreRemembered) {
    create_form();
    activate();
    EXPECT_FALSE(form->band_window()->isVisible());
    form->BandActivity1->trigger();
    form->band_window()->age_box()->setValue(30);
    form->band_window()->resize(640, 420);
    form->close();
    form.reset();

    create_form();
    activate();
    ASSERT_TRUE(form->band_window()->isVisible());
    EXPECT_TRUE(form->BandActivity1->isChecked());
    EXPECT_EQ(form->band_window()->size(), QSize(640, 420));
    EXPECT_EQ(form->band_window()->age_box()->value(), 30);
    // Closed by the operator, it stays closed at the next start.
    form->band_window()->close();
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->BandActivity1->isChecked());
    form->close();
    form.reset();
    create_form();
    activate();
    EXPECT_FALSE(form->band_window()->isVisible());
}

} // namespace
