// The console: parses the command line, creates the devices and the main window, and runs the
// event loop until the window closes.
#include <QStringList>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include "platform/hamlib/rig_guardian.h"
#include "platform/qt/qt_message_box.h"
#include "ui/app_settings.h"
#include "ui/console_api.h"
#include "ui/console_devices.h"
#include "ui/console_options.h"
#include "ui/quavel25.h"
#include "ui/quavel_application.h"
#include "ui/quit_on_signal.h"

int main(int argc, char** argv) {
    // A rig's guardian is this program run again (platform/hamlib/rig_guardian.h): before anything
    // of Qt's exists.
    if (const std::optional<int> guardian = quavel::rig_guardian_main(argc, argv)) return *guardian;
    // Help needs no display: shown before the application exists.
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    if (const std::optional<std::string> help = console_help(raw)) {
        std::fputs(help->c_str(), stdout);
        return 0;
    }

    // The application takes its own options (-platform, -style...) out of the command line.
    QuavelApplication app(argc, argv);
    // The application has taken the environment's locale. Numbers in the C library (hamlib's
    // rig commands above all, which switch the numeric locale process-wide whenever it is not
    // "C") keep the C form, set once here before any audio or keying thread runs; the window
    // formats its numbers with Qt, which does not look at it.
    std::setlocale(LC_NUMERIC, "C");
    ParsedCommandLine command_line = parse_console_options(QApplication::arguments());
    if (!command_line.ok()) {
        std::fprintf(stderr, "quavel: %s\nTry 'quavel --help'.\n", command_line.error.c_str());
        return 2;
    }
    if (command_line.options.desktop) {
        const std::string error = enter_desktop_working_folder(desktop_working_folder());
        if (!error.empty()) {
            std::fprintf(stderr, "quavel: %s\n", error.c_str());
            return 1;
        }
    }
    quit_on_signal(app);
    // An --audio-out FIFO whose reader goes away fails the write, not the whole program with
    // the transmitter keyed.
    std::signal(SIGPIPE, SIG_IGN);
    quavel::QtMessageBox messages;
    app.set_message_sink(&messages);
    try {
        // The devices outlive the window, whose station uses them to the end.
        AppSettings settings;
        const SoundDeviceChoice choice = choose_sound_devices(command_line.options, &settings);
        if (!choice.error.empty()) {
            std::fprintf(stderr, "quavel: %s\n", choice.error.c_str());
            return 2;
        }
        ConsoleDevices devices = make_console_devices(command_line.options, choice);
        int code = 0;
        {
            TForm1 Form1(messages, command_line.options, {}, &settings);
            Form1.station().set_audio_input(devices.input.get());
            Form1.station().set_audio_output(devices.output.get());
            Form1.set_keying_devices(devices.serial_ptt.get(), devices.cat_ptt.get());
            Form1.set_sound_devices(devices.sound_input, devices.sound_output);
            Form1.show();
            // The control API, for this window's life; it tells its own troubles.
            ConsoleApi api(Form1, settings, command_line.options.api_port);
            for (const std::string& notice : choice.notices)
                messages.show(notice, "Quavel", quavel::MessageIcon::Warning);
            code = app.exec();
        }
        // The window has cut the sound and released the transmitter; now the --audio-out file
        // is finished, and a file that could not be kept must not pass for one that was.
        if (const std::string error = devices.finish_output(); !error.empty()) {
            std::fprintf(stderr, "quavel: %s\n", error.c_str());
            return 1;
        }
        return code;
    } catch (const std::exception& e) {
        app.report_exception(e.what());
    } catch (...) {
        app.report_exception("Unknown error");
    }
    // Whatever escaped the window's creation or the event loop ended the program: say so.
    return 1;
}
