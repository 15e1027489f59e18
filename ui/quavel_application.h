// The application object of the console. An exception that escapes an event or timer handler
// is reported in a message box with the stop sign (its message followed by "."), and the program
// goes on with the next event.
#pragma once

#include <QApplication>
#include <string>

#include "interfaces/message_sink.h"

class QuavelApplication : public QApplication {
    Q_OBJECT
public:
    QuavelApplication(int& argc, char** argv);

    // Where reports go; until one is set they go to standard error. Not owned.
    void set_message_sink(quavel::MessageSink* sink) { messages_ = sink; }
    // The title of those reports: the application's name.
    static constexpr const char* kReportTitle = "Quavel";
    // Shows an escaped exception's message: the text followed by ".".
    void report_exception(const std::string& message);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    quavel::MessageSink* messages_ = nullptr;
};
