#include "ui/quavel_application.h"

#include <cstdio>
#include <exception>

#include "platform/devices/audio_stream_identity.h"

QuavelApplication::QuavelApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // No display name: the platform would append it to the window's caption.
    setApplicationName("quavel");
    // Before anything asks Qt for a sound device: the mixer shows the streams as "Quavel".
    quavel::set_audio_stream_identity(quavel::kConsoleStreams);
}

void QuavelApplication::report_exception(const std::string& message) {
    const std::string text = message + ".";
    if (messages_)
        messages_->show(text, kReportTitle, quavel::MessageIcon::Stop);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

bool QuavelApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        report_exception(e.what());
    } catch (...) {
        report_exception("Unknown error");
    }
    return false;
}
