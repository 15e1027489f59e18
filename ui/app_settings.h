// The console's own remembered settings: everything the operator chooses that the station file
// (KEYSETUP.INI, three tokens read by other programs of this mode) has no place for. One INI file
// in the user's configuration folder, "$XDG_CONFIG_HOME/Quavel/quavel.ini" on Linux (Qt's
// QSettings, INI format, written through a temporary file and a rename).
//
// Every value is read through a getter that checks it: a missing, malformed or out-of-range
// entry gives the default, so a damaged file never stops the console. Setters store at once and
// flush with sync(); `error()` tells whether the last sync could not write the file.
//
// One object per console, created by main() and handed to whatever needs it; tests make their
// own with a path in a scratch folder.
#pragma once

#include <QSettings>
#include <QString>
#include <memory>

class AppSettings {
public:
    // The file in the user's configuration folder.
    AppSettings();
    // A file of the caller's choosing (tests, --settings).
    explicit AppSettings(const QString& path);
    ~AppSettings();
    AppSettings(const AppSettings&) = delete;
    AppSettings& operator=(const AppSettings&) = delete;

    QString path() const;
    // Writes what changed; false (and a reason in error()) when the file cannot be written.
    bool sync();
    QString error() const;

    // ---- Sound devices: the sound system's stable id; empty means the system's default.
    QString input_device() const;
    void set_input_device(const QString& id);
    QString output_device() const;
    void set_output_device(const QString& id);

    // ---- Keying. The method; the Part's RTS keying on the setup panel's port is the default.
    enum class PttMethod { Rts, Dtr, Cat, None };
    PttMethod ptt_method() const;
    void set_ptt_method(PttMethod method);
    static QString ptt_method_name(PttMethod method); // "rts", "dtr", "cat", "none"
    // A serial device path for RTS/DTR keying that overrides the setup panel's COMn; empty: the
    // panel's port.
    QString ptt_device() const;
    void set_ptt_device(const QString& path);
    // CAT keying through hamlib: the rig model number (hamlib's, 1 dummy, 2 rigctld), the port
    // (a serial device or HOST:PORT for model 2) and the serial speed (0: the rig's default).
    int rig_model() const; // default 2
    void set_rig_model(int model);
    QString rig_port() const; // default "localhost:4532"
    void set_rig_port(const QString& port);
    int rig_speed() const; // 0 or 300..115200
    void set_rig_speed(int baud);

    // ---- Transmit watchdog: minutes 1..60, or 0 for off. Default 10.
    int watchdog_minutes() const;
    void set_watchdog_minutes(int minutes);

    // ---- Receiver.
    enum class Receiver { Classic, Weak };
    Receiver receiver() const; // default Classic
    void set_receiver(Receiver receiver);
    bool squelch() const; // default true
    void set_squelch(bool on);
    bool noise_blanker() const; // default false: the classic receiver hears the audio as it is
    void set_noise_blanker(bool on);

    // ---- Everyday operating.
    bool back_to_receive() const; // default false: transmitting ends only on "Tx OFF"
    void set_back_to_receive(bool on);
    int transmit_level_db() const; // 0 (default) down to -30
    void set_transmit_level_db(int db);
    int pane_font_size() const; // points, 0 (default) for the form's own font; else 6..32
    void set_pane_font_size(int points);
    QString receive_log() const; // a file chosen from the menu; empty: none
    void set_receive_log(const QString& path);

    // ---- The contact log (ADIF). The file chosen from the menu; empty: the default one in the
    // program's data folder. Mode and submode written with each contact: "MFSK" and "QUAVEL"
    // by default, as loggers that know the mode map it; empty entries give the defaults.
    QString contact_log() const;
    void set_contact_log(const QString& path);
    QString log_mode() const;
    void set_log_mode(const QString& mode);
    QString log_submode() const;
    void set_log_submode(const QString& submode);

    // ---- Identification on time: the Morse identification at the end of a transmission when
    // ten minutes have passed since the callsign last went out. Default false.
    bool identify_on_time() const;
    void set_identify_on_time(bool on);

    // ---- The rig's dial typed by the operator, for keying without CAT (a CAT rig says its
    // own): hertz, 0 (default) when not known, else up to 100 GHz; and the sideband, upper
    // (default) or lower.
    long long dial_frequency_hz() const;
    void set_dial_frequency_hz(long long hz);
    bool dial_lower_sideband() const;
    void set_dial_lower_sideband(bool lower);

    // ---- The link to loggers over UDP (ui/logger_link.h): on by default, to 127.0.0.1:2237
    // ("HOST:PORT", a numeric address or localhost; anything else gives the default); the plain
    // ADIF record as well, off by default, to the same host on its own port (default 2333).
    bool loggers_enabled() const;
    void set_loggers_enabled(bool on);
    QString loggers_destination() const;
    void set_loggers_destination(const QString& host_port);
    bool loggers_raw_adif() const;
    void set_loggers_raw_adif(bool on);
    int loggers_raw_adif_port() const; // 1..65535
    void set_loggers_raw_adif_port(int port);
    // ---- Spots reported to PSK Reporter (Options > Report Stations Heard): on or off
    // (default off); our Maidenhead locator (4 or 6 characters, empty until typed; anything
    // else reads as empty); the collector's host name or address and UDP port.
    bool report_spots() const;
    void set_report_spots(bool on);
    QString station_locator() const;
    void set_station_locator(const QString& locator);
    QString spots_host() const; // default "report.pskreporter.info"
    void set_spots_host(const QString& host);
    int spots_port() const; // 1..65535, default 4739
    void set_spots_port(int port);
    // ---- The control API for other programs (docs/API.md). On by default, on 127.0.0.1 and
    // link/api_protocol.h's default port; any other address is the operator's choice.
    // Transmitting on a program's command is off until the operator allows it.
    bool api_enabled() const;
    void set_api_enabled(bool on);
    int api_port() const; // 1..65535
    void set_api_port(int port);
    QString api_address() const; // an IP address; a malformed entry gives 127.0.0.1
    void set_api_address(const QString& address);
    bool api_allow_transmit() const;
    void set_api_allow_transmit(bool on);

    // ---- The Band Activity window: shown or not (default not), where it stood and its size
    // (empty: its own), and how long a station not heard stays in its list, 1..120 minutes
    // (default 10).
    bool band_window_open() const;
    void set_band_window_open(bool open);
    QByteArray band_window_geometry() const;
    void set_band_window_geometry(const QByteArray& geometry);
    int band_age_minutes() const;
    void set_band_age_minutes(int minutes);

    // The geometry of a window grown by the operator (empty: the form's own size).
    QByteArray window_geometry() const;
    void set_window_geometry(const QByteArray& geometry);

private:
    int bounded_int(const char* key, int fallback, int low, int high) const;
    bool boolean(const char* key, bool fallback) const;

    std::unique_ptr<QSettings> file_;
};
