// The setup panel, the macro and stored-text buttons, and the menu's About, Help and Exit, as the
// window wires them: what the operator sees and what reaches the file, the station and the
// transmit pane.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTextCursor>
#include <QUrl>
#include <gtest/gtest.h>
#include <stdexcept>

#include "ui/memo.h"
#include "ui/quavel_application.h"
#include "ui/radio_group.h"
#include "ui_support.h"

namespace {

using quavel::MessageIcon;
using quavel::RecordedMessage;

class Setup : public FormTest {
protected:
    void start(const std::string& config) {
        if (!config.empty()) write_file(dir.path(), "KEYSETUP.INI", config);
        create_form();
        activate();
        messages.clear();
    }
    // Sends one Morse identification and counts the playback buffers it takes.
    int identification_buffers() {
        form->Button1->click();
        form->Button3->click();
        int buffers = 0;
        while (!form->Button3->isEnabled() && buffers < 1000) {
            output.play_one();
            form->Timer2Timer();
            ++buffers;
        }
        form->Button1->click();
        return buffers;
    }
};

TEST_F(Setup, OpeningThePanelShowsTheStoredSettings) {
    start("G4ABC COM2 ON");
    form->SetUp1->trigger();
    EXPECT_FALSE(form->Panel1->isHidden());
    EXPECT_TRUE(form->Panel1->isEnabled());
    EXPECT_EQ(form->Memo3->toPlainText(), "G4ABC");
    EXPECT_EQ(form->Memo3->textCursor().position(), 5);
    EXPECT_EQ(form->focusWidget(), form->Memo3);
    EXPECT_EQ(form->RadioGroup1->itemIndex(), 1);
    EXPECT_EQ(form->RadioGroup2->itemIndex(), 1);
}

TEST_F(Setup, OkWithAnEmptyCallsignWritesNocallAndOpensThePort) {
    start("");
    form->SetUp1->trigger();
    form->RadioGroup1->setItemIndex(0);
    form->RadioGroup2->setItemIndex(0);
    form->BitBtn1->click();
    form->station().settle_keying(); // the port opens on the keying thread
    EXPECT_TRUE(form->Panel1->isHidden());
    EXPECT_FALSE(form->Panel1->isEnabled());
    EXPECT_EQ(read_file(dir.path(), "KEYSETUP.INI"), "NOCALL  COM1 NONE");
    EXPECT_EQ(form->station().settings().callsign, "NOCALL");
    EXPECT_EQ(ptt.opened, std::vector<std::string>{"COM1"});
    EXPECT_EQ(form->focusWidget(), form->Memo4);
    EXPECT_TRUE(messages.messages().empty());
    // The QRZ text is now in its setup form: one blank between the callsigns.
    form->Button8->click();
    EXPECT_EQ(form->Memo4->toPlainText(), "  QRZ QRZ QRZ DE  NOCALL NOCALL KKK");
}

TEST_F(Setup, OkWithNoneOpensNoPortAndTypedCallsignIsCapitalised) {
    start("");
    form->SetUp1->trigger();
    QTest::keyClicks(form->Memo3, "g4xyz");
    form->RadioGroup1->setItemIndex(4);
    form->RadioGroup2->setItemIndex(1);
    form->BitBtn1->click();
    form->station().settle_keying();
    EXPECT_EQ(read_file(dir.path(), "KEYSETUP.INI"), "G4XYZ NONE ON");
    EXPECT_EQ(form->station().settings().delay_word, "ON");
    EXPECT_TRUE(ptt.opened.empty());
}

TEST_F(Setup, NewCallsignReachesTheIdentificationAtOnce) {
    start("VERYLONGCALL NONE NONE");
    const int before = identification_buffers();
    form->SetUp1->trigger();
    form->Memo3->selectAll();
    QTest::keyClicks(form->Memo3, "G4NEW");
    form->BitBtn1->click();
    const int after = identification_buffers();
    // As long as the identification of a station that started with this callsign.
    form.reset();
    start("G4NEW NONE NONE");
    EXPECT_EQ(after, identification_buffers());
    EXPECT_LT(after, before);
}

TEST_F(Setup, CancelChangesNothing) {
    start("G4ABC COM2 ON");
    const std::string before = read_file(dir.path(), "KEYSETUP.INI");
    form->SetUp1->trigger();
    QTest::keyClicks(form->Memo3, "XYZ");
    form->RadioGroup1->setItemIndex(3);
    form->BitBtn2->click();
    EXPECT_TRUE(form->Panel1->isHidden());
    EXPECT_FALSE(form->Panel1->isEnabled());
    EXPECT_EQ(form->focusWidget(), form->Memo4);
    EXPECT_EQ(read_file(dir.path(), "KEYSETUP.INI"), before);
    EXPECT_EQ(form->station().settings().callsign, "G4ABC");
    EXPECT_EQ(form->station().settings().port_name, "COM2");
    EXPECT_EQ(ptt.opened, std::vector<std::string>{"COM2"}); // at start-up only
}

TEST_F(Setup, EscapeCancelsThePanel) {
    start("G4ABC NONE NONE");
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->SetUp1->trigger();
    QTest::keyClick(form->Memo3, Qt::Key_Escape);
    EXPECT_TRUE(form->Panel1->isHidden());
    EXPECT_EQ(read_file(dir.path(), "KEYSETUP.INI"), "G4ABC NONE NONE");
}

TEST_F(Setup, SetUpIsOffWhileTransmitting) {
    start("");
    form->Button1->click();
    EXPECT_FALSE(form->SetUp1->isEnabled());
    form->Button1->click();
    EXPECT_TRUE(form->SetUp1->isEnabled());
}

TEST_F(Setup, MacrosGoInAtTheCaretReplacingTheSelection) {
    start("NOCALL NONE NONE");
    form->Memo4->setPlainText("<>");
    QTextCursor cursor = form->Memo4->textCursor();
    cursor.setPosition(1);
    form->Memo4->setTextCursor(cursor);
    form->Button7->click();
    form->Button7->click();
    const QString cq = "  CQ CQ CQ CQ CQ DE  NOCALL NOCALL NOCALL NOCALL  AR PSE KKKKK";
    EXPECT_EQ(form->Memo4->toPlainText(), "<" + cq + cq + ">");

    form->Memo4->selectAll();
    form->Memo6->setPlainText("ABC");
    form->Button11->click();
    EXPECT_EQ(form->Memo4->toPlainText(), " ABC DE NOCALL AR PSE KKK");
    form->Button10->click();
    EXPECT_EQ(form->Memo4->toPlainText(), " ABC DE NOCALL AR PSE KKK ABC DE NOCALL");
    EXPECT_EQ(form->focusWidget(), form->Memo4);
}

TEST_F(Setup, ExchangeMacroWithoutOtherStationDoesNothing) {
    start("NOCALL NONE NONE");
    form->Button2->setFocus();
    form->Button10->click();
    form->Button11->click();
    EXPECT_TRUE(form->Memo4->toPlainText().isEmpty());
    EXPECT_EQ(form->focusWidget(), form->Button2);
}

TEST_F(Setup, StoredTextsAreInsertedOrMissedAloud) {
    start("");
    write_file(dir.path(), "1.TXT", "Hello, world!\nLine 2");
    form->Button12->click();
    EXPECT_EQ(form->Memo4->toPlainText(), "Hello world Line 2");
    EXPECT_EQ(form->focusWidget(), form->Memo4);
    form->Button6->setFocus();
    form->Button14->click();
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0],
              (RecordedMessage{"3.TXT File Not Available", "Vexmar Quavel Program V2.5",
                               MessageIcon::Warning}));
    EXPECT_EQ(form->Memo4->toPlainText(), "Hello world Line 2");
    EXPECT_EQ(form->focusWidget(), form->Button6);
}

TEST_F(Setup, AboutShowsThreeLines) {
    start("");
    form->About1->trigger();
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0],
              (RecordedMessage{"Quavel2.5  A 9 Tone Transmission Program\nby the Quavel "
                               "developers\nSeptember 2000",
                               "Information", MessageIcon::None}));
}

TEST_F(Setup, HelpOpensThePageFromTheWorkingFolder) {
    start("");
    QStringList opened;
    form->set_help_opener([&](const QString& page) {
        opened << page;
        return true;
    });
    form->Help1->trigger();
    // Not in the working folder, nor beside the test program: the operator hears of it.
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_NE(messages.messages()[0].text.find("quavel25.htm"), std::string::npos);
    EXPECT_TRUE(opened.isEmpty());

    write_file(dir.path(), "quavel25.htm", "<html></html>");
    form->Help1->trigger();
    EXPECT_EQ(opened, QStringList{path("quavel25.htm")});
    // Without a browser the page shows in the program's own viewer, without a message.
    form->set_help_opener([](const QString&) { return false; });
    form->Help1->trigger();
    EXPECT_EQ(messages.messages().size(), 1u);
    auto* viewer = form->findChild<QTextBrowser*>("HelpViewer");
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->source(), QUrl::fromLocalFile(path("quavel25.htm")));
}

TEST_F(Setup, ExitClosesTheWindow) {
    start("");
    form->show();
    ASSERT_TRUE(form->isVisible());
    form->Exit1->trigger();
    EXPECT_FALSE(form->isVisible());
}

// An object whose every event handler fails.
class Failing : public QObject {
public:
    bool event(QEvent*) override { throw std::runtime_error("Cannot create file KEYSETUP.INI"); }
};

TEST(EscapedException, IsReportedWithTheStopSignAndTheProgramGoesOn) {
    QuavelApplication& app = test_application();
    quavel::RecordingMessages reports;
    app.set_message_sink(&reports);
    Failing failing;
    QEvent event(QEvent::User);
    EXPECT_FALSE(QApplication::sendEvent(&failing, &event));
    EXPECT_FALSE(QApplication::sendEvent(&failing, &event));
    app.set_message_sink(nullptr);
    ASSERT_EQ(reports.messages().size(), 2u);
    EXPECT_EQ(reports.messages()[0],
              (RecordedMessage{"Cannot create file KEYSETUP.INI.", QuavelApplication::kReportTitle,
                               MessageIcon::Stop}));
}

} // namespace
