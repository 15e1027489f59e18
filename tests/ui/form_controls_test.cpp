// The operator's controls on the main window: toggles and their indicators, the track bar, the
// speed selector, click-to-tune with its readout, the scope, pane widening, typing, and the
// switch between receiving and transmitting.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

#include "support/param_name.h"
#include "ui/canvas_view.h"
#include "ui/form_timer.h"
#include "ui/memo.h"
#include "ui/radio_group.h"
#include "ui_support.h"

namespace {

class Controls : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        create_form();
        activate();
        messages.clear();
    }
    // A release of `button` on the waterfall at (x, 10), wherever that is.
    void release_on(QWidget* image, Qt::MouseButton button, int x) {
        const QPointF at(x, 10);
        QMouseEvent release(QEvent::MouseButtonRelease, at, image->mapToGlobal(at), button,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(image, &release);
    }
    void move_over(QWidget* widget, QPoint at) {
        QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }
};

TEST_F(Controls, TestToggleRestartsTheSequenceOnEverySwitchOn) {
    form->Button2->click();
    EXPECT_EQ(form->Button2->text(), "Test Off");
    EXPECT_TRUE(form->station().test_mode());
    form->Button2->click();
    EXPECT_EQ(form->Button2->text(), "Test On");
    EXPECT_FALSE(form->station().test_mode());
    form->Button2->click();
    EXPECT_TRUE(form->station().test_mode());
}

TEST_F(Controls, AfcAndAutoSyncTogglesShowTheirIndicators) {
    form->Button4->click();
    EXPECT_EQ(form->Button4->text(), "AFC On");
    EXPECT_FALSE(form->station().afc());
    EXPECT_TRUE(form->Label8->isHidden());
    form->Button4->click();
    EXPECT_EQ(form->Button4->text(), "AFC Off");
    EXPECT_TRUE(form->station().afc());
    EXPECT_FALSE(form->Label8->isHidden());

    form->Button6->click();
    EXPECT_EQ(form->Button6->text(), "AutoSync On");
    EXPECT_FALSE(form->station().autosync());
    EXPECT_TRUE(form->Label11->isHidden());
    form->Button6->click();
    EXPECT_EQ(form->Button6->text(), "AutoSync Off");
    EXPECT_TRUE(form->station().autosync());
    EXPECT_FALSE(form->Label11->isHidden());

    form->Button5->click();
    EXPECT_EQ(form->Button5->text(), "Print On");
    EXPECT_FALSE(form->station().print());
    form->Button5->click();
    EXPECT_EQ(form->Button5->text(), "Print Off");
    EXPECT_TRUE(form->station().print());
}

TEST_F(Controls, TogglesLeaveTheFocusOnTheButtonAndIgnoreStrangeCaptions) {
    form->Button4->setFocus();
    form->Button4->click();
    EXPECT_EQ(form->focusWidget(), form->Button4);
    form->Button4->setText("AFC ?");
    form->Button4->click();
    form->Button6->setText("");
    form->Button6->click();
    EXPECT_FALSE(form->station().afc());
    EXPECT_TRUE(form->station().autosync());
}

class TrackBar : public Controls, public ::testing::WithParamInterface<std::pair<int, float>> {};

TEST_P(TrackBar, SetsTheSensitivityAndHandsTheFocusBack) {
    form->TrackBar1->setFocus();
    form->TrackBar1->setValue(GetParam().first == 2 ? 3 : 2);
    form->TrackBar1->setValue(GetParam().first);
    EXPECT_FLOAT_EQ(form->station().sensitivity(), GetParam().second);
    EXPECT_EQ(form->focusWidget(), form->Memo4);
}

INSTANTIATE_TEST_SUITE_P(Positions, TrackBar,
                         ::testing::Values(std::pair{1, 0.5f}, std::pair{2, 1.0f},
                                           std::pair{3, 10.0f}, std::pair{4, 20.0f},
                                           std::pair{5, 40.0f}),
                         [](const auto& param_info) {
                             return "Position" + std::to_string(param_info.param.first);
                         });

TEST_F(Controls, SpeedChangeSwitchesEverythingOnAndTheCaptionsFollow) {
    form->Image1MouseUp(Qt::LeftButton, {}, 100, 5);
    const uint32_t centre = form->station().centre_hz();
    form->Button2->click(); // test mode on: kept across the change
    form->Button4->click();
    form->Button5->click();
    form->Button6->click();
    form->RadioGroup3->button(2)->click();
    EXPECT_EQ(form->station().profile().speed, 4u);
    EXPECT_EQ(form->station().sync_position(), 2048u / 4);
    EXPECT_EQ(form->station().centre_hz(), centre);
    EXPECT_TRUE(form->station().afc());
    EXPECT_TRUE(form->station().print());
    EXPECT_TRUE(form->station().autosync());
    EXPECT_EQ(form->Button4->text(), "AFC Off");
    EXPECT_EQ(form->Button5->text(), "Print Off");
    EXPECT_EQ(form->Button6->text(), "AutoSync Off");
    EXPECT_FALSE(form->Label8->isHidden());
    EXPECT_FALSE(form->Label11->isHidden());
    EXPECT_EQ(form->Button2->text(), "Test Off");
    EXPECT_TRUE(form->station().test_mode());
    EXPECT_EQ(form->focusWidget(), form->Memo4);
    // Clicking the item already selected changes nothing.
    form->Button4->click();
    form->RadioGroup3->button(2)->click();
    EXPECT_FALSE(form->station().afc());
}

struct Tuned {
    int x;
    uint32_t hz;
};

class ClickToTune : public Controls, public ::testing::WithParamInterface<Tuned> {};

TEST_P(ClickToTune, RetunesAndTheReadoutShowsTheSameFrequency) {
    const Tuned t = GetParam();
    if (t.x >= 0 && t.x < 320) {
        QTest::mouseClick(form->Image1, Qt::LeftButton, {}, QPoint(t.x, 10));
        move_over(form->Image1, QPoint(t.x, 10));
    } else {
        // Pressed on the waterfall and released outside it: the image holds the mouse.
        release_on(form->Image1, Qt::LeftButton, t.x);
        QMouseEvent drag(QEvent::MouseMove, QPointF(t.x, 10), QPointF(t.x, 10), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form->Image1, &drag);
    }
    EXPECT_EQ(form->station().centre_hz(), t.hz);
    EXPECT_EQ(form->Label7->text().toUInt(), t.hz);
    EXPECT_FALSE(form->Panel2->isHidden());
}

// X x 311 / 320 + 802, held to the centre-frequency range 100..1900 Hz.
INSTANTIATE_TEST_SUITE_P(Positions, ClickToTune,
                         ::testing::Values(Tuned{0, 802}, Tuned{160, 957}, Tuned{319, 1112},
                                           Tuned{-100, 705}, Tuned{1200, 1900}, Tuned{-827, 100},
                                           Tuned{-5000, 100}),
                         [](const auto& param_info) {
                             return "AtX" + quavel::test::name_of_number(param_info.param.x);
                         });

TEST_F(Controls, ReceiverChoiceAndSquelchAreRememberedInTheOwnSettings) {
    EXPECT_FALSE(form->WeakReceiver1->isChecked());
    EXPECT_TRUE(form->Squelch1->isChecked());
    EXPECT_TRUE(form->WeakReadout->isHidden());
    EXPECT_FALSE(form->NoiseBlanker1->isChecked());
    form->WeakReceiver1->trigger();
    form->Squelch1->trigger();
    form->NoiseBlanker1->trigger();
    EXPECT_TRUE(form->station().noise_blanker());
    EXPECT_EQ(form->station().receiver(), quavel::ReceiverChoice::weak);
    EXPECT_FALSE(form->station().squelch());
    EXPECT_EQ(form->WeakReadout->text(), "Weak: no signal");
    EXPECT_FALSE(form->WeakReadout->isHidden());
    // The next console starts with both as they were left; KEYSETUP.INI is not written.
    create_form();
    EXPECT_TRUE(form->WeakReceiver1->isChecked());
    EXPECT_FALSE(form->Squelch1->isChecked());
    EXPECT_TRUE(form->NoiseBlanker1->isChecked());
    EXPECT_TRUE(form->station().noise_blanker());
    EXPECT_EQ(form->station().receiver(), quavel::ReceiverChoice::weak);
    EXPECT_FALSE(form->station().squelch());
    EXPECT_FALSE(QFile::exists(path("KEYSETUP.INI")));
    form->WeakReceiver1->trigger();
    EXPECT_EQ(form->station().receiver(), quavel::ReceiverChoice::classic);
    EXPECT_TRUE(form->WeakReadout->isHidden());
    EXPECT_FALSE(form->Image1->marker().has_value());
}

TEST_F(Controls, OnlyTheLeftButtonRetunesFromOutsideTheWaterfall) {
    release_on(form->Image1, Qt::RightButton, 400);
    release_on(form->Image1, Qt::MiddleButton, -3);
    EXPECT_EQ(form->station().centre_hz(), 1000u);
    release_on(form->Image1, Qt::RightButton, 160);
    EXPECT_EQ(form->station().centre_hz(), 957u);
}

TEST_F(Controls, PointedReadoutClearsWhenThePointerLeavesTheWaterfall) {
    move_over(form->Image1, QPoint(10, 10));
    EXPECT_EQ(form->Label7->text(), "811");
    EXPECT_FALSE(form->Panel2->isHidden());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(form->Image1, &leave);
    EXPECT_TRUE(form->Panel2->isHidden());
    move_over(form->Image1, QPoint(10, 10));
    move_over(form->centralWidget(), QPoint(460, 131));
    EXPECT_TRUE(form->Panel2->isHidden());
}

TEST_F(Controls, PointedReadoutShowsItsPartsWholeAndApart) {
    move_over(form->Image1, QPoint(319, 10));
    for (QLabel* part : {form->Label3, form->Label7, form->Label6}) {
        EXPECT_GE(part->width(), part->sizeHint().width()) << part->objectName().toStdString();
        EXPECT_GE(part->height(), part->sizeHint().height()) << part->objectName().toStdString();
        EXPECT_LE(part->geometry().right(), form->Panel2->width() - 1);
        EXPECT_LE(part->geometry().bottom(), form->Panel2->height() - 1);
    }
    EXPECT_GT(form->Label7->x(), form->Label3->geometry().right());
    EXPECT_GT(form->Label6->x(), form->Label7->geometry().right());
}

TEST_F(Controls, ScopeReleaseSetsTheSyncPositionFromItsLeftHalf) {
    const uint32_t start = form->station().sync_position();
    const uint32_t C = form->station().profile().N / 128;
    release_on(form->Image2, Qt::LeftButton, 64);
    release_on(form->Image2, Qt::LeftButton, -5);
    release_on(form->Image2, Qt::RightButton, 10);
    EXPECT_EQ(form->station().sync_position(), start);
    release_on(form->Image2, Qt::LeftButton, 63);
    EXPECT_EQ(form->station().sync_position(), 63 * C);
    QTest::mouseClick(form->Image2, Qt::LeftButton, {}, QPoint(0, 30));
    EXPECT_EQ(form->station().sync_position(), 0u);
}

TEST_F(Controls, ClickedReceivePaneWidensAndItsTextGoesToTheClipboard) {
    form->Memo2->setPlainText("OAO");
    QTest::mouseClick(form->Memo2->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(form->Memo2->geometry(), QRect(59, 136, 406, 97));
    EXPECT_EQ(form->Memo1->geometry(), QRect(0, 136, 58, 97));
    EXPECT_EQ(QApplication::clipboard()->text(), "OAO");
    EXPECT_EQ(form->Memo2->textCursor().position(), 3);

    form->Memo1->setPlainText("ABA");
    QTest::mouseClick(form->Memo1->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(form->Memo1->geometry(), QRect(0, 136, 406, 97));
    EXPECT_EQ(form->Memo2->geometry(), QRect(407, 136, 58, 97));
    EXPECT_EQ(QApplication::clipboard()->text(), "ABA");
}

TEST_F(Controls, AnEmptyPaneNeverTakesTheClipboardsText) {
    QApplication::clipboard()->setText("not received");
    QTest::mouseClick(form->Memo2->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(form->Memo2->width(), 406);
    EXPECT_TRUE(form->Memo2->toPlainText().isEmpty());
    EXPECT_EQ(QApplication::clipboard()->text(), "not received");
    // Nor can the operator type or paste into a receive pane.
    QTest::keyClicks(form->Memo1, "XYZ");
    form->Memo1->paste();
    EXPECT_TRUE(form->Memo1->toPlainText().isEmpty());
}

TEST_F(Controls, TypedLettersBecomeCapitals) {
    form->SetUp1->trigger(); // the callsign field is on the setup panel
    for (Memo* box : {form->Memo4, form->Memo6, form->Memo3}) {
        QTest::keyClicks(box, "abz AZ09?@=,");
        EXPECT_EQ(box->toPlainText(), "ABZ AZ09?@=,") << box->objectName().toStdString();
    }
    // Only typing is converted: inserted text stays as it is.
    form->Memo4->insertPlainText("lower");
    EXPECT_EQ(form->Memo4->toPlainText(), "ABZ AZ09?@=,lower");
}

TEST_F(Controls, TransmitAndReceiveStates) {
    QTest::keyClicks(form->Memo4, "cq");
    form->Button1->click();
    EXPECT_EQ(form->Button1->text(), "Tx OFF");
    EXPECT_TRUE(form->station().transmitting());
    EXPECT_TRUE(output.is_open);
    EXPECT_FALSE(input.is_open);
    EXPECT_TRUE(form->Timer2->isEnabled());
    EXPECT_FALSE(form->Timer1->isEnabled());
    EXPECT_FALSE(form->Timer3->isEnabled());
    EXPECT_TRUE(form->Button3->isEnabled());
    EXPECT_TRUE(form->Button9->isEnabled());
    for (QWidget* w : {static_cast<QWidget*>(form->Button2), static_cast<QWidget*>(form->Button4),
                       static_cast<QWidget*>(form->Button5), static_cast<QWidget*>(form->Button6),
                       static_cast<QWidget*>(form->RadioGroup3)})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_FALSE(form->SetUp1->isEnabled());
    EXPECT_TRUE(form->Button1->isEnabled());
    EXPECT_EQ(form->focusWidget(), form->Memo4);
    // Text typed while receiving waits for the transmission.
    EXPECT_EQ(form->Memo4->toPlainText(), "CQ");

    form->Button1->click();
    EXPECT_EQ(form->Button1->text(), "Tx ON");
    EXPECT_FALSE(form->station().transmitting());
    EXPECT_FALSE(output.is_open);
    EXPECT_TRUE(input.is_open);
    EXPECT_FALSE(form->Timer2->isEnabled());
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_TRUE(form->Timer3->isActive());
    EXPECT_FALSE(form->Button3->isEnabled());
    EXPECT_FALSE(form->Button9->isEnabled());
    EXPECT_TRUE(form->Button2->isEnabled());
    EXPECT_TRUE(form->RadioGroup3->isEnabled());
    EXPECT_TRUE(form->SetUp1->isEnabled());
    // What was not taken for sending is discarded.
    EXPECT_TRUE(form->Memo4->toPlainText().isEmpty());
    EXPECT_TRUE(messages.messages().empty());
}

TEST_F(Controls, TuneAndIdentificationLockTheirButtons) {
    form->Button1->click();
    form->Button9->click();
    EXPECT_FALSE(form->Button9->isEnabled());
    EXPECT_FALSE(form->Button3->isEnabled());
    // The next transmission gives them back at once.
    form->Button1->click();
    form->Button1->click();
    EXPECT_TRUE(form->Button3->isEnabled());
    form->station().settings().callsign = "NOCALL";
    form->Button3->click();
    // No box while on the air (it would keep the operator from "Tx OFF"): it comes after.
    EXPECT_TRUE(messages.messages().empty());
    EXPECT_TRUE(form->Button3->isEnabled());
    form->station().settings().callsign = "G4ABC";
    form->Button3->click();
    EXPECT_FALSE(form->Button3->isEnabled());
    EXPECT_FALSE(form->Button9->isEnabled());
    EXPECT_EQ(form->focusWidget(), form->Memo4);
    form->Button1->click();
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].text, "No Callsign !\nRun Set Up if you want to Transmit");
}

TEST(FormTimerPause, StopsTheTimerWhileItsHandlerWorks) {
    test_application();
    FormTimer timer(nullptr, "T", 2, true);
    {
        FormTimer::Pause pause(timer);
        EXPECT_FALSE(timer.isActive());
        { FormTimer::Pause nested(timer); }
        EXPECT_FALSE(timer.isActive());
    }
    EXPECT_TRUE(timer.isActive());
    // Switched off while the handler works (a transmission started): it stays off.
    {
        FormTimer::Pause pause(timer);
        timer.setEnabled(false);
    }
    EXPECT_FALSE(timer.isActive());
    // Switched on while paused: it starts when the handler ends, even one that throws.
    try {
        FormTimer::Pause pause(timer);
        timer.setEnabled(true);
        EXPECT_FALSE(timer.isActive());
        throw std::runtime_error("handler failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_TRUE(timer.isActive());
}

} // namespace
