// File > Log Contact...: a small window filled in from what the station knows of the contact
// (the other station's call, when it started, the RF frequency when the rig or the operator
// gave it) for the operator to complete. OK appends the contact to the log and closes the
// window only once the record is on disk; a log that cannot take it leaves the window open with
// every field as typed, and says why through refused() (the form tells the operator once the
// window's own work is done and nothing is on the air).
//
// Not modal: the station may be transmitting while the operator logs, and the window never
// holds up the form's timers or keys.
#pragma once

#include <QDialog>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "station/adif_log.h"

class QLabel;
class QLineEdit;

class LogContactDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Log Contact";
    // How times are shown and typed, always UTC.
    static constexpr const char* kTimeFormat = "yyyy-MM-dd HH:mm:ss";

    struct Prefill {
        QString call;
        std::time_t start_utc = 0;
        std::time_t end_utc = 0;
        std::optional<double> rf_hz; // unknown: the field is left empty for the operator
        QString mode = QStringLiteral("MFSK");
        QString submode = QStringLiteral("QUAVEL");
        std::string station_callsign;
    };
    // Appends a record to the log: empty on success, else why not.
    using Append = std::function<std::string(const quavel::QsoRecord&)>;

    LogContactDialog(const Prefill& prefill, Append append, QWidget* parent = nullptr);

    QLineEdit* CallEdit;
    QLineEdit* StartEdit;
    QLineEdit* EndEdit;
    QLineEdit* FreqEdit; // MHz
    QLineEdit* BandEdit; // follows the frequency; typed where the table has no band
    QLineEdit* ModeEdit;
    QLineEdit* SubmodeEdit;
    QLineEdit* RstSentEdit;
    QLineEdit* RstRcvdEdit;
    QLineEdit* NameEdit;
    QLineEdit* QthEdit;
    QLineEdit* GridEdit;
    QLineEdit* CommentEdit;
    QLabel* ProblemLabel; // what is missing or wrong in the fields, in red; hidden while none

    // The record the fields make, or nothing with the reason in ProblemLabel.
    std::optional<quavel::QsoRecord> record() const;

signals:
    // The record is in the log; the window closes.
    void logged(const quavel::QsoRecord& record);
    // The log could not take it; the window stays open with its fields.
    void refused(const QString& why);

public slots:
    void accept() override;

private:
    void follow_frequency();

    Append append_;
    std::string station_callsign_;
};
