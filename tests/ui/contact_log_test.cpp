// Completing a contact in the window: a call double-clicked in a receive pane goes into the
// other-station field, and File > Log Contact... logs the contact to the ADIF log, which the
// window reads for who was worked before.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <tuple>

#include "station/adif_log.h"
#include "ui/console_options.h"
#include "ui/contact_log.h"
#include "ui/log_contact_dialog.h"
#include "ui/memo.h"
#include "ui/text_panes.h"
#include "ui_support.h"

namespace {

class Contact : public FormTest {
protected:
    // The window over a log "log.adi" in the test's folder holding `log_text` (none: empty).
    void start(const std::string& log_text = {}) {
        if (!log_text.empty()) write_file(dir.path(), "log.adi", log_text);
        {
            AppSettings chosen(path("quavel.ini"));
            chosen.set_contact_log(path("log.adi"));
        }
        create_form();
        activate();
        form->station().settings().callsign = "G3XYZ";
        messages.clear();
    }
    // A double click on `word` as the window system delivers one: press, release, a second
    // press and the double click at the same point, release.
    void double_click(Memo* pane, const QString& word) {
        QTextCursor at(pane->document());
        at.setPosition(static_cast<int>(pane->toPlainText().indexOf(word)) + 1);
        const QPoint point = pane->cursorRect(at).center();
        ms_ += 10000;
        for (const auto& [type, buttons, ms] :
             {std::tuple{QEvent::MouseButtonPress, Qt::LeftButton, 0},
              {QEvent::MouseButtonRelease, Qt::NoButton, 60},
              {QEvent::MouseButtonPress, Qt::LeftButton, 120},
              {QEvent::MouseButtonDblClick, Qt::LeftButton, 120},
              {QEvent::MouseButtonRelease, Qt::NoButton, 180}}) {
            QMouseEvent event(type, point, pane->viewport()->mapToGlobal(point), Qt::LeftButton,
                              buttons, Qt::NoModifier);
            event.setTimestamp(ms_ + static_cast<quint64>(ms));
            QApplication::sendEvent(pane->viewport(), &event);
        }
    }
    LogContactDialog* open_dialog() {
        form->LogContact1->trigger();
        LogContactDialog* dialog = form->log_contact_dialog();
        EXPECT_NE(dialog, nullptr);
        return dialog;
    }
    quint64 ms_ = 0;
    quavel::AdifRead log() const { return quavel::read_adif(read_file(dir.path(), "log.adi")); }
    static std::string field(const quavel::AdifRecord& r, const char* name) {
        const std::string* v = r.field(name);
        return v ? *v : "<none>";
    }
};

// On received text as it wraps in the narrow pane: the first click widens the pane and
// re-wraps it before the second arrives, and the word under the first press is taken.
TEST_F(Contact, ADoubleClickedCallGoesToTheOtherStationField) {
    start();
    const QString text = "CQ CQ DE DL/G4ABC/P DL/G4ABC/P PSE K\nUR 599 5NN TNX 73 QRZ? DE "
                         "VK2/G4ABC/MM 9A1AA G4ABC/P and more words to wrap the line around";
    const struct {
        const char* word;
        const char* field; // what Memo6 then holds
    } cases[] = {
        {"DL/G4ABC/P", "DL/G4ABC/P"},
        {"599", "DL/G4ABC/P"},
        {"5NN", "DL/G4ABC/P"},
        {"TNX", "DL/G4ABC/P"},
        {"QRZ", "DL/G4ABC/P"},
        {"73", "DL/G4ABC/P"},
        {"VK2/G4ABC/MM", "VK2/G4ABC/MM"},
        {"9A1AA", "9A1AA"},
        {"CQ", "9A1AA"},
    };
    for (Memo* pane : {form->Memo1, form->Memo2}) {
        form->Memo6->setPlainText("K1OLD");
        for (Memo* other : {form->Memo1, form->Memo2})
            other->setPlainText(other == pane ? text : QString("other pane"));
        for (const auto& c : cases) {
            form->Memo5->setFocus();
            double_click(pane, c.word);
            EXPECT_EQ(form->Memo6->toPlainText(), c.field)
                << pane->objectName().toStdString() << " " << c.word;
            // The click's own work is as it was: the pane widened, its text on the clipboard.
            EXPECT_GT(pane->width(), 400);
            EXPECT_EQ(QApplication::clipboard()->text(), receive_pane_text(*pane));
            if (QString(c.word) == c.field) {
                EXPECT_EQ(form->focusWidget(), form->Memo4) << c.word;
            }
        }
    }
    // The transmit pane's double click still selects a word there.
    form->Memo4->setPlainText("G4ABC DE G3XYZ");
    double_click(form->Memo4, "G4ABC");
    EXPECT_EQ(form->Memo4->textCursor().selectedText(), "G4ABC");
    EXPECT_EQ(form->Memo6->toPlainText(), "9A1AA");
}

// The button beside the bottom row is there only once the window has room for it.
TEST_F(Contact, TheLogButtonShowsOnlyInAGrownWindow) {
    start();
    form->show();
    EXPECT_TRUE(form->LogContactButton->isHidden());
    form->centralWidget()->resize(TForm1::kClientWidth + 120, TForm1::kClientHeight);
    ASSERT_FALSE(form->LogContactButton->isHidden());
    form->LogContactButton->click();
    EXPECT_NE(form->log_contact_dialog(), nullptr);
}

// Without a source of its own, the dialog takes the RF frequency from the dial the window knows.
TEST_F(Contact, TheDialGivesTheLoggedFrequency) {
    {
        AppSettings typed(path("quavel.ini"));
        typed.set_dial_frequency_hz(14'070'000);
    }
    start();
    form->station().set_centre_frequency(1500);
    form->DialTimerTick();
    LogContactDialog* dialog = open_dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->FreqEdit->text(), "14.0715");
    EXPECT_EQ(dialog->BandEdit->text(), "20m");
}

TEST_F(Contact, LoggedFromTheWindowFilledInAndReadBack) {
    start("<CALL:5>G4ABC<QSO_DATE:8>20261130<TIME_ON:4>1400<FREQ:6>14.070<EOR>\n");
    form->set_rf_frequency_source([] { return std::optional<double>(14070500.0); });
    QTest::keyClicks(form->Memo6, "g4abc");
    EXPECT_TRUE(form->windowTitle().endsWith("G4ABC worked 2026-11-30 14.070 MHz"))
        << form->windowTitle().toStdString();
    form->Memo4->setPlainText("typed ahead");

    LogContactDialog* dialog = open_dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->CallEdit->text(), "G4ABC");
    EXPECT_EQ(dialog->FreqEdit->text(), "14.0705");
    EXPECT_EQ(dialog->BandEdit->text(), "20m");
    EXPECT_EQ(dialog->ModeEdit->text(), "MFSK");
    EXPECT_EQ(dialog->SubmodeEdit->text(), "QUAVEL");
    EXPECT_EQ(dialog->RstSentEdit->text(), "599");
    EXPECT_EQ(dialog->RstRcvdEdit->text(), "599");
    EXPECT_LE(dialog->StartEdit->text(), dialog->EndEdit->text());
    dialog->NameEdit->setText("Jo");
    dialog->GridEdit->setText("IO91");
    dialog->SubmodeEdit->setText("QUAVEL2");
    std::vector<std::string> told;
    QObject::connect(form.get(), &TForm1::contact_logged,
                     [&](const quavel::QsoRecord& q) { told.push_back(q.call); });
    dialog->accept();
    EXPECT_EQ(told, std::vector<std::string>{"G4ABC"});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(form->log_contact_dialog(), nullptr);

    const quavel::AdifRead read = log();
    ASSERT_EQ(read.records.size(), 2u);
    const quavel::AdifRecord& r = read.records[1];
    for (const auto& [name, value] : {std::pair{"CALL", "G4ABC"},
                                      {"FREQ", "14.0705"},
                                      {"BAND", "20m"},
                                      {"MODE", "MFSK"},
                                      {"SUBMODE", "QUAVEL2"},
                                      {"STATION_CALLSIGN", "G3XYZ"},
                                      {"NAME", "Jo"},
                                      {"GRIDSQUARE", "IO91"},
                                      {"RST_RCVD", "599"},
                                      {"QTH", "<none>"}})
        EXPECT_EQ(field(r, name), value) << name;
    EXPECT_EQ(settings->log_submode(), "QUAVEL2");
    EXPECT_TRUE(form->windowTitle().endsWith("(2 contacts)"));
    EXPECT_EQ(form->Memo6->toPlainText(), "G4ABC");
    EXPECT_EQ(form->Memo4->toPlainText(), "typed ahead");
    EXPECT_TRUE(messages.messages().empty());
}

TEST_F(Contact, AnUnknownFrequencyIsLeftForTheOperator) {
    start();
    form->Memo6->setPlainText("9A1AA");
    LogContactDialog* dialog = open_dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->FreqEdit->text(), "");
    dialog->accept();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->ProblemLabel->isHidden());
    EXPECT_FALSE(QFile::exists(path("log.adi")));
    QTest::keyClicks(dialog->FreqEdit, "7.0425");
    EXPECT_EQ(dialog->BandEdit->text(), "40m");
    dialog->accept();
    ASSERT_EQ(log().records.size(), 1u);
    EXPECT_EQ(field(log().records[0], "BAND"), "40m");
}

// The log turned out no file: refused with a box only once nothing is on the air, and the
// window keeps what the operator typed.
TEST_F(Contact, ARefusedLogIsToldAfterTheTransmissionAndTheFieldsStay) {
    write_file(dir.path(), "KEYSETUP.INI", "G3XYZ  COM1 NONE");
    start();
    ASSERT_TRUE(QDir(dir.path()).mkdir("log.adi"));
    form->Memo6->setPlainText("G4ABC");
    form->set_rf_frequency_source([] { return std::optional<double>(14070500.0); });
    form->Button1->click();
    ASSERT_TRUE(form->station().transmitting());
    LogContactDialog* dialog = open_dialog();
    ASSERT_NE(dialog, nullptr);
    dialog->NameEdit->setText("Jo");
    bool told = false;
    QObject::connect(form.get(), &TForm1::contact_logged, [&] { told = true; });
    dialog->accept();
    QCoreApplication::processEvents();
    EXPECT_FALSE(told);
    EXPECT_TRUE(messages.messages().empty());
    form->Button1->click();
    form->station().settle_keying(); // the box waits for the release
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_NE(messages.messages()[0].text.find("directory"), std::string::npos);
    EXPECT_EQ(form->log_contact_dialog(), dialog);
    EXPECT_EQ(dialog->NameEdit->text(), "Jo");
}

TEST_F(Contact, AChosenLogThatIsNoFileIsRefused) {
    start();
    const std::string fifo = path("fifo.adi").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    form->set_contact_log(path("fifo.adi"));
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_NE(messages.messages()[0].text.find("FIFO"), std::string::npos);
    EXPECT_EQ(form->contact_log().path(), path("log.adi"));
    EXPECT_EQ(settings->contact_log(), path("log.adi"));
    form->set_contact_log(path("other.adi"));
    EXPECT_EQ(settings->contact_log(), path("other.adi"));
}

// Read once at start: a record cut short by a crash is skipped with a notice, the others count.
TEST_F(Contact, ALogCutShortIsReadWithANoticeAtStart) {
    write_file(dir.path(), "log.adi",
               "<CALL:5>G4ABC<QSO_DATE:8>20261130<EOR>\n<CALL:5>K1ABC<QSO_DA");
    AppSettings(path("quavel.ini")).set_contact_log(path("log.adi"));
    create_form();
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_NE(messages.messages()[0].text.find("incomplete"), std::string::npos);
    EXPECT_EQ(form->contact_log().index().size(), 1u);
}

TEST_F(Contact, TheDefaultLogAndItsFolderAreMadeOnFirstUse) {
    ContactLog log;
    EXPECT_TRUE(log.open(ContactLog::default_path()).empty());
    ASSERT_FALSE(QFile::exists(ContactLog::default_path()));
    quavel::QsoRecord record;
    record.call = "G4ABC";
    record.freq_mhz = 14.07;
    EXPECT_EQ(log.append(record, 0), "");
    EXPECT_EQ(
        quavel::read_adif(read_file(QFileInfo(log.path()).path(), "quavel.adi")).records.size(),
        1u);
    EXPECT_EQ(log.worked("G4ABC/P"), "worked 1970-01-01 14.070 MHz");
    QFile::remove(log.path());
}

TEST_F(Contact, LogOnTheCommandLine) {
    const std::string fifo = path("fifo.adi").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        QStringList args;
        const char* error; // empty: accepted
    } cases[] = {
        {{"--log", path("run.adi")}, ""},
        {{"--log"}, "Missing value"},
        {{"--log", ""}, "needs a file"},
        {{"--log", dir.path()}, "directory"},
        {{"--log", path("fifo.adi")}, "FIFO"},
        {{"--log", path("no/such/x.adi")}, "folder does not exist"},
        {{"--log", path("a.adi"), "--log", path("b.adi")}, "more than once"},
        {{"--logg", path("a.adi")}, "Unknown option"},
    };
    for (const auto& c : cases) {
        const ParsedCommandLine parsed = parse_console_options(QStringList{"quavel"} + c.args);
        EXPECT_NE(parsed.error.find(c.error), std::string::npos)
            << c.args.join(' ').toStdString() << ": " << parsed.error;
        EXPECT_EQ(parsed.ok(), std::string(c.error).empty()) << c.args.join(' ').toStdString();
    }
    const ParsedCommandLine parsed = parse_console_options({"quavel", "--log", path("run.adi")});
    create_form(parsed.options);
    EXPECT_EQ(form->contact_log().path(), path("run.adi"));
}

} // namespace
