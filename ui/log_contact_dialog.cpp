#include "ui/log_contact_dialog.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimeZone>
#include <QVBoxLayout>

namespace {

QString utc_text(std::time_t t) {
    return QDateTime::fromSecsSinceEpoch(t).toUTC().toString(LogContactDialog::kTimeFormat);
}

std::optional<std::time_t> parse_utc(const QString& text) {
    const QDateTime typed = QDateTime::fromString(text.trimmed(), LogContactDialog::kTimeFormat);
    if (!typed.isValid()) return std::nullopt;
    return QDateTime(typed.date(), typed.time(), QTimeZone::utc()).toSecsSinceEpoch();
}

QString mhz_text(double hz) {
    QString text = QString::number(hz / 1e6, 'f', 6);
    while (text.size() > text.indexOf('.') + 4 && text.endsWith('0'))
        text.chop(1);
    return text;
}

std::optional<double> parse_mhz(const QString& text) {
    bool ok = false;
    const double mhz = QString(text.trimmed()).replace(',', '.').toDouble(&ok);
    if (!ok || !(mhz > 0) || mhz > 300000) return std::nullopt;
    return mhz;
}

std::string utf8(const QLineEdit* edit) {
    return edit->text().trimmed().toStdString();
}

} // namespace

LogContactDialog::LogContactDialog(const Prefill& prefill, Append append, QWidget* parent)
    : QDialog(parent), append_(std::move(append)), station_callsign_(prefill.station_callsign) {
    setObjectName("LogContactDialog");
    setWindowTitle(kTitle);
    const auto edit = [this](const char* name, const QString& text) {
        auto* e = new QLineEdit(text, this);
        e->setObjectName(name);
        return e;
    };
    CallEdit = edit("CallEdit", prefill.call);
    StartEdit = edit("StartEdit", utc_text(prefill.start_utc));
    EndEdit = edit("EndEdit", utc_text(prefill.end_utc));
    FreqEdit = edit("FreqEdit", prefill.rf_hz ? mhz_text(*prefill.rf_hz) : QString());
    FreqEdit->setPlaceholderText("e.g. 14.0705");
    BandEdit = edit("BandEdit", {});
    ModeEdit = edit("ModeEdit", prefill.mode);
    SubmodeEdit = edit("SubmodeEdit", prefill.submode);
    RstSentEdit = edit("RstSentEdit", "599");
    RstRcvdEdit = edit("RstRcvdEdit", "599");
    NameEdit = edit("NameEdit", {});
    QthEdit = edit("QthEdit", {});
    GridEdit = edit("GridEdit", {});
    CommentEdit = edit("CommentEdit", {});
    ProblemLabel = new QLabel(this);
    ProblemLabel->setObjectName("ProblemLabel");
    QPalette red = ProblemLabel->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    ProblemLabel->setPalette(red);
    ProblemLabel->setWordWrap(true);
    ProblemLabel->hide();
    follow_frequency();
    connect(FreqEdit, &QLineEdit::textEdited, this, &LogContactDialog::follow_frequency);

    auto* form = new QFormLayout;
    form->addRow("&Call", CallEdit);
    form->addRow("&Start (UTC)", StartEdit);
    form->addRow("&End (UTC)", EndEdit);
    form->addRow("&Frequency (MHz)", FreqEdit);
    form->addRow("&Band", BandEdit);
    form->addRow("&Mode", ModeEdit);
    form->addRow("Su&bmode", SubmodeEdit);
    form->addRow("RST s&ent", RstSentEdit);
    form->addRow("RST &received", RstRcvdEdit);
    form->addRow("&Name", NameEdit);
    form->addRow("&QTH", QthEdit);
    form->addRow("&Grid", GridEdit);
    form->addRow("C&omment", CommentEdit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName("Buttons");
    connect(buttons, &QDialogButtonBox::accepted, this, &LogContactDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &LogContactDialog::reject);
    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addWidget(ProblemLabel);
    column->addWidget(buttons);
    // A call captured or typed already: the operator goes on with the name.
    (prefill.call.isEmpty() ? CallEdit : NameEdit)->setFocus();
}

void LogContactDialog::follow_frequency() {
    const std::optional<double> mhz = parse_mhz(FreqEdit->text());
    const std::string_view band = mhz ? quavel::adif_band(*mhz) : std::string_view();
    // Outside the table the operator's own entry stays.
    if (!band.empty()) BandEdit->setText(QString::fromLatin1(band.data(), band.size()));
}

std::optional<quavel::QsoRecord> LogContactDialog::record() const {
    QString problem;
    quavel::QsoRecord r;
    r.call = utf8(CallEdit);
    for (char& c : r.call)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const std::optional<std::time_t> start = parse_utc(StartEdit->text());
    const std::optional<std::time_t> end = parse_utc(EndEdit->text());
    const std::optional<double> mhz = parse_mhz(FreqEdit->text());
    if (r.call.empty() || r.call.find(' ') != std::string::npos)
        problem = "Enter the other station's call.";
    else if (!start || !end)
        problem = QStringLiteral("Enter the times as %1 (UTC).").arg(kTimeFormat);
    else if (*end < *start)
        problem = "The contact ends before it starts.";
    else if (!mhz)
        problem = "Enter the RF frequency in MHz.";
    else if (BandEdit->text().trimmed().isEmpty())
        problem = "Enter the band: the frequency is in none of the amateur bands.";
    else if (ModeEdit->text().trimmed().isEmpty())
        problem = "Enter the mode.";
    ProblemLabel->setText(problem);
    ProblemLabel->setVisible(!problem.isEmpty());
    if (!problem.isEmpty()) return std::nullopt;
    r.start_utc = *start;
    r.end_utc = *end;
    r.freq_mhz = *mhz;
    r.band = utf8(BandEdit);
    r.mode = utf8(ModeEdit);
    r.submode = utf8(SubmodeEdit);
    r.rst_sent = utf8(RstSentEdit);
    r.rst_rcvd = utf8(RstRcvdEdit);
    r.station_callsign = station_callsign_;
    r.name = utf8(NameEdit);
    r.qth = utf8(QthEdit);
    r.gridsquare = utf8(GridEdit);
    r.comment = utf8(CommentEdit);
    return r;
}

void LogContactDialog::accept() {
    const std::optional<quavel::QsoRecord> r = record();
    if (!r) return;
    const std::string error = append_ ? append_(*r) : std::string("no log");
    if (!error.empty()) {
        emit refused(QString::fromStdString(error));
        return;
    }
    emit logged(*r);
    QDialog::accept();
}
