// What the console adds around the form for everyday operating: the centre-frequency readout,
// the transmit key, back to receive, the receive log's menu choice, the panes' font, the levels,
// the window that grows and the help viewer.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTextBrowser>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <numbers>

#include "platform/wav/wav_file.h"
#include "platform/wav/wav_input.h"
#include "rx/input_level.h"
#include "ui/canvas_view.h"
#include "ui/form_timer.h"
#include "ui/level_meter.h"
#include "ui/memo.h"
#include "ui/radio_group.h"
#include "ui/text_panes.h"
#include "ui_support.h"

namespace {

class Operating : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        create_form();
        activate();
        messages.clear();
    }
    void release_on_waterfall(int x) {
        const QPointF at(x, 10);
        QMouseEvent release(QEvent::MouseButtonRelease, at, form->Image1->mapToGlobal(at),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(form->Image1, &release);
    }
    // Shows the window and waits until it has the keyboard, as the operator's would.
    void show_active() {
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
};

TEST_F(Operating, CentreReadoutFollowsEveryRetuning) {
    EXPECT_EQ(form->CentreReadout->text(), "Centre 1000 Hz");
    release_on_waterfall(160);
    EXPECT_EQ(form->CentreReadout->text(), "Centre 957 Hz");
    // A speed change keeps the frequency; the readout stays right.
    form->RadioGroup3->button(0)->click();
    EXPECT_EQ(form->CentreReadout->text(), "Centre 957 Hz");
    // It sits in the menu line, beside the menus: none of the form's room is taken.
    EXPECT_EQ(form->CentreReadout->window(), form.get());
    EXPECT_FALSE(form->centralWidget()->isAncestorOf(form->CentreReadout));
}

TEST_F(Operating, TransmitKeyTogglesFromAnyControlAndTypesNothing) {
    show_active();
    form->Memo4->setFocus();
    QTest::keyClicks(form->Memo4, "cq");
    for (QWidget* focus : {static_cast<QWidget*>(form->Memo1), static_cast<QWidget*>(form->Memo6),
                           static_cast<QWidget*>(form->Button2)}) {
        focus->setFocus();
        QTest::keyClick(focus, TForm1::kTransmitKey);
        EXPECT_EQ(form->Button1->text(), "Tx OFF") << focus->objectName().toStdString();
        EXPECT_TRUE(form->station().transmitting());
        QTest::keyClick(QApplication::focusWidget(), TForm1::kTransmitKey);
        EXPECT_EQ(form->Button1->text(), "Tx ON");
        EXPECT_FALSE(form->station().transmitting());
    }
    EXPECT_TRUE(form->Memo6->toPlainText().isEmpty());
    EXPECT_TRUE(form->Memo1->toPlainText().isEmpty());
    EXPECT_TRUE(form->Button1->toolTip().contains("F9"));
}

// Back to receive: with text sent, the transmission ends by itself once the pane is empty and
// the idle tail has been played; never while nothing was sent, never with the option off.
struct BackCase {
    bool option;
    const char* typed;
    bool ends;
};

class BackToReceive : public Operating, public ::testing::WithParamInterface<BackCase> {};

TEST_P(BackToReceive, EndsTheTransmissionOnlyAfterTextAndItsTail) {
    const BackCase c = GetParam();
    form->BackToReceive->setChecked(c.option);
    EXPECT_EQ(settings->back_to_receive(), c.option);
    QTest::keyClicks(form->Memo4, c.typed);
    form->Button1->click();
    const uint32_t n = form->station().profile().N;
    int buffers = 0;
    for (; buffers < 60 && form->station().transmitting(); ++buffers) {
        output.play_one();
        form->Timer2Timer();
    }
    EXPECT_EQ(!form->station().transmitting(), c.ends);
    EXPECT_EQ(form->Button1->text(), c.ends ? "Tx ON" : "Tx OFF");
    if (!c.ends) return;
    EXPECT_TRUE(form->Timer1->isActive()); // receiving again, as after "Tx OFF"
    // Every character went out, followed by the idle tail played whole.
    EXPECT_EQ(form->Memo5->toPlainText(), QString(c.typed).toUpper());
    const std::span<const int16_t> idle = form->station().modem().transmit_bank.row(0).first(n);
    size_t idle_at_end = 0;
    for (size_t at = output.samples.size(); at >= n; at -= n) {
        if (!std::equal(idle.begin(), idle.end(), output.samples.begin() + (at - n))) break;
        ++idle_at_end;
    }
    // The queued buffers beyond those played are cut off at the switch.
    EXPECT_GE(idle_at_end, TForm1::kIdleTailSymbols + 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, BackToReceive,
                         ::testing::Values(BackCase{true, "cq k", true},
                                           BackCase{false, "cq k", false},
                                           BackCase{true, "", false}),
                         [](const auto& param_info) {
                             return std::string(param_info.param.option ? "OptionOn"
                                                                        : "OptionOff") +
                                    (*param_info.param.typed != '\0' ? "WithText" : "WithoutText");
                         });

TEST_F(Operating, BackToReceiveIsRememberedAndOffByDefault) {
    EXPECT_FALSE(form->BackToReceive->isChecked());
    form->BackToReceive->setChecked(true);
    form.reset();
    create_form();
    EXPECT_TRUE(form->BackToReceive->isChecked());
}

TEST_F(Operating, TransmitLevelScalesThePlayedSamplesAndIsRemembered) {
    const auto peak_sent = [&] {
        output.samples.clear();
        form->Button1->click();
        output.play_one();
        form->Timer2Timer();
        form->Button1->click();
        int peak = 0;
        for (const int16_t v : output.samples)
            peak = std::max(peak, std::abs(static_cast<int>(v)));
        return peak;
    };
    const int full = peak_sent();
    ASSERT_GT(full, 20000);
    form->set_transmit_level(-20);
    EXPECT_NEAR(peak_sent(), full / 10.0, 2.0);
    EXPECT_EQ(settings->transmit_level_db(), -20);
    form.reset();
    create_form();
    EXPECT_EQ(form->station().transmit_level_db(), -20);
    const QList<QAction*> levels = form->TransmitLevel->actions();
    const auto checked =
        std::find_if(levels.begin(), levels.end(), [](QAction* a) { return a->isChecked(); });
    ASSERT_NE(checked, levels.end());
    EXPECT_EQ((*checked)->data().toInt(), -20);
}

// The meter against a recording of known level: a 1000 Hz tone of peak amplitude A reads
// 20 log10(A / 32768) dBFS; within a dB of full scale it shows overload.
struct KnownLevel {
    int amplitude;
    float dbfs;
    bool overload;
};

class LevelMeterReading : public Operating, public ::testing::WithParamInterface<KnownLevel> {};

TEST_P(LevelMeterReading, ShowsThePeakOfTheRecording) {
    const KnownLevel k = GetParam();
    std::vector<int16_t> tone(8 * 2048);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<int16_t>(
            std::lround(k.amplitude *
                        std::cos(2 * std::numbers::pi * 1000.0 * static_cast<double>(i) / 8000.0)));
    std::string error;
    const std::string file = path("tone.wav").toStdString();
    ASSERT_TRUE(quavel::write_wav(file, tone, error)) << error;
    auto recording = quavel::SampleInput::from_wav(file, quavel::Pacing::Fast, error);
    ASSERT_NE(recording, nullptr) << error;
    form.reset();
    create_form();
    form->station().set_audio_input(recording.get());
    activate();
    for (int i = 0; i < 4; ++i) {
        form->station().pump_devices();
        form->Timer3Timer();
    }
    EXPECT_NEAR(form->InputMeter->level(), k.dbfs, 0.1);
    EXPECT_EQ(form->InputMeter->overloaded(), k.overload);
    form.reset();
}

INSTANTIATE_TEST_SUITE_P(Levels, LevelMeterReading,
                         ::testing::Values(KnownLevel{3277, -20.0f, false},
                                           KnownLevel{16384, -6.02f, false},
                                           KnownLevel{32000, -0.21f, true},
                                           KnownLevel{0, LevelMeter::kLowestDbfs, false}),
                         [](const auto& param_info) {
                             return "Amplitude" + std::to_string(param_info.param.amplitude);
                         });

TEST_F(Operating, GrownWindowGivesTheRoomToThePanesAndKeepsTheDisplays) {
    const QSize grown(800, 600);
    std::map<QWidget*, QRect> before;
    for (QWidget* w : form->centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        before[w] = w->geometry();
    form->show();
    form->centralWidget()->resize(grown);
    const int wider = grown.width() - TForm1::kClientWidth;
    const int taller = grown.height() - TForm1::kClientHeight;
    // The displays and the controls above the panes stay as they are.
    for (QWidget* w :
         {static_cast<QWidget*>(form->Image1), static_cast<QWidget*>(form->Image2),
          static_cast<QWidget*>(form->Image3), static_cast<QWidget*>(form->TrackBar1),
          static_cast<QWidget*>(form->RadioGroup3), static_cast<QWidget*>(form->Button14),
          static_cast<QWidget*>(form->InputMeter)})
        EXPECT_EQ(w->geometry(), before[w]) << w->objectName().toStdString();
    // The receive panes share the width and most of the height; the transmit pane the rest.
    EXPECT_EQ(form->Memo1->width() + form->Memo2->width(), 464 + wider);
    EXPECT_EQ(form->Memo2->geometry().right(), grown.width() - 1);
    EXPECT_GT(form->Memo1->height(), 97 + taller / 2);
    EXPECT_GT(form->Memo4->height(), 49);
    EXPECT_EQ(form->Memo4->width(), grown.width());
    // The transmit pane reaches the button row, overlapping it by a pixel as on the form.
    EXPECT_EQ(form->Memo4->geometry().bottom(), form->Button1->y());
    EXPECT_EQ(form->Memo5->geometry().right(), grown.width() - 1);
    for (QPushButton* b : {form->Button1, form->Button9})
        EXPECT_EQ(b->geometry().bottom(), grown.height() - 1) << b->objectName().toStdString();
    // A click widens one pane across the grown width, leaving the other a strip.
    form->Memo2Click();
    EXPECT_EQ(form->Memo1->width(), 58);
    EXPECT_EQ(form->Memo2->geometry(), QRect(59, 136, grown.width() - 59, form->Memo1->height()));
    // Back at the form's size, everything is where the form puts it.
    form->Memo1Click();
    form->centralWidget()->resize(TForm1::kClientWidth, TForm1::kClientHeight);
    EXPECT_EQ(form->Memo1->geometry(), QRect(0, 136, 406, 97));
    EXPECT_EQ(form->Memo2->geometry(), QRect(407, 136, 58, 97));
    for (QWidget* w : {static_cast<QWidget*>(form->Memo4), static_cast<QWidget*>(form->Memo5),
                       static_cast<QWidget*>(form->Memo6), static_cast<QWidget*>(form->Button1),
                       static_cast<QWidget*>(form->Button9), static_cast<QWidget*>(form->Label10)})
        EXPECT_EQ(w->geometry(), before[w]) << w->objectName().toStdString();
}

TEST_F(Operating, AGrownWindowComesBackGrownAndTheFormsSizeStaysTheForms) {
    form->show();
    form->close();
    EXPECT_TRUE(settings->window_geometry().isEmpty());
    form.reset();
    create_form();
    form->show();
    form->resize(700, 500);
    const QSize grown = form->centralWidget()->size();
    ASSERT_NE(grown, QSize(TForm1::kClientWidth, TForm1::kClientHeight));
    form->close();
    form.reset();
    create_form();
    form->show();
    EXPECT_EQ(form->centralWidget()->size(), grown);
}

TEST_F(Operating, PaneFontSizeAppliesToTheFourPanesAndIsRemembered) {
    const QFont form_font = form->Memo1->font();
    form->set_pane_font_size(14);
    for (Memo* pane : {form->Memo1, form->Memo2, form->Memo4, form->Memo5})
        EXPECT_EQ(pane->font().pointSize(), 14) << pane->objectName().toStdString();
    EXPECT_EQ(form->Memo3->font(), form_font); // the one-line fields keep the form's font
    form.reset();
    create_form();
    EXPECT_EQ(form->Memo4->font().pointSize(), 14);
    form->set_pane_font_size(0);
    EXPECT_EQ(form->Memo4->font(), form_font);
    EXPECT_EQ(settings->pane_font_size(), 0);
}

TEST_F(Operating, SaveReceivedTextWritesThePaneOrLeavesTheOldFile) {
    PaneSink(*form->Memo1).insert("CQ DE G4ABC\nK");
    ASSERT_TRUE(form->save_received_text(path("copy.txt")));
    EXPECT_EQ(read_file(dir.path(), "copy.txt"), "CQ DE G4ABC\nK\n");
    // A file that cannot be replaced stays as it was, and the operator hears of it.
    QDir(dir.path()).mkdir("copy.txt.dir");
    EXPECT_FALSE(form->save_received_text(path("copy.txt.dir")));
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_NE(messages.messages()[0].text.find("copy.txt.dir"), std::string::npos);
    EXPECT_EQ(read_file(dir.path(), "copy.txt"), "CQ DE G4ABC\nK\n");
}

TEST_F(Operating, LogChosenFromTheMenuStartsWithAHeaderAndIsRemembered) {
    form->set_receive_log(path("contact.log"));
    EXPECT_TRUE(form->LogToFile->isChecked());
    EXPECT_EQ(settings->receive_log(), path("contact.log"));
    const std::string log = read_file(dir.path(), "contact.log");
    EXPECT_EQ(log.rfind("--- ", 0), 0u) << log;
    EXPECT_NE(log.find("  receiving  2 Quavel/sec  1000 Hz ---\n"), std::string::npos) << log;
    form.reset();
    create_form();
    EXPECT_TRUE(form->LogToFile->isChecked());
    form->set_receive_log({});
    EXPECT_FALSE(form->LogToFile->isChecked());
    EXPECT_TRUE(settings->receive_log().isEmpty());
    // A log that cannot be opened is reported and not remembered.
    messages.clear();
    form->set_receive_log(path("no/such/folder/x.log"));
    EXPECT_EQ(messages.messages().size(), 1u);
    EXPECT_FALSE(form->LogToFile->isChecked());
    EXPECT_TRUE(settings->receive_log().isEmpty());
}

} // namespace
