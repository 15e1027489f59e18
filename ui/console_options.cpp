#include "ui/console_options.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <optional>
#include <set>
#include <string_view>

#include "platform/wav/wav_file.h"
#include "station/adif_log.h"
#include "ui/logger_link.h"

namespace {

// A file name as the C library wants it.
std::string local_path(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

std::string check_rx_log(const QString& path) {
    QFile log(path);
    if (QFileInfo(path).isDir() || !log.open(QIODevice::WriteOnly | QIODevice::Append))
        return "Cannot open the receive log \"" + path.toStdString() + "\" for appending" +
               (log.errorString().isEmpty() ? "" : ": " + log.errorString().toStdString());
    return {};
}

std::string check_audio_out(const QString& path, const QString& audio_in) {
    const QFileInfo target(path);
    if (target.isDir()) return "--audio-out names a folder: \"" + path.toStdString() + "\"";
    const QFileInfo folder(target.absolutePath());
    if (!folder.isDir())
        return "The folder of --audio-out does not exist: \"" + folder.filePath().toStdString() +
               "\"";
    if (!folder.isWritable())
        return "Cannot write into the folder of --audio-out: \"" + folder.filePath().toStdString() +
               "\"";
    if (!audio_in.isEmpty() && QFileInfo(audio_in).absoluteFilePath() == target.absoluteFilePath())
        return "--audio-out would overwrite the recording given to --audio-in";
    return {};
}

// The parser with every option of the console.
struct Parser {
    Parser() {
        parser.setApplicationDescription(
            "Quavel: sound-card modem and operating console for keyboard-to-keyboard Quavel.");
        parser.addOptions({help, audio_in, audio_out, rx_log, log, com, input_device, output_device,
                           desktop, logger_udp, api});
    }
    std::string help_text() const {
        // The usage line names the program as it is called, also before the application exists
        // (when Qt knows no name for it).
        QString text = parser.helpText();
        text.replace(0, text.indexOf('\n'), "Usage: quavel [options]");
        return text.toStdString();
    }

    QCommandLineParser parser;
    const QCommandLineOption help{{"h", "help"}, "Shows these options."};
    const QCommandLineOption audio_in{
        "audio-in",
        "Receive from FILE.wav (8000 Hz, 16-bit, mono), played at its own speed, instead of the "
        "sound card.",
        "FILE.wav"};
    const QCommandLineOption audio_out{
        "audio-out",
        "Transmit into FILE.wav instead of the sound card: every transmission of the run, in "
        "order, written out when the program ends.",
        "FILE.wav"};
    const QCommandLineOption rx_log{
        "rx-log",
        "Log the contact to FILE, appended: a UTC header line at each start of receiving and of "
        "sending, the left receive pane's text and the text sent.",
        "FILE"};
    const QCommandLineOption log{
        "log",
        "Log contacts (File > Log Contact...) to FILE.adi, an ADIF file, for this run instead of "
        "the one chosen in File > Choose Log File...",
        "FILE.adi"};
    const QCommandLineOption com{
        "com", "Key the PTT port COMn through DEVICE (e.g. COM1=/dev/ttyUSB0); repeatable.",
        "COMn=DEVICE"};
    const QCommandLineOption input_device{
        "input-device",
        "Capture from DEVICE: its id, its name or a part of its name that fits no other "
        "('quavel-modem devices' lists them). Overrides the device chosen in Sound & Rig.",
        "DEVICE"};
    const QCommandLineOption output_device{
        "output-device",
        "Play on DEVICE, named as for --input-device. Overrides the device chosen in Sound & "
        "Rig.",
        "DEVICE"};
    const QCommandLineOption desktop{
        "desktop", "Work in the program's own folder under the user's data folder (created on "
                   "first start), as when started from the desktop menu."};
    const QCommandLineOption logger_udp{
        "logger-udp",
        "Send each contact logged to the logger listening at HOST:PORT (UDP, e.g. "
        "127.0.0.1:2237 or a multicast group such as 224.0.0.73:2237), for this run.",
        "HOST:PORT"};
    const QCommandLineOption api{
        "api",
        "Listen for programs on PORT of 127.0.0.1 (or the address chosen in the settings) for "
        "this run; 0 or off: no control API.",
        "PORT"};
};

} // namespace

std::optional<std::string> console_help(const QStringList& arguments) {
    Parser p;
    // Other options may be wrong or belong to Qt: help is shown all the same.
    p.parser.parse(arguments);
    if (!p.parser.isSet(p.help)) return std::nullopt;
    return p.help_text();
}

ParsedCommandLine parse_console_options(const QStringList& arguments) {
    ParsedCommandLine result;
    Parser p;
    QCommandLineParser& parser = p.parser;
    const QCommandLineOption& audio_in = p.audio_in;
    const QCommandLineOption& audio_out = p.audio_out;
    const QCommandLineOption& rx_log = p.rx_log;
    const QCommandLineOption& com = p.com;

    if (!parser.parse(arguments)) {
        result.error = parser.errorText().toStdString();
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.error =
            "Unexpected argument \"" + parser.positionalArguments().first().toStdString() + "\"";
        return result;
    }
    for (const QCommandLineOption* single : {&audio_in, &audio_out, &rx_log, &p.log,
                                             &p.input_device, &p.output_device, &p.logger_udp}) {
        if (parser.values(*single).size() > 1) {
            result.error = "--" + single->names().first().toStdString() + " given more than once";
            return result;
        }
    }

    ConsoleOptions& options = result.options;
    if (parser.isSet(audio_in)) {
        options.audio_in = local_path(parser.value(audio_in));
        quavel::WavData wav = quavel::read_wav(options.audio_in);
        if (!wav.ok()) {
            result.error = wav.error;
            return result;
        }
        options.audio_in_samples = std::move(wav.samples);
    }
    if (parser.isSet(audio_out)) {
        const QString path = parser.value(audio_out);
        if (std::string error = check_audio_out(path, parser.value(audio_in)); !error.empty()) {
            result.error = error;
            return result;
        }
        // Absolute: the console may change its working directory (--desktop).
        options.audio_out = local_path(QFileInfo(path).absoluteFilePath());
    }
    if (parser.isSet(rx_log)) {
        const QString path = parser.value(rx_log);
        if (std::string error = check_rx_log(path); !error.empty()) {
            result.error = error;
            return result;
        }
        options.rx_log = local_path(QFileInfo(path).absoluteFilePath());
    }
    if (parser.isSet(p.log)) {
        const QString path = parser.value(p.log);
        if (path.isEmpty()) {
            result.error = "--log needs a file";
            return result;
        }
        const std::string absolute = local_path(QFileInfo(path).absoluteFilePath());
        if (const std::string problem = quavel::adif_log_problem(absolute); !problem.empty()) {
            result.error = "Cannot log contacts to \"" + path.toStdString() + "\": " + problem;
            return result;
        }
        options.contact_log = absolute;
    }
    for (const auto& [option, out] : {std::pair{&p.input_device, &options.input_device},
                                      std::pair{&p.output_device, &options.output_device}}) {
        if (!parser.isSet(*option)) continue;
        *out = parser.value(*option).toStdString();
        if (out->empty()) {
            result.error = "--" + option->names().first().toStdString() + " needs a device";
            return result;
        }
    }
    if (!options.audio_in.empty() && !options.input_device.empty()) {
        result.error = "--input-device and --audio-in both name the input; give one";
        return result;
    }
    if (!options.audio_out.empty() && !options.output_device.empty()) {
        result.error = "--output-device and --audio-out both name the output; give one";
        return result;
    }
    options.desktop = parser.isSet(p.desktop);
    if (parser.isSet(p.logger_udp)) {
        const QString text = parser.value(p.logger_udp);
        if (!parse_logger_endpoint(text)) {
            result.error = "--logger-udp needs HOST:PORT with a numeric address (or localhost) "
                           "and a port 1..65535, not \"" +
                           text.toStdString() + "\"";
            return result;
        }
        options.logger_udp = text.trimmed().toStdString();
    }
    if (parser.isSet(p.api)) {
        if (parser.values(p.api).size() > 1) {
            result.error = "--api given more than once";
            return result;
        }
        const QString value = parser.value(p.api).trimmed();
        bool ok = false;
        const int port = value.toInt(&ok);
        if (value.compare("off", Qt::CaseInsensitive) == 0) {
            options.api_port = 0;
        } else if (ok && port >= 0 && port <= 65535) {
            options.api_port = port;
        } else {
            result.error =
                "--api must be a port 1..65535, or 0 or off, not \"" + value.toStdString() + "\"";
            return result;
        }
    }
    std::set<unsigned> mapped;
    for (const QString& entry : parser.values(com)) {
        const std::string text = entry.toStdString();
        std::string error;
        if (!options.com_ports.add(text, error)) {
            result.error = "--com: " + error;
            return result;
        }
        const unsigned port =
            quavel::com_port_number(std::string_view(text).substr(0, text.find('=')));
        if (!mapped.insert(port).second) {
            result.error = "--com: COM" + std::to_string(port) + " is mapped more than once";
            return result;
        }
    }
    return result;
}

QString desktop_working_folder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/quavel");
}

std::string enter_desktop_working_folder(const QString& folder) {
    if (!QDir().mkpath(folder) || !QDir::setCurrent(folder))
        return "Cannot work in the folder \"" + folder.toStdString() + "\"";
    return {};
}
