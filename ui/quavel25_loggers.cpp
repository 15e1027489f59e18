// The window's part in the link to loggers: Options > Loggers and its address window, the
// status the loggers follow, each contact as it is logged, and a logger's HaltTx. The messages
// themselves are LoggerLink's.
#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "link/wsjtx_message.h"
#include "ui/app_settings.h"
#include "ui/logger_link.h"
#include "ui/memo.h"
#include "ui/quavel25.h"
#include "ui/rig_frequency.h"

#ifndef QUAVEL_VERSION
#define QUAVEL_VERSION "0"
#endif

void TForm1::create_loggers(const ConsoleOptions& options) {
    command_line_logger_ = QString::fromStdString(options.logger_udp);
    logger_link_ = new LoggerLink(QStringLiteral(QUAVEL_VERSION), this);
    logger_link_->setObjectName("LoggerLink");

    Loggers1 = Options1->addMenu("Lo&ggers");
    Loggers1->setObjectName("Loggers1");
    SendToLoggers1 = Loggers1->addAction("&Send Contacts to Loggers (UDP)");
    SendToLoggers1->setObjectName("SendToLoggers1");
    SendToLoggers1->setCheckable(true);
    SendToLoggers1->setToolTip("Each contact logged goes at once to loggers that listen for "
                               "digital-mode programs (JTAlert, GridTracker, Log4OM, N1MM...)");
    SendRawAdif1 = Loggers1->addAction("Also Send &Raw ADIF");
    SendRawAdif1->setObjectName("SendRawAdif1");
    SendRawAdif1->setCheckable(true);
    SendRawAdif1->setToolTip("The contact's ADIF record as one plain datagram as well, to the "
                             "port set under Address...");
    LoggerAddress1 = Loggers1->addAction("&Address...");
    LoggerAddress1->setObjectName("LoggerAddress1");
    Loggers1->addSeparator();
    LoggerCount1 = Loggers1->addAction(QString());
    LoggerCount1->setObjectName("LoggerCount1");
    LoggerCount1->setEnabled(false);
    SendToLoggers1->setChecked(!command_line_logger_.isEmpty() || settings_->loggers_enabled());
    SendRawAdif1->setChecked(settings_->loggers_raw_adif());

    connect(SendToLoggers1, &QAction::toggled, this, [this](bool on) {
        settings_->set_loggers_enabled(on);
        settings_->sync();
        apply_loggers();
    });
    connect(SendRawAdif1, &QAction::toggled, this, [this](bool on) {
        settings_->set_loggers_raw_adif(on);
        settings_->sync();
        apply_loggers();
    });
    connect(LoggerAddress1, &QAction::triggered, this, &TForm1::LoggerAddress1Click);
    connect(Loggers1, &QMenu::aboutToShow, this, [this] {
        QString text = QStringLiteral("%1 datagrams sent, %2 failed")
                           .arg(logger_link_->sent())
                           .arg(logger_link_->failed());
        LoggerCount1->setText(text);
        LoggerCount1->setToolTip(logger_link_->last_error());
    });

    // After the window has logged it (and the Log Contact window has closed).
    connect(this, &TForm1::contact_logged, logger_link_, &LoggerLink::send_contact);
    // Stopped as Tx OFF stops it; nothing to do when no transmission is on.
    connect(logger_link_, &LoggerLink::halt_requested, this, [this] {
        if (Button1->text() == "Tx OFF") Button1Click();
    });
    // What the loggers follow: sent when it changed, looked at once a second and at once after
    // what changes it most.
    connect(DialTimer, &QTimer::timeout, this, [this] { show_logger_status(); });
    connect(Button1, &QPushButton::clicked, this, [this] { show_logger_status(); });
    connect(Memo6, &QPlainTextEdit::textChanged, this, [this] { show_logger_status(); });
    apply_loggers();
}

void TForm1::apply_loggers() {
    LoggerLink::Config config;
    config.enabled = SendToLoggers1->isChecked();
    const QString destination =
        !command_line_logger_.isEmpty() ? command_line_logger_ : settings_->loggers_destination();
    if (const auto endpoint = parse_logger_endpoint(destination)) config.destination = *endpoint;
    config.raw_adif = SendRawAdif1->isChecked();
    config.raw_adif_port = static_cast<quint16>(settings_->loggers_raw_adif_port());
    logger_link_->set_status(logger_status());
    logger_link_->configure(config);
}

quavel::wsjtx::Status TForm1::logger_status() const {
    quavel::wsjtx::Status s;
    const RigFrequency::Reading& dial = rig_frequency_->reading();
    if (dial.known && dial.dial_hz > 0 && dial.dial_hz < 1e15)
        s.dial_hz = static_cast<quint64>(dial.dial_hz + 0.5);
    s.mode = settings_->log_mode();
    s.tx_mode = s.mode;
    s.submode = settings_->log_submode();
    s.dx_call = Memo6->toPlainText().trimmed().section(QRegularExpression("\\s+"), 0, 0).toUpper();
    s.tx_enabled = Button1->text() == "Tx OFF";
    s.transmitting = station_->keyed();
    s.rx_df_hz = station_->centre_hz();
    s.tx_df_hz = s.rx_df_hz;
    const QString call = QString::fromStdString(station_->settings().callsign);
    s.de_call = call == QLatin1String("NOCALL") ? QString() : call;
    return s;
}

void TForm1::show_logger_status(bool always) {
    if (logger_link_) logger_link_->set_status(logger_status(), always);
}

QDialog* TForm1::logger_dialog() const {
    return logger_dialog_;
}

void TForm1::LoggerAddress1Click() {
    if (logger_dialog_) {
        logger_dialog_->raise();
        logger_dialog_->activateWindow();
        return;
    }
    // Not modal: "Tx OFF" stays within reach while it is open.
    auto* dialog = new QDialog(this);
    dialog->setObjectName("LoggerDialog");
    dialog->setWindowTitle("Loggers");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::NonModal);
    auto* destination = new QLineEdit(
        !command_line_logger_.isEmpty() ? command_line_logger_ : settings_->loggers_destination(),
        dialog);
    destination->setObjectName("LoggerDestination");
    destination->setToolTip("HOST:PORT, a numeric address or localhost: 127.0.0.1:2237, "
                            "[::1]:2237, or a multicast group such as 224.0.0.73:2237");
    auto* raw_port = new QSpinBox(dialog);
    raw_port->setObjectName("LoggerRawAdifPort");
    raw_port->setRange(1, 65535);
    raw_port->setValue(settings_->loggers_raw_adif_port());
    raw_port->setToolTip("Where the plain ADIF record goes on the same host, when Also Send Raw "
                         "ADIF is on (WaveLogGate listens on 2333)");
    auto* problem = new QLabel(dialog);
    problem->setObjectName("LoggerProblem");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    auto* form = new QFormLayout;
    form->addRow("Loggers at:", destination);
    form->addRow("Raw ADIF port:", raw_port);
    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(form);
    layout->addWidget(problem);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, dialog,
            [this, dialog, destination, raw_port, problem] {
                const auto endpoint = parse_logger_endpoint(destination->text());
                if (!endpoint) {
                    problem->setText("Give HOST:PORT with a numeric address, e.g. 127.0.0.1:2237");
                    return;
                }
                // The operator's choice takes over from --logger-udp.
                command_line_logger_.clear();
                settings_->set_loggers_destination(logger_endpoint_text(*endpoint));
                settings_->set_loggers_raw_adif_port(raw_port->value());
                settings_->sync();
                apply_loggers();
                dialog->accept();
            });
    logger_dialog_ = dialog;
    dialog->show();
}
