// The window's first activation: the configuration file or its absence, the macros built from
// it, the station tuned and receiving, and nothing of it again at later activations.
#include <QCoreApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include "ui/memo.h"
#include "ui/radio_group.h"
#include "ui_support.h"

namespace {

using quavel::MessageIcon;
using quavel::RecordedMessage;

class Activation : public FormTest {};

TEST_F(Activation, WithoutConfigurationWarnsOnceAndReceives) {
    create_form();
    form->RadioGroup1->setItemIndex(0);
    activate();
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0],
              (RecordedMessage{"No Configuration File !\nRun Set Up if you want to Transmit",
                               "Vexmar Quavel2000 Program", MessageIcon::Warning}));
    EXPECT_EQ(form->RadioGroup1->itemIndex(), 4);
    EXPECT_EQ(form->station().settings().callsign, "");
    EXPECT_EQ(form->station().settings().port_name, "NONE");
    EXPECT_EQ(input.opens, 1);
    EXPECT_EQ(form->station().centre_hz(), 1000u);
    EXPECT_EQ(form->station().profile().speed, 2u);
    EXPECT_FALSE(form->station().transmitting());
    EXPECT_EQ(form->focusWidget(), form->Memo4);
    EXPECT_TRUE(form->Button1->isEnabled());
    EXPECT_FALSE(form->Button3->isEnabled());
    EXPECT_FALSE(form->Button9->isEnabled());
    // The CQ and QRZ texts stay empty until the setup panel is confirmed.
    form->Button7->click();
    form->Button8->click();
    EXPECT_TRUE(form->Memo4->toPlainText().isEmpty());
    EXPECT_EQ(form->focusWidget(), form->Memo4);
}

TEST_F(Activation, WithConfigurationBuildsTheActivationFormOfTheMacros) {
    write_file(dir.path(), "KEYSETUP.INI", "NOCALL  COM1 NONE");
    create_form();
    activate();
    EXPECT_TRUE(messages.messages().empty());
    EXPECT_EQ(form->station().settings().callsign, "NOCALL");
    EXPECT_EQ(form->station().settings().port_name, "COM1");
    // The port named in the file is opened at start-up, released.
    EXPECT_EQ(ptt.opened, std::vector<std::string>{"COM1"});
    EXPECT_TRUE(form->station().ptt_port_open());
    EXPECT_FALSE(ptt.keyed());
    EXPECT_EQ(form->RadioGroup1->itemIndex(), 4);
    form->Button8->click();
    EXPECT_EQ(form->Memo4->toPlainText(), "  QRZ QRZ QRZ DE  NOCALL  NOCALL KKK");
    form->Memo4->clear();
    form->Button7->click();
    EXPECT_EQ(form->Memo4->toPlainText(),
              "  CQ CQ CQ CQ CQ DE  NOCALL NOCALL NOCALL NOCALL  AR PSE KKKKK");
}

TEST_F(Activation, ProblemsInTheConfigurationAreShown) {
    write_file(dir.path(), "KEYSETUP.INI", "G4ABC COM9 ON");
    create_form();
    activate();
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].title, "Vexmar Quavel2000 Program");
    EXPECT_NE(messages.messages()[0].text.find("COM9"), std::string::npos);
    EXPECT_EQ(form->station().settings().port_name, "NONE");
}

TEST_F(Activation, RunsOnlyOnce) {
    create_form();
    activate();
    form->Image1MouseUp(Qt::LeftButton, {}, 0, 5); // retune to 802 Hz
    form->RadioGroup3->button(2)->click();         // and change speed
    activate();
    form->FormActivate();
    EXPECT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(input.opens, 1);
    EXPECT_EQ(form->station().centre_hz(), 802u);
    EXPECT_EQ(form->station().profile().speed, 4u);
}

TEST_F(Activation, ShowingTheWindowActivatesIt) {
    create_form();
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(input.opens, 1);
    EXPECT_TRUE(form->Memo4->hasFocus());
    // Another window taking the focus and giving it back changes nothing.
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(input.opens, 1);
}

TEST_F(Activation, ShowingTheWindowStartsTheStationEvenWithoutTheFocus) {
    create_form();
    form->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(input.opens, 1);
    form->hide();
    form->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(input.opens, 1);
}

TEST_F(Activation, EveryRunStartsAt1000HzAndTwoQuavelPerSecond) {
    write_file(dir.path(), "KEYSETUP.INI", "G4ABC NONE NONE");
    create_form();
    activate();
    form->Image1MouseUp(Qt::LeftButton, {}, 300, 5);
    form->RadioGroup3->button(0)->click();
    form.reset();
    create_form();
    activate();
    EXPECT_EQ(form->station().centre_hz(), 1000u);
    EXPECT_EQ(form->RadioGroup3->itemIndex(), 1);
    EXPECT_EQ(form->station().profile().speed, 2u);
}

} // namespace
