// The main window's part in completing a contact: capturing the other station's call from a
// receive pane, the contact log's menu items and window, and what the window shows of a call
// worked before. Kept apart from the form's own handlers in quavel25.cpp.
#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <ctime>

#include "station/adif_log.h"
#include "station/callsign.h"
#include "ui/app_settings.h"
#include "ui/contact_log.h"
#include "ui/log_contact_dialog.h"
#include "ui/memo.h"
#include "ui/quavel25.h"

void TForm1::create_contact_log(const ConsoleOptions& options) {
    // Before the separator above Exit.
    const QList<QAction*> items = File1->actions();
    const qsizetype exit = items.indexOf(Exit1);
    QAction* before = exit > 0 ? items[exit - 1] : Exit1;
    LogContact1 = new QAction("Log &Contact...", File1);
    LogContact1->setObjectName("LogContact1");
    LogContact1->setShortcut(QKeySequence(Qt::CTRL | kLogContactKey));
    LogContact1->setShortcutContext(Qt::WindowShortcut);
    ChooseLogFile1 = new QAction("C&hoose Log File...", File1);
    ChooseLogFile1->setObjectName("ChooseLogFile1");
    File1->insertAction(before, LogContact1);
    File1->insertAction(before, ChooseLogFile1);
    connect(LogContact1, &QAction::triggered, this, &TForm1::LogContact1Click);
    LogContactButton = new QPushButton("Log Contact", centralWidget());
    LogContactButton->setObjectName("LogContactButton");
    LogContactButton->setFocusPolicy(Qt::NoFocus);
    LogContactButton->hide();
    connect(LogContactButton, &QPushButton::clicked, this, &TForm1::LogContact1Click);
    connect(ChooseLogFile1, &QAction::triggered, this, [this] {
        const QString folder = QFileInfo(contact_log_->path()).absolutePath();
        // Not modal and no nested event loop: the station may be on the air meanwhile, and
        // "Tx OFF" must stay within reach.
        auto* chooser =
            new QFileDialog(this, "Choose Log File", folder, "ADIF logs (*.adi);;All files (*)");
        chooser->setObjectName("ChooseLogFileDialog");
        chooser->setAcceptMode(QFileDialog::AcceptSave);
        chooser->setOption(QFileDialog::DontConfirmOverwrite);
        chooser->setDefaultSuffix("adi");
        chooser->setAttribute(Qt::WA_DeleteOnClose);
        chooser->setWindowModality(Qt::NonModal);
        chooser->selectFile(contact_log_->path());
        connect(chooser, &QFileDialog::fileSelected, this, &TForm1::set_contact_log);
        chooser->show();
    });

    // A double click on a callsign in either receive pane; a single click widens the pane as
    // it always has.
    for (Memo* pane : {Memo1, Memo2}) {
        pane->set_captures_words(true);
        connect(pane, &Memo::wordDoubleClicked, this,
                [this, pane](int position) { capture_call(*pane, position); });
    }
    connect(Memo6, &QPlainTextEdit::textChanged, this, &TForm1::other_station_changed);
    // After Button1Click: a transmission to the call in Memo6 may start a new contact with it.
    connect(Button1, &QPushButton::clicked, this, [this] {
        if (station_->transmitting() && !contact_start_ &&
            !Memo6->toPlainText().trimmed().isEmpty())
            contact_start_ = std::time(nullptr);
    });

    contact_log_ = std::make_unique<ContactLog>();
    const QString chosen = settings_->contact_log();
    const QString path = !options.contact_log.empty()
                             ? QFile::decodeName(QByteArray::fromStdString(options.contact_log))
                         : chosen.isEmpty() ? ContactLog::default_path()
                                            : chosen;
    for (const std::string& notice : contact_log_->open(path))
        station_->messages().show(notice, kLogTitle, quavel::MessageIcon::Warning);
}

void TForm1::set_rf_frequency_source(std::function<std::optional<double>()> rf_hz) {
    rf_hz_ = std::move(rf_hz);
}

void TForm1::set_contact_log(const QString& path) {
    const QString target = path.isEmpty() ? ContactLog::default_path() : path;
    // The default log's folder is made on first use, so it may not exist yet.
    if (!path.isEmpty()) {
        const std::string problem = quavel::adif_log_problem(
            QFile::encodeName(QFileInfo(target).absoluteFilePath()).toStdString());
        if (!problem.empty()) {
            station_->messages().show("Cannot log contacts to " + target.toStdString() + ": " +
                                          problem + "\nContacts go on to " +
                                          contact_log_->path().toStdString() + ".",
                                      kLogTitle, quavel::MessageIcon::Warning);
            return;
        }
    }
    settings_->set_contact_log(path);
    settings_->sync();
    for (const std::string& notice : contact_log_->open(target))
        station_->messages().show(notice, kLogTitle, quavel::MessageIcon::Warning);
    show_worked_before();
}

void TForm1::capture_call(Memo& pane, int position) {
    // Positions count characters of toPlainText(); anything beyond ASCII is no part of a call.
    const QString text = pane.toPlainText();
    std::string plain(static_cast<size_t>(text.size()), ' ');
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i].unicode() < 0x80) plain[static_cast<size_t>(i)] = text[i].toLatin1();
    const quavel::WordSpan span =
        quavel::word_at(plain, static_cast<size_t>(std::max(0, position)));
    take_other_station(plain.substr(span.begin, span.end - span.begin));
}

void TForm1::take_other_station(std::string word) {
    if (!quavel::looks_like_callsign(word)) return;
    for (char& c : word)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    Memo6->setPlainText(QString::fromStdString(word));
    Memo6->moveCursor(QTextCursor::End);
    // A new call is a new contact, whatever was in the field before.
    contact_start_ = std::time(nullptr);
    Memo4->setFocus();
}

void TForm1::other_station_changed() {
    if (Memo6->toPlainText().trimmed().isEmpty())
        contact_start_.reset();
    else if (!contact_start_)
        contact_start_ = std::time(nullptr);
    show_worked_before();
}

void TForm1::show_worked_before() {
    const std::string call = Memo6->toPlainText().trimmed().toStdString();
    const QString worked =
        call.empty() ? QString() : QString::fromStdString(contact_log_->worked(call));
    if (worked == worked_before_) return;
    worked_before_ = worked;
    // The caption has the room at every size of the window; the field's tip says it too.
    setWindowTitle(
        worked.isEmpty()
            ? QString(kCaption)
            : QStringLiteral("%1- %2 %3").arg(kCaption, QString::fromStdString(call), worked));
    Memo6->setToolTip(worked);
}

void TForm1::LogContact1Click() {
    if (log_dialog_) {
        log_dialog_->raise();
        log_dialog_->activateWindow();
        return;
    }
    const std::time_t now = std::time(nullptr);
    LogContactDialog::Prefill prefill;
    prefill.call = Memo6->toPlainText().trimmed();
    prefill.start_utc = contact_start_.value_or(now);
    prefill.end_utc = now;
    if (rf_hz_) prefill.rf_hz = rf_hz_();
    prefill.mode = settings_->log_mode();
    prefill.submode = settings_->log_submode();
    prefill.station_callsign = station_->settings().callsign;
    log_dialog_ = new LogContactDialog(
        prefill, [this](const quavel::QsoRecord& record) { return log_contact(record); }, this);
    log_dialog_->setAttribute(Qt::WA_DeleteOnClose);
    log_dialog_->setWindowModality(Qt::NonModal);
    connect(log_dialog_, &LogContactDialog::logged, this, [this](const quavel::QsoRecord& record) {
        // Mode and submode as the operator last logged them are the next defaults.
        settings_->set_log_mode(QString::fromStdString(record.mode));
        settings_->set_log_submode(QString::fromStdString(record.submode));
        settings_->sync();
    });
    connect(log_dialog_, &LogContactDialog::refused, this, [this](const QString& why) {
        // After the window's own handler has returned; the station holds the box while a
        // keying is under way or the transmitter is on the air.
        const std::string text = "Cannot log the contact to " + contact_log_->path().toStdString() +
                                 ": " + why.toStdString() +
                                 "\nThe Log Contact window keeps what was entered.";
        QMetaObject::invokeMethod(
            this,
            [this, text] {
                station_->messages().show(text, kLogTitle, quavel::MessageIcon::Warning);
            },
            Qt::QueuedConnection);
    });
    log_dialog_->show();
}

std::string TForm1::log_contact(const quavel::QsoRecord& record) {
    std::string why = contact_log_->append(record, std::time(nullptr));
    if (!why.empty()) return why;
    // Logged from the window or by a program: the next contact starts afresh, and the call
    // now shows as worked.
    contact_start_.reset();
    worked_before_.clear();
    show_worked_before();
    emit contact_logged(record);
    return why;
}

LogContactDialog* TForm1::log_contact_dialog() const {
    return log_dialog_;
}
