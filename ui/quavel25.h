// The console's main window, `Form1` of class `TForm1`: every control at its place on the form,
// the main menu, the three timers and the 35 event handlers. The handlers keep to the window's
// side (captions, enabling, geometry, focus, message boxes) and delegate everything else to the
// station the window owns.
//
// Message boxes go through the MessageSink given to the constructor: the running program passes
// modal boxes, tests a recorder.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>

#include "interfaces/message_sink.h"
#include "station/adif_log.h"
#include "station/macros.h"
#include "station/station.h"
#include "ui/band_rows.h"
#include "ui/console_options.h"
#include "ui/readout_label.h"
#include "ui/rig_panel.h"

namespace quavel {
class HamlibPtt;
class QtSerialPtt;
} // namespace quavel

class AppSettings;
class BandWindow;
namespace quavel {
class QtAudioInput;
class QtAudioOutput;
} // namespace quavel
class CanvasView;
class ContactLog;
class FormTimer;
class LogContactDialog;
class LevelMeter;
class LoggedPane;
class Memo;
class PaneSink;
class PaneSource;
class RadioGroup;
class RxLog;
class QAction;
class QFrame;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class QSlider;
class QTimer;
class RigFrequency;
class LoggerLink;
class QDialog;
namespace quavel::wsjtx {
struct Status;
} // namespace quavel::wsjtx
class SpotReporter;
class QDialog;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // The client area below the menu bar holds the controls; the form's outer size (473 x 391
    // with a caption, menu line and a 4-pixel frame) leaves this much inside.
    static constexpr int kClientWidth = 465;
    static constexpr int kClientHeight = 345;
    static constexpr int kLeft = 83;
    static constexpr int kTop = 72;
    static constexpr const char* kCaption = "Quavel 2000 by Vexmar V2.5 ";

    // `working_dir` holds "KEYSETUP.INI", the stored texts and, first in line, the help page.
    // Of `options` the window uses the receive log; the devices are set on station().
    // `settings` (kept by the caller, outliving the window) holds what the operator chose beyond
    // KEYSETUP.INI; null: the window keeps its own over the user's settings file.
    TForm1(quavel::MessageSink& messages, const ConsoleOptions& options = {},
           QString working_dir = {}, AppSettings* settings = nullptr, QWidget* parent = nullptr);
    ~TForm1() override;

    // How the help page is opened (tests replace it). Returns false when the launch failed.
    void set_help_opener(std::function<bool(const QString& path)> opener);

    // The station behind the window. Its devices are set here before the window is first
    // activated (capture opens then) and must outlive the window.
    quavel::Station& station() { return *station_; }
    AppSettings& settings() { return *settings_; }
    // The sound-card adapters behind the station's input and output, which the Sound & Rig
    // panel points at other devices; null where a file stands in for the sound card.
    void set_sound_devices(quavel::QtAudioInput* input, quavel::QtAudioOutput* output);
    // Opens the Sound & Rig panel (beyond the form's 35 handlers, so not a slot).
    void SoundRig1Click();
    // The Sound & Rig panel while it is open, else null.
    RigPanel* rig_panel() const { return rig_panel_; }

    // The keying adapters (outliving the window) that the remembered keying method chooses
    // between. Without them the station keeps whatever keying device it was given.
    void set_keying_devices(quavel::QtSerialPtt* serial, quavel::HamlibPtt* cat);
    // Applies the remembered keying method and watchdog to the station (at activation, and
    // after they change); with `reopen` the keying port is opened again as well.
    void apply_keying(bool reopen);

    // Controls, named as on the form.
    QLabel* Label4;
    QLabel* Label5;
    CanvasView* Image1; // waterfall
    CanvasView* Image2; // sync scope
    CanvasView* Image3; // symbol spectrum
    QLabel* Label8;
    QLabel* Label11;
    QLabel* Label9;
    QSlider* TrackBar1;
    QLabel* Label12;
    RadioGroup* RadioGroup3;
    QPushButton* Button12;
    QPushButton* Button13;
    QPushButton* Button14;
    QPushButton* Button7;
    QPushButton* Button8;
    QPushButton* Button10;
    QPushButton* Button11;
    Memo* Memo1; // primary-alphabet receive pane
    Memo* Memo2; // secondary-alphabet receive pane
    QLabel* Label10;
    Memo* Memo6; // other station
    Memo* Memo5; // text already sent
    Memo* Memo4; // transmit text
    QPushButton* Button1;
    QPushButton* Button3;
    QPushButton* Button2;
    QPushButton* Button4;
    QPushButton* Button5;
    QPushButton* Button6;
    QPushButton* Button9;
    QFrame* Panel2; // frequency readout
    QLabel* Label3;
    QLabel* Label7;
    QLabel* Label6;
    QFrame* Panel1; // setup panel
    QLabel* Label1;
    QLabel* Label2;
    Memo* Memo3; // callsign
    RadioGroup* RadioGroup1;
    RadioGroup* RadioGroup2;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    FormTimer* Timer1; // receive step
    FormTimer* Timer2; // playback refill
    FormTimer* Timer3; // capture transfer
    QMenuBar* MainMenu1;
    QMenu* File1;
    QAction* Exit1;
    QAction* SetUp1;
    QAction* SoundRig1;     // "Sound & Rig": the RigPanel, beyond the form's own items
    QMenu* Options1;        // beyond the station file: the settings in AppSettings
    QAction* WeakReceiver1; // checked: the weak-signal receiver prints into Memo1/Memo2
    QAction* Squelch1;      // checked: the weak-signal receiver prints only on a signal
    QAction* NoiseBlanker1; // checked: crashes are silenced before the classic receiver
    QAction* Help1;
    QAction* About1;

    // Beyond the form: readouts at the right of the menu line, in the room the menu's items
    // leave (they take no room from the form's controls, and never push a menu item off the
    // line). Where the room is short a readout shows a shorter form of its text, the weak
    // receiver's first, the keying state's last; fit_readouts() places them.
    QWidget* Readouts;
    ReadoutLabel* CentreReadout; // the centre frequency the receiver is tuned to, in Hz
    ReadoutLabel* WeakReadout;   // where the weak-signal receiver copies; hidden with the classic
    // What is wrong with the keying, shown while it is wrong ("rig not answering", "PTT port
    // cannot be opened", "PTT: no port" for RTS/DTR keying without a port); hidden while all
    // is well.
    ReadoutLabel* KeyingReadout;
    LevelMeter* InputMeter; // the captured audio's peak level, beside the waterfall
    // File menu: the receive pane saved, and the log to a file of the operator's choosing.
    QAction* SaveReceived;
    QAction* LogToFile;
    // Options menu: back to receive when sent, the transmit level and the panes' font size.
    QAction* BackToReceive;
    QMenu* TransmitLevel;
    QMenu* PaneFontSize;

    // The key that toggles "Tx ON"/"Tx OFF" from anywhere in the window.
    static constexpr Qt::Key kTransmitKey = Qt::Key_F9;
    // Back to receive: the idle symbols played whole after the last text before the
    // transmission ends by itself, so the other station decodes the last character.
    static constexpr uint32_t kIdleTailSymbols = 2;
    // The receive log ends a line after this long a pause of the sender.
    static constexpr int kPauseSeconds = 3;

    // Saves the primary receive pane's text as `path` (a temporary file, then renamed). False,
    // and a message shown, when it cannot be written.
    bool save_received_text(const QString& path);
    // Logs to `path` from now on (a header line first) and remembers it; empty: logging ends.
    void set_receive_log(const QString& path);
    // The transmit level (0..-30 dB) and the panes' font size in points (0: the form's font),
    // applied and remembered.
    void set_transmit_level(int db);
    void set_pane_font_size(int points);

    // ---- The rig's dial and identification on time (quavel25_dial.cpp), beyond the form.
    // The RF frequency of the signal at the centre frequency: the rig's dial (read by CAT, or
    // typed under Sound & Rig) plus the centre on the upper sideband, minus it on the lower.
    // Nothing while the dial or its sideband is not known.
    std::optional<double> rf_frequency_hz() const;
    // The same for a signal at `audio_hz` (tone 5) in the passband.
    std::optional<double> rf_frequency_hz_of(double audio_hz) const;
    // Options: "Identify Every 10 Minutes", remembered; off by default.
    QAction* IdentifyEvery10 = nullptr;
    // Menu-line readouts that take only the room the others leave (hidden where there is
    // none, as at the form's own size with every other readout shown): the rig's dial and the
    // tuned signal's RF frequency; the time since the callsign last went out.
    ReadoutLabel* DialReadout = nullptr;
    ReadoutLabel* IdentifyReadout = nullptr;
    // Once a second: the rig's dial asked for, and both readouts brought up to date.
    QTimer* DialTimer = nullptr;
    void DialTimerTick();
    RigFrequency& rig_frequency() { return *rig_frequency_; }

    // ---- Spots reported to PSK Reporter (ui/quavel25_spots.cpp), beyond the form.
    QAction* ReportSpots1 = nullptr;    // Options > "Report Stations Heard", remembered
    QAction* StationLocator1 = nullptr; // Options > "Station Locator...": a small window
    SpotReporter* spot_reporter() const { return spots_; }
    // Opens the Station Locator window (or raises the one open); not modal.
    void StationLocator1Click();
    QDialog* locator_dialog() const;

private:
    void create_spots();
    // The items' tool tips: whether spots go out, and if not why.
    void show_spots();
    SpotReporter* spots_ = nullptr;
    QPointer<QDialog> locator_dialog_;

public slots:
    void FormActivate();
    void Timer1Timer();
    void Exit1Click();
    void About1Click();
    void Help1Click();
    void Image1MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void Image2MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void SetUp1Click();
    void BitBtn1Click();
    void BitBtn2Click();
    void Memo3KeyPress(char& key);
    void Memo4KeyPress(char& key);
    void Button1Click();
    void Button3Click();
    void Image1MouseMove(Qt::KeyboardModifiers shift, int x, int y);
    void FormMouseMove(Qt::KeyboardModifiers shift, int x, int y);
    void Button2Click();
    void Button4Click();
    void Button5Click();
    void TrackBar1Change();
    void Timer2Timer();
    void Button6Click();
    void RadioGroup3Click();
    void Timer3Timer();
    void Memo1Click();
    void Memo2Click();
    void Button8Click();
    void Button7Click();
    void Button9Click();
    void Memo6KeyPress(char& key);
    void Button10Click();
    void Button11Click();
    void Button12Click();
    void Button13Click();
    void Button14Click();

    // ---- Completing a contact (ui/quavel25_contact.cpp). A callsign double-clicked in a
    // receive pane goes into Memo6; File > Log Contact... logs the contact to the ADIF log
    // (ui/contact_log.h), and the window title says when the call in Memo6 was worked before.
public:
    QAction* LogContact1;    // File > "Log Contact..." (Ctrl+L)
    QAction* ChooseLogFile1; // File > "Choose Log File..."
    // "Log Contact" beside the bottom row of buttons, shown only where a grown window has room.
    QPushButton* LogContactButton = nullptr;
    static constexpr const char* kLogTitle = "Contact Log";
    static constexpr Qt::Key kLogContactKey = Qt::Key_L; // with Ctrl
    // Where the RF frequency of the tuned signal comes from, in Hz, when it is known (the rig's
    // dial read by CAT, or the operator's entry); without one, or while it returns nothing, the
    // Log Contact window leaves the frequency for the operator.
    void set_rf_frequency_source(std::function<std::optional<double>()> rf_hz);
    // Opens the Log Contact window (or raises the one open); not modal.
    void LogContact1Click();
    LogContactDialog* log_contact_dialog() const;
    // Logs contacts to `path` from now on and remembers it; empty: the default log. A path that
    // cannot take a log is refused with a message and the log stays as it was.
    void set_contact_log(const QString& path);
    const ContactLog& contact_log() const { return *contact_log_; }
    // "worked 2026-11-30 14.070 MHz" for the call in Memo6, or empty.
    QString worked_before() const { return worked_before_; }
    // Appends `record` to the contact log; on success tells contact_logged. Empty on success,
    // else why not (nothing was logged then).
    std::string log_contact(const quavel::QsoRecord& record);

signals:
    // What the window's programs follow (the control API, the loggers, the spots), told after
    // the window has done what it does with it. Received text as printed into Memo1 (pane 0)
    // or Memo2 (pane 1); text as taken for sending into Memo5; a contact once it is in the log.
    void text_received(int pane, const QString& text);
    void text_sent(const QString& text);
    void contact_logged(const quavel::QsoRecord& record);

private:
    void create_contact_log(const ConsoleOptions& options);
    void capture_call(Memo& pane, int position);
    void other_station_changed();
    void show_worked_before();
    std::unique_ptr<ContactLog> contact_log_;
    QPointer<LogContactDialog> log_dialog_;
    std::function<std::optional<double>()> rf_hz_;
    // When the call in Memo6 was put there (or first transmitted to, after a contact with it
    // was logged): the start of the contact.
    std::optional<std::time_t> contact_start_;
    QString worked_before_;

    // ---- The link to loggers over UDP (ui/quavel25_loggers.cpp, ui/logger_link.h), beyond the
    // form: each contact logged goes out at once, the station's status as it changes, and a
    // logger's HaltTx stops a transmission as Tx OFF does. Options > Loggers switches it.
public:
    QMenu* Loggers1 = nullptr;
    QAction* SendToLoggers1 = nullptr; // checked: the link is on (remembered)
    QAction* SendRawAdif1 = nullptr;   // checked: the plain ADIF record as well (remembered)
    QAction* LoggerAddress1 = nullptr; // "Address...": the small window below
    QAction* LoggerCount1 = nullptr;   // disabled: what was sent and what failed
    LoggerLink& logger_link() { return *logger_link_; }
    // The address window while it is open, else null; not modal.
    QDialog* logger_dialog() const;
    void LoggerAddress1Click();

private:
    void create_loggers(const ConsoleOptions& options);
    // The link after the settings (or this run's --logger-udp) changed.
    void apply_loggers();
    quavel::wsjtx::Status logger_status() const;
    void show_logger_status(bool always = false);
    LoggerLink* logger_link_ = nullptr; // a child of the window: its close goes out last
    QPointer<QDialog> logger_dialog_;
    QString command_line_logger_; // --logger-udp: this run only, until the operator sets one
    // ---- What the control API (ui/console_api.h) drives and follows beyond the form.
public:
    // "Tx ON"/"Tx OFF" clicked on behalf of `reason` ("api"): the start or end it makes is told
    // with that reason.
    void toggle_transmission_for(const QString& reason);
    // When the contact with the call in Memo6 began, if it has.
    std::optional<std::time_t> contact_start() const { return contact_start_; }
signals:
    // A transmission started or ended, and why: "operator", "back-to-receive", "api", and when
    // the station ended it itself "watchdog", "lost-playback", "lost-keying", "key-refused".
    void transmission_changed(bool transmitting, const QString& reason);

private:
    QString toggle_reason_ = QStringLiteral("operator");
    QString ending_reason_ = QStringLiteral("operator"); // of a Tx OFF ending after the ID

    // ---- The Band Activity window (ui/quavel25_band.cpp, ui/band_window.h), beyond the form:
    // every station in 200..2800 Hz, copied at once while the window is open.
public:
    QAction* BandActivity1 = nullptr; // Options > "Band Activity" (Ctrl+B): the window shown
    BandWindow* band_window() const { return band_window_; }
    // Tunes the station to a signal of the band: the centre frequency, its speed (only while
    // receiving, as the speed selector allows) and the weak-signal receiver, so the next
    // transmission goes out on the signal's frequency too. Returns what the window shows of it.
    QString tune_to_band_station(double freq_hz, uint32_t speed);
    // `word` into the other-station field, as a double-clicked call in a receive pane goes
    // there (nothing when it is no callsign).
    void take_other_station(std::string word);
signals:
    // A line of a station's text in the band, as the window listed it.
    void band_line(const quavel::BandHeardLine& line);

private:
    void create_band_activity();
    // From the receive timer: the blocks captured since the last call, to the window's receiver.
    void feed_band_activity();
    void remember_band_window();
    BandWindow* band_window_ = nullptr;
    uint32_t band_blocks_ = 0; // ring blocks the window has taken (counted like the write count)
    bool band_open_ = false;   // as the operator left it: what the next start opens
    bool closing_ = false;     // the main window has been closed (the program is ending)
    QByteArray band_geometry_; // where it stood when last shown

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The speed the selector's item stands for ("1 Quavel/sec", "2", "4").
    quavel::Speed selected_speed() const;
    void create_controls();
    void create_setup_panel();
    void create_menu();
    void bind_handlers();
    void set_tab_order();
    // The toggle captions and indicator labels after the station switched AFC, auto-sync and
    // printing (a speed change switches all three on).
    void show_switches();
    // The centre-frequency readout after anything that may have retuned.
    void show_centre();
    // The weak-signal receiver's lock: its readout and its marker on the waterfall.
    void show_weak_lock();
    // The Options menu's items (handlers beyond the form's own, so not among its slots).
    void WeakReceiver1Click();
    void Squelch1Click();
    void NoiseBlanker1Click();
    void fit_pointed_readout();
    // The menu line's readouts placed in the room its items leave, each as long as fits.
    void fit_readouts();
    // The keying readout after what the keying thread last found (every timer tick: cheap).
    void show_keying_state();
    void create_operating_menus();
    // The panes and the bottom row placed for the client area's size: at the form's own size
    // exactly where the form puts them; any growth goes to the receive and transmit panes.
    void lay_out_growing_controls();
    void begin_log(bool sending);
    void back_to_receive_if_sent();
    void show_help_viewer(const QString& page);
    void set_transmitting_controls(bool transmitting);
    void widen_receive_pane(Memo& clicked);
    void insert_into_transmit_pane(const std::string& text);
    void insert_stored_text(int number);
    void insert_exchange_macro(quavel::ExchangeMacro which);
    void show_warning(const std::string& text, const std::string& title);
    // After the Sound & Rig panel's OK: the new devices take over, the input at once while
    // receiving, the output at the next transmission.
    void apply_sound_devices(bool input_changed, bool output_changed);
    // After the Sound & Rig panel changed Set Up's port: KEYSETUP.INI and the station's
    // settings follow, written as the Set Up panel's OK writes them. False (and a warning) when
    // the file cannot be written; the port then stays as it was.
    bool store_setup_port(const QString& word);
    // The dial and identification parts (quavel25_dial.cpp).
    void create_dial_and_identify();
    // The dial's source follows the keying method: the CAT rig, or what was typed.
    void apply_dial_source();
    void show_dial();
    void show_identify();

    quavel::MessageSink& messages_;
    QString working_dir_;
    std::unique_ptr<AppSettings> own_settings_; // when the caller gave none
    AppSettings* settings_;
    std::function<bool(const QString&)> open_help_;
    quavel::QtAudioInput* sound_input_ = nullptr;
    quavel::QtAudioOutput* sound_output_ = nullptr;
    QPointer<RigPanel> rig_panel_;
    bool activated_ = false;
    enum class WidePane { None, Primary, Secondary };
    WidePane wide_pane_ = WidePane::None;
    std::string command_line_log_; // --rx-log: this run only, not remembered
    quavel::QtSerialPtt* serial_ptt_ = nullptr;
    quavel::HamlibPtt* cat_ptt_ = nullptr;
    quavel::ComPortMap com_ports_; // --com: what the Sound & Rig panel shows and tests COMn on

    quavel::MacroTexts macros_;

    // What the station writes to and takes from, and how it reaches the window; all of it
    // outlives the station, which goes first.
    class Events;
    std::unique_ptr<Events> events_;
    std::unique_ptr<PaneSink> primary_pane_;
    std::unique_ptr<RxLog> rx_log_;
    std::unique_ptr<LoggedPane> logged_primary_;
    std::unique_ptr<PaneSink> secondary_pane_;
    std::unique_ptr<LoggedPane> logged_secondary_;
    std::unique_ptr<PaneSource> transmit_pane_;
    std::unique_ptr<PaneSink> sent_pane_;
    std::unique_ptr<LoggedPane> logged_sent_;
    std::unique_ptr<quavel::Station> station_;
    std::unique_ptr<RigFrequency> rig_frequency_; // reads through the station; goes first
};
