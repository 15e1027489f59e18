#include "ui/app_settings.h"

#include <QHostAddress>
#include <QStandardPaths>

#include "link/api_protocol.h"
#include "station/pskreporter_packet.h"
#include "ui/logger_link.h"

namespace {

const char* const kInputDevice = "audio/input_device";
const char* const kOutputDevice = "audio/output_device";
const char* const kPttMethod = "keying/method";
const char* const kPttDevice = "keying/serial_device";
const char* const kRigModel = "keying/rig_model";
const char* const kRigPort = "keying/rig_port";
const char* const kRigSpeed = "keying/rig_speed";
const char* const kWatchdog = "keying/watchdog_minutes";
const char* const kReceiver = "receive/receiver";
const char* const kSquelch = "receive/squelch";
const char* const kNoiseBlanker = "receive/noise_blanker";
const char* const kBackToReceive = "transmit/back_to_receive";
const char* const kTransmitLevel = "transmit/level_db";
const char* const kFontSize = "window/pane_font_size";
const char* const kReceiveLog = "receive/log_file";
const char* const kContactLog = "log/file";
const char* const kLogMode = "log/mode";
const char* const kLogSubmode = "log/submode";
const char* const kGeometry = "window/geometry";
const char* const kBandOpen = "band/window_open";
const char* const kBandGeometry = "band/window_geometry";
const char* const kBandAge = "band/age_minutes";
const char* const kIdentifyOnTime = "transmit/identify_every_10_minutes";
const char* const kDialFrequency = "rig/dial_frequency_hz";
const char* const kDialSideband = "rig/dial_sideband";
const char* const kLoggersEnabled = "loggers/enabled";
const char* const kLoggersDestination = "loggers/destination";
const char* const kLoggersRawAdif = "loggers/raw_adif";
const char* const kLoggersRawAdifPort = "loggers/raw_adif_port";
const char* const kReportSpots = "spots/report";
const char* const kStationLocator = "spots/locator";
const char* const kSpotsHost = "spots/host";
const char* const kSpotsPort = "spots/port";
constexpr long long kHighestDialHz = 100'000'000'000LL;

QString default_path() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Quavel/quavel.ini");
}

} // namespace

AppSettings::AppSettings() : AppSettings(default_path()) {}

AppSettings::AppSettings(const QString& path)
    : file_(std::make_unique<QSettings>(path, QSettings::IniFormat)) {}

AppSettings::~AppSettings() {
    file_->sync();
}

QString AppSettings::path() const {
    return file_->fileName();
}

bool AppSettings::sync() {
    file_->sync();
    return file_->status() == QSettings::NoError;
}

QString AppSettings::error() const {
    switch (file_->status()) {
    case QSettings::NoError:
        return {};
    case QSettings::AccessError:
        return QStringLiteral("cannot write %1").arg(path());
    case QSettings::FormatError:
        return QStringLiteral("%1 is not a settings file").arg(path());
    }
    return {};
}

int AppSettings::bounded_int(const char* key, int fallback, int low, int high) const {
    bool ok = false;
    const int value = file_->value(key).toInt(&ok);
    return ok && value >= low && value <= high ? value : fallback;
}

bool AppSettings::boolean(const char* key, bool fallback) const {
    const QString text = file_->value(key).toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1")) return true;
    if (text == QLatin1String("false") || text == QLatin1String("0")) return false;
    return fallback;
}

QString AppSettings::input_device() const {
    return file_->value(kInputDevice).toString();
}
void AppSettings::set_input_device(const QString& id) {
    file_->setValue(kInputDevice, id);
}
QString AppSettings::output_device() const {
    return file_->value(kOutputDevice).toString();
}
void AppSettings::set_output_device(const QString& id) {
    file_->setValue(kOutputDevice, id);
}

QString AppSettings::ptt_method_name(PttMethod method) {
    switch (method) {
    case PttMethod::Rts:
        return QStringLiteral("rts");
    case PttMethod::Dtr:
        return QStringLiteral("dtr");
    case PttMethod::Cat:
        return QStringLiteral("cat");
    case PttMethod::None:
        return QStringLiteral("none");
    }
    return QStringLiteral("rts");
}

AppSettings::PttMethod AppSettings::ptt_method() const {
    const QString name = file_->value(kPttMethod).toString().trimmed().toLower();
    for (PttMethod method : {PttMethod::Rts, PttMethod::Dtr, PttMethod::Cat, PttMethod::None})
        if (name == ptt_method_name(method)) return method;
    return PttMethod::Rts;
}
void AppSettings::set_ptt_method(PttMethod method) {
    file_->setValue(kPttMethod, ptt_method_name(method));
}

QString AppSettings::ptt_device() const {
    return file_->value(kPttDevice).toString();
}
void AppSettings::set_ptt_device(const QString& path) {
    file_->setValue(kPttDevice, path);
}

int AppSettings::rig_model() const {
    return bounded_int(kRigModel, 2, 1, 999999);
}
void AppSettings::set_rig_model(int model) {
    file_->setValue(kRigModel, model);
}
QString AppSettings::rig_port() const {
    const QString port = file_->value(kRigPort).toString();
    return port.isEmpty() ? QStringLiteral("localhost:4532") : port;
}
void AppSettings::set_rig_port(const QString& port) {
    file_->setValue(kRigPort, port);
}
int AppSettings::rig_speed() const {
    const int baud = bounded_int(kRigSpeed, 0, 0, 115200);
    return baud == 0 || baud >= 300 ? baud : 0;
}
void AppSettings::set_rig_speed(int baud) {
    file_->setValue(kRigSpeed, baud);
}

int AppSettings::watchdog_minutes() const {
    return bounded_int(kWatchdog, 10, 0, 60);
}
void AppSettings::set_watchdog_minutes(int minutes) {
    file_->setValue(kWatchdog, minutes);
}

AppSettings::Receiver AppSettings::receiver() const {
    return file_->value(kReceiver).toString().trimmed().toLower() == QLatin1String("weak")
               ? Receiver::Weak
               : Receiver::Classic;
}
void AppSettings::set_receiver(Receiver receiver) {
    file_->setValue(kReceiver, receiver == Receiver::Weak ? QStringLiteral("weak")
                                                          : QStringLiteral("classic"));
}
bool AppSettings::squelch() const {
    return boolean(kSquelch, true);
}
void AppSettings::set_squelch(bool on) {
    file_->setValue(kSquelch, on);
}
bool AppSettings::noise_blanker() const {
    return boolean(kNoiseBlanker, false);
}
void AppSettings::set_noise_blanker(bool on) {
    file_->setValue(kNoiseBlanker, on);
}

bool AppSettings::back_to_receive() const {
    return boolean(kBackToReceive, false);
}
void AppSettings::set_back_to_receive(bool on) {
    file_->setValue(kBackToReceive, on);
}
int AppSettings::transmit_level_db() const {
    return bounded_int(kTransmitLevel, 0, -30, 0);
}
void AppSettings::set_transmit_level_db(int db) {
    file_->setValue(kTransmitLevel, db);
}
int AppSettings::pane_font_size() const {
    const int points = bounded_int(kFontSize, 0, 0, 32);
    return points == 0 || points >= 6 ? points : 0;
}
void AppSettings::set_pane_font_size(int points) {
    file_->setValue(kFontSize, points);
}
QString AppSettings::contact_log() const {
    return file_->value(kContactLog).toString();
}
void AppSettings::set_contact_log(const QString& path) {
    file_->setValue(kContactLog, path);
}
QString AppSettings::log_mode() const {
    const QString mode = file_->value(kLogMode).toString().trimmed();
    return mode.isEmpty() ? QStringLiteral("MFSK") : mode;
}
void AppSettings::set_log_mode(const QString& mode) {
    file_->setValue(kLogMode, mode.trimmed());
}
QString AppSettings::log_submode() const {
    const QString submode = file_->value(kLogSubmode).toString().trimmed();
    return submode.isEmpty() ? QStringLiteral("QUAVEL") : submode;
}
void AppSettings::set_log_submode(const QString& submode) {
    file_->setValue(kLogSubmode, submode.trimmed());
}

QString AppSettings::receive_log() const {
    return file_->value(kReceiveLog).toString();
}
void AppSettings::set_receive_log(const QString& path) {
    file_->setValue(kReceiveLog, path);
}

bool AppSettings::identify_on_time() const {
    return boolean(kIdentifyOnTime, false);
}
void AppSettings::set_identify_on_time(bool on) {
    file_->setValue(kIdentifyOnTime, on);
}

long long AppSettings::dial_frequency_hz() const {
    bool ok = false;
    const long long hz = file_->value(kDialFrequency).toLongLong(&ok);
    return ok && hz > 0 && hz <= kHighestDialHz ? hz : 0;
}
void AppSettings::set_dial_frequency_hz(long long hz) {
    file_->setValue(kDialFrequency, hz > 0 && hz <= kHighestDialHz ? hz : 0);
}
bool AppSettings::dial_lower_sideband() const {
    return file_->value(kDialSideband).toString().trimmed().toLower() == QLatin1String("lsb");
}
void AppSettings::set_dial_lower_sideband(bool lower) {
    file_->setValue(kDialSideband, lower ? QStringLiteral("lsb") : QStringLiteral("usb"));
}

QByteArray AppSettings::window_geometry() const {
    return file_->value(kGeometry).toByteArray();
}
void AppSettings::set_window_geometry(const QByteArray& geometry) {
    file_->setValue(kGeometry, geometry);
}

bool AppSettings::loggers_enabled() const {
    return boolean(kLoggersEnabled, true);
}
void AppSettings::set_loggers_enabled(bool on) {
    file_->setValue(kLoggersEnabled, on);
}
QString AppSettings::loggers_destination() const {
    const QString stored = file_->value(kLoggersDestination).toString();
    if (const auto endpoint = parse_logger_endpoint(stored)) return logger_endpoint_text(*endpoint);
    return logger_endpoint_text(LoggerLink::Config{}.destination);
}
void AppSettings::set_loggers_destination(const QString& host_port) {
    file_->setValue(kLoggersDestination, host_port.trimmed());
}
bool AppSettings::loggers_raw_adif() const {
    return boolean(kLoggersRawAdif, false);
}
void AppSettings::set_loggers_raw_adif(bool on) {
    file_->setValue(kLoggersRawAdif, on);
}
int AppSettings::loggers_raw_adif_port() const {
    return bounded_int(kLoggersRawAdifPort, LoggerLink::kDefaultRawAdifPort, 1, 65535);
}
void AppSettings::set_loggers_raw_adif_port(int port) {
    file_->setValue(kLoggersRawAdifPort, port);
}

bool AppSettings::report_spots() const {
    return boolean(kReportSpots, false);
}

void AppSettings::set_report_spots(bool on) {
    file_->setValue(kReportSpots, on);
}

QString AppSettings::station_locator() const {
    const QString locator = file_->value(kStationLocator).toString().trimmed();
    return quavel::is_maidenhead_locator(locator.toStdString()) ? locator : QString();
}

void AppSettings::set_station_locator(const QString& locator) {
    file_->setValue(kStationLocator, locator.trimmed());
}

QString AppSettings::spots_host() const {
    const QString host = file_->value(kSpotsHost).toString().trimmed();
    return host.isEmpty() ? QStringLiteral("report.pskreporter.info") : host;
}

void AppSettings::set_spots_host(const QString& host) {
    file_->setValue(kSpotsHost, host.trimmed());
}

int AppSettings::spots_port() const {
    return bounded_int(kSpotsPort, 4739, 1, 65535);
}

void AppSettings::set_spots_port(int port) {
    file_->setValue(kSpotsPort, port);
}

// ---- The control API.
namespace {
constexpr const char* kApiEnabled = "api/enabled";
constexpr const char* kApiPort = "api/port";
constexpr const char* kApiAddress = "api/address";
constexpr const char* kApiAllowTransmit = "api/allow_transmit";
} // namespace

bool AppSettings::api_enabled() const {
    return boolean(kApiEnabled, true);
}
void AppSettings::set_api_enabled(bool on) {
    file_->setValue(kApiEnabled, on);
}
int AppSettings::api_port() const {
    return bounded_int(kApiPort, quavel::link::kDefaultApiPort, 1, 65535);
}
void AppSettings::set_api_port(int port) {
    file_->setValue(kApiPort, port);
}
QString AppSettings::api_address() const {
    const QString text = file_->value(kApiAddress).toString().trimmed();
    QHostAddress address;
    return !text.isEmpty() && address.setAddress(text) ? address.toString()
                                                       : QStringLiteral("127.0.0.1");
}
void AppSettings::set_api_address(const QString& address) {
    file_->setValue(kApiAddress, address.trimmed());
}
bool AppSettings::api_allow_transmit() const {
    return boolean(kApiAllowTransmit, false);
}
void AppSettings::set_api_allow_transmit(bool on) {
    file_->setValue(kApiAllowTransmit, on);
}

bool AppSettings::band_window_open() const {
    return boolean(kBandOpen, false);
}
void AppSettings::set_band_window_open(bool open) {
    file_->setValue(kBandOpen, open);
}
QByteArray AppSettings::band_window_geometry() const {
    return file_->value(kBandGeometry).toByteArray();
}
void AppSettings::set_band_window_geometry(const QByteArray& geometry) {
    file_->setValue(kBandGeometry, geometry);
}
int AppSettings::band_age_minutes() const {
    return bounded_int(kBandAge, 10, 1, 120);
}
void AppSettings::set_band_age_minutes(int minutes) {
    file_->setValue(kBandAge, minutes);
}
