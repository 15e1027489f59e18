// What the console adds around the form for everyday operating: the centre-frequency readout,
// the transmit key, back to receive, the receive log's menu choice, the panes' font, the levels,
// the window that grows and the help viewer.
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include "ui/canvas_view.h"
#include "ui/memo.h"
#include "ui/radio_group.h"
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

} // namespace
