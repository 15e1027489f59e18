#include "ui/quavel25.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QShortcut>
#include <QSlider>
#include <QStyle>
#include <QTextBrowser>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <optional>
#include <vector>

#include "modem/tuning.h"
#include "platform/devices/ptt_guard.h"
#include "platform/hamlib/hamlib_ptt.h"
#include "platform/qt/qt_audio_input.h"
#include "platform/qt/qt_audio_output.h"
#include "platform/qt/qt_serial_ptt.h"
#include "rx/input_level.h"
#include "station/stored_text.h"
#include "tx/levelled_output.h"
#include "ui/app_settings.h"
#include "ui/band_window.h"
#include "ui/canvas_view.h"
#include "ui/contact_log.h"
#include "ui/form_timer.h"
#include "ui/help_page.h"
#include "ui/level_meter.h"
#include "ui/log_contact_dialog.h"
#include "ui/memo.h"
#include "ui/radio_group.h"
#include "ui/readout_label.h"
#include "ui/rig_frequency.h"
#include "ui/rig_panel.h"
#include "ui/rx_log.h"
#include "ui/text_panes.h"

namespace {

const QColor kAqua(0, 255, 255);
const char* const kHelpTitle = "Vexmar Quavel Program V2.5";

QLabel* make_label(QWidget* parent, const QString& name, const QString& caption, int left,
                   int top) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    // Labels size themselves to their caption.
    label->adjustSize();
    label->move(left, top);
    return label;
}

QPushButton* make_button(QWidget* parent, const QString& name, const QString& caption, int left,
                         int top, int width, int height) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(left, top, width, height);
    button->setAutoDefault(false);
    return button;
}

void set_background(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QFrame* make_panel(QWidget* parent, const QString& name, int left, int top, int width, int height) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setGeometry(left, top, width, height);
    set_background(panel, panel->palette().color(QPalette::Window));
    return panel;
}

// The program's icon: two tones of a symbol on the waterfall's grey.
QIcon make_icon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(QColor(224, 224, 224));
    QPainter painter(&pixmap);
    painter.fillRect(9, 4, 4, 24, Qt::black);
    painter.fillRect(19, 4, 4, 24, Qt::black);
    painter.fillRect(0, 30, 32, 2, Qt::red);
    return QIcon(pixmap);
}

// The frequency a release (or the pointer) at X on the waterfall stands for: X x 311 / W + 802
// in signed 32-bit arithmetic, then held to the centre-frequency range as tuning holds it.
uint32_t waterfall_hz(int x, int width) {
    const int32_t f = static_cast<int32_t>(x) * 311 / width + 802;
    return quavel::clamp_centre_hz(f);
}

// The modem's 8-bit text of a box.
std::string modem_text(const QString& text) {
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (const QChar c : text)
        out.push_back(to_modem_char(c));
    return out;
}

// The name a program following the window gets for an end the station made.
QString transmit_end_reason(quavel::TransmitEnd end) {
    switch (end) {
    case quavel::TransmitEnd::OutputLost:
        return QStringLiteral("lost-playback");
    case quavel::TransmitEnd::KeyingLost:
        return QStringLiteral("lost-keying");
    case quavel::TransmitEnd::KeyRefused:
        return QStringLiteral("key-refused");
    case quavel::TransmitEnd::Watchdog:
        return QStringLiteral("watchdog");
    }
    return QStringLiteral("station");
}

std::filesystem::path to_path(const QString& dir) {
    return std::filesystem::path(dir.toStdU16String());
}

} // namespace

// How the station's own changes reach the controls.
class TForm1::Events : public quavel::StationEvents {
public:
    explicit Events(TForm1& form) : form_(form) {}
    void transmit_buttons_changed(bool cw_id_enabled, bool tune_enabled) override {
        form_.Button3->setEnabled(cw_id_enabled);
        form_.Button9->setEnabled(tune_enabled);
    }
    void focus_transmit_pane() override { form_.Memo4->setFocus(); }
    void switches_changed() override { form_.show_switches(); }
    // As "Tx OFF" leaves the window, but the text not yet sent stays in the transmit pane: the
    // operator did not ask for the end (a lost device, a refused key, the watchdog) and may
    // want to send it once the fault is mended.
    void transmission_ended() override {
        form_.Button1->setText("Tx ON");
        form_.set_transmitting_controls(false);
        form_.begin_log(false);
        form_.InputMeter->set_level(quavel::InputLevel::kFloorDbfs);
        const std::optional<quavel::TransmitEnd> end = form_.station_->ending_by_itself();
        emit form_.transmission_changed(false,
                                        end ? transmit_end_reason(*end) : form_.ending_reason_);
    }

private:
    TForm1& form_;
};

TForm1::TForm1(quavel::MessageSink& messages, const ConsoleOptions& options, QString working_dir,
               AppSettings* settings, QWidget* parent)
    : QMainWindow(parent), messages_(messages),
      working_dir_(working_dir.isEmpty() ? QDir::currentPath() : std::move(working_dir)),
      own_settings_(settings ? nullptr : std::make_unique<AppSettings>()),
      settings_(settings ? settings : own_settings_.get()), open_help_(open_help_page) {
    setObjectName("Form1");
    setWindowTitle(kCaption);
    setWindowIcon(make_icon());
    QFont font("MS Sans Serif");
    font.setPixelSize(11);
    setFont(font);

    auto* client = new QWidget(this);
    client->setObjectName("ClientArea");
    // The form's size is the smallest; grown, the panes take the room.
    client->setMinimumSize(kClientWidth, kClientHeight);
    client->setMouseTracking(true);
    client->installEventFilter(this);
    setCentralWidget(client);

    create_controls();
    create_setup_panel();
    create_menu();
    create_operating_menus();
    bind_handlers();
    set_tab_order();

    events_ = std::make_unique<Events>(*this);
    primary_pane_ = std::make_unique<PaneSink>(*Memo1, PaneSink::Where::End);
    logged_primary_ = std::make_unique<LoggedPane>(*primary_pane_);
    secondary_pane_ = std::make_unique<PaneSink>(*Memo2, PaneSink::Where::End);
    logged_secondary_ = std::make_unique<LoggedPane>(*secondary_pane_);
    transmit_pane_ = std::make_unique<PaneSource>(*Memo4);
    sent_pane_ = std::make_unique<PaneSink>(*Memo5);
    logged_sent_ = std::make_unique<LoggedPane>(*sent_pane_);
    logged_primary_->set_observer(
        [this](std::string_view text) { emit text_received(0, from_modem_text(text)); });
    logged_secondary_->set_observer(
        [this](std::string_view text) { emit text_received(1, from_modem_text(text)); });
    logged_sent_->set_observer(
        [this](std::string_view text) { emit text_sent(from_modem_text(text)); });
    const quavel::StationPanes panes{*logged_primary_, *logged_secondary_, *transmit_pane_,
                                     *logged_sent_};
    station_ = std::make_unique<quavel::Station>(panes, Image1->canvas(), Image2->canvas(),
                                                 Image3->canvas(), messages_, *events_);
    const bool weak = settings_->receiver() == AppSettings::Receiver::Weak;
    station_->set_squelch(settings_->squelch());
    station_->set_receiver(weak ? quavel::ReceiverChoice::weak : quavel::ReceiverChoice::classic);
    WeakReceiver1->setChecked(weak);
    Squelch1->setChecked(settings_->squelch());
    station_->set_noise_blanker(settings_->noise_blanker());
    NoiseBlanker1->setChecked(settings_->noise_blanker());

    // The log named on the command line is for this run; otherwise the one chosen from the
    // menu in an earlier run goes on. Its first header comes when receiving starts.
    com_ports_ = options.com_ports;
    command_line_log_ = options.rx_log;
    const std::string log = !command_line_log_.empty()
                                ? command_line_log_
                                : QFile::encodeName(settings_->receive_log()).toStdString();
    if (!log.empty()) {
        // One that cannot be opened has been reported; the menu shows no log then.
        rx_log_ = std::make_unique<RxLog>(log, station_->messages());
        if (rx_log_->logging()) {
            logged_primary_->set_log(rx_log_.get());
            logged_sent_->set_log(rx_log_.get());
        } else {
            rx_log_.reset();
        }
    }
    LogToFile->setChecked(rx_log_ != nullptr);
    create_contact_log(options);
    set_transmit_level(settings_->transmit_level_db());
    set_pane_font_size(settings_->pane_font_size());
    create_dial_and_identify();
    create_loggers(options);
    create_spots();
    create_band_activity();
    // The Log Contact window fills in the RF frequency from the dial, read or typed.
    set_rf_frequency_source([this] { return rf_frequency_hz(); });

    move(kLeft, kTop);
    resize(kClientWidth, kClientHeight + MainMenu1->sizeHint().height());
    if (const QByteArray grown = settings_->window_geometry(); !grown.isEmpty())
        restoreGeometry(grown);
}

// The station goes first: it cuts the sound and releases the keying line while the panes and
// canvases it holds are still there.
TForm1::~TForm1() {
    // The Log Contact window's OK appends through the log, which goes with the window.
    delete log_dialog_;
    // It reads the dial and the station while it goes.
    delete band_window_;
    band_window_ = nullptr;
    station_.reset();
    // Released in order: a stop signal's last-resort deadline has nothing left to do.
    quavel::ptt_guard_cancel_deadline();
}

void TForm1::set_keying_devices(quavel::QtSerialPtt* serial, quavel::HamlibPtt* cat) {
    serial_ptt_ = serial;
    cat_ptt_ = cat;
}

void TForm1::apply_keying(bool reopen) {
    const int minutes = settings_->watchdog_minutes();
    station_->set_watchdog(std::chrono::minutes(minutes));
    if (serial_ptt_ != nullptr || cat_ptt_ != nullptr) {
        using Method = AppSettings::PttMethod;
        switch (settings_->ptt_method()) {
        case Method::Rts:
        case Method::Dtr:
            // The adapter is the keying thread's: it is told in order with the keying.
            if (serial_ptt_ != nullptr) {
                const auto line = settings_->ptt_method() == Method::Dtr ? quavel::PttLine::Dtr
                                                                         : quavel::PttLine::Rts;
                station_->run_on_keying_thread(
                    [serial = serial_ptt_, line] { serial->set_line(line); });
            }
            // The setup panel's port, unless a device path was chosen for keying.
            station_->set_keying_required(false);
            station_->set_ptt(serial_ptt_, settings_->ptt_device().toStdString());
            break;
        case Method::Cat:
            if (cat_ptt_ != nullptr) {
                station_->run_on_keying_thread(
                    [cat = cat_ptt_, model = settings_->rig_model(),
                     speed = settings_->rig_speed()] { cat->configure(model, speed); });
            }
            station_->set_keying_required(true);
            station_->set_ptt(cat_ptt_, settings_->rig_port().toStdString());
            break;
        case Method::None:
            station_->set_keying_required(false);
            station_->set_ptt(nullptr);
            break;
        }
    }
    if (reopen) station_->open_ptt_port();
    apply_dial_source();
}

void TForm1::set_help_opener(std::function<bool(const QString&)> opener) {
    open_help_ = std::move(opener);
}

void TForm1::create_controls() {
    QWidget* client = centralWidget();
    Label4 = make_label(client, "Label4", "800 Hz", 0, 24);
    Label5 = make_label(client, "Label5", "1111 Hz", 280, 24);

    Image1 = new CanvasView(client, "Image1", 320, 20);
    Image1->move(0, 40);
    Image1->setCursor(Qt::CrossCursor);
    Image1->setMouseTracking(true);
    Image2 = new CanvasView(client, "Image2", 128, 64);
    Image2->move(0, 64);
    Image3 = new CanvasView(client, "Image3", 80, 64);
    Image3->move(128, 64);

    Label8 = make_label(client, "Label8", "AFC On", 280, 0);
    set_background(Label8, kAqua);
    Label11 = make_label(client, "Label11", "AutoSync On", 328, 0);
    set_background(Label11, kAqua);
    Label9 = make_label(client, "Label9", "Waterfall Sens.", 328, 48);

    TrackBar1 = new QSlider(Qt::Horizontal, client);
    TrackBar1->setObjectName("TrackBar1");
    TrackBar1->setGeometry(336, 16, 57, 29);
    TrackBar1->setRange(1, 5);
    TrackBar1->setValue(2);
    TrackBar1->setTickInterval(1);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setPageStep(1);

    Label12 = make_label(client, "Label12", "Macros etc.", 320, 64);

    RadioGroup3 =
        new RadioGroup(client, "RadioGroup3", "Speed",
                       {"1 Quavel/sec", "2 Quavel/sec", "4 Quavel/sec"}, QRect(208, 64, 105, 65));
    RadioGroup3->setItemIndex(1);

    Button12 = make_button(client, "Button12", "1.TXT", 320, 80, 41, 25);
    Button13 = make_button(client, "Button13", "2.TXT", 360, 80, 49, 25);
    Button14 = make_button(client, "Button14", "3.TXT", 408, 80, 49, 25);
    Button7 = make_button(client, "Button7", "CQ", 320, 104, 25, 25);
    Button8 = make_button(client, "Button8", "QRZ", 344, 104, 33, 25);
    Button10 = make_button(client, "Button10", "Macro1", 376, 104, 41, 25);
    Button11 = make_button(client, "Button11", "Macro2", 416, 104, 41, 25);

    Memo1 = new Memo(client, "Memo1", Memo::ScrollBars::Vertical);
    Memo1->setGeometry(0, 136, 232, 97);
    Memo2 = new Memo(client, "Memo2", Memo::ScrollBars::Vertical);
    Memo2->setGeometry(233, 136, 232, 97);
    // The receive panes only ever hold received text.
    Memo1->setReadOnly(true);
    Memo2->setReadOnly(true);
    configure_receive_pane(*Memo1);
    configure_receive_pane(*Memo2);

    Label10 = make_label(client, "Label10", "Other Station", 16, 236);
    Memo6 = new Memo(client, "Memo6", Memo::ScrollBars::None);
    Memo6->setGeometry(0, 252, 97, 17);
    Memo5 = new Memo(client, "Memo5", Memo::ScrollBars::Vertical);
    Memo5->setGeometry(104, 232, 361, 41);
    QPalette red_text = Memo5->palette();
    red_text.setColor(QPalette::Text, Qt::red);
    Memo5->setPalette(red_text);
    Memo4 = new Memo(client, "Memo4", Memo::ScrollBars::Vertical);
    Memo4->setGeometry(0, 272, 465, 49);
    Memo4->set_pastes_in_pieces(true);

    // "Tx ON" starts 11 pixels left of the client area, as it always has.
    Button1 = make_button(client, "Button1", "Tx ON", -11, 320, 68, 25);
    Button3 = make_button(client, "Button3", "CW I/D", 56, 320, 57, 25);
    Button3->setEnabled(false);
    Button2 = make_button(client, "Button2", "Test On", 112, 320, 73, 25);
    Button4 = make_button(client, "Button4", "AFC Off", 184, 320, 73, 25);
    Button5 = make_button(client, "Button5", "Print Off", 256, 320, 65, 25);
    Button6 = make_button(client, "Button6", "AutoSync Off", 320, 320, 89, 25);
    Button9 = make_button(client, "Button9", "Tune Up", 408, 320, 57, 25);
    Button9->setEnabled(false);

    InputMeter = new LevelMeter(client, "InputMeter", quavel::InputLevel::kOverloadDbfs);
    InputMeter->setGeometry(404, 18, 58, 28);

    Panel2 = make_panel(client, "Panel2", 88, 0, 185, 13);
    Panel2->setFrameStyle(QFrame::NoFrame);
    set_background(Panel2, kAqua);
    Label3 = make_label(Panel2, "Label3", "Mouse Pointed Freq = ", 0, 0);
    Label7 = make_label(Panel2, "Label7", "", 112, 0);
    Label7->resize(41, 13);
    Label6 = make_label(Panel2, "Label6", "Hz", 160, 0);
    Panel2->hide();

    Timer1 = new FormTimer(this, "Timer1", 2, true);
    Timer2 = new FormTimer(this, "Timer2", 10, false);
    Timer3 = new FormTimer(this, "Timer3", 2, true);
}

void TForm1::create_setup_panel() {
    Panel1 = make_panel(centralWidget(), "Panel1", 8, 0, 169, 217);
    Label1 = make_label(Panel1, "Label1", "SETUP OPTIONS", 8, 16);
    QPalette caption = Label1->palette();
    caption.setColor(QPalette::WindowText, Qt::white);
    caption.setColor(QPalette::Window, caption.color(QPalette::Active, QPalette::Highlight));
    Label1->setPalette(caption);
    Label1->setAutoFillBackground(true);
    Label2 = make_label(Panel1, "Label2", "Enter Callsign", 8, 32);
    Memo3 = new Memo(Panel1, "Memo3", Memo::ScrollBars::None);
    Memo3->setGeometry(24, 48, 81, 17);
    RadioGroup1 = new RadioGroup(Panel1, "RadioGroup1", "PTT Function",
                                 {"COM1", "COM2", "COM3", "COM4", "NONE"}, QRect(8, 88, 73, 89));
    RadioGroup1->setItemIndex(4);
    RadioGroup2 =
        new RadioGroup(Panel1, "RadioGroup2", "PTT Delay", {"OFF", "ON"}, QRect(88, 88, 73, 89));
    RadioGroup2->setItemIndex(0);
    BitBtn1 = make_button(Panel1, "BitBtn1", "OK", 8, 184, 65, 25);
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    BitBtn1->setDefault(true);
    BitBtn2 = make_button(Panel1, "BitBtn2", "Cancel", 88, 184, 65, 25);
    BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));

    // OK is the panel's default button (Return on the radio groups), Cancel its cancel button
    // (Escape anywhere in the panel). The callsign field keeps Return for itself.
    for (QWidget* group : {static_cast<QWidget*>(RadioGroup1), static_cast<QWidget*>(RadioGroup2)})
        for (const auto key : {Qt::Key_Return, Qt::Key_Enter})
            connect(new QShortcut(QKeySequence(key), group, nullptr, nullptr,
                                  Qt::WidgetWithChildrenShortcut),
                    &QShortcut::activated, BitBtn1, &QPushButton::click);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), Panel1, nullptr, nullptr,
                          Qt::WidgetWithChildrenShortcut),
            &QShortcut::activated, BitBtn2, &QPushButton::click);

    Panel1->setEnabled(false);
    Panel1->hide();
}

void TForm1::create_menu() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName("MainMenu1");
    File1 = MainMenu1->addMenu("&File");
    File1->setObjectName("File1");
    SaveReceived = File1->addAction("Save &Received Text...");
    SaveReceived->setObjectName("SaveReceived");
    LogToFile = File1->addAction("&Log to File...");
    LogToFile->setObjectName("LogToFile");
    LogToFile->setCheckable(true);
    File1->addSeparator();
    Exit1 = File1->addAction("E&xit");
    Exit1->setObjectName("Exit1");
    SetUp1 = MainMenu1->addAction("&Set Up");
    SetUp1->setObjectName("SetUp1");
    SoundRig1 = MainMenu1->addAction("Sound && &Rig");
    SoundRig1->setObjectName("SoundRig1");
    // What the operator chooses beyond the station file, remembered in the program's own
    // settings file.
    Options1 = MainMenu1->addMenu("&Options");
    Options1->setObjectName("Options1");
    WeakReceiver1 = Options1->addAction("&Weak-Signal Receiver");
    WeakReceiver1->setObjectName("WeakReceiver1");
    WeakReceiver1->setCheckable(true);
    WeakReceiver1->setToolTip("Print what the weak-signal receiver copies; the displays still "
                              "show the classic receiver");
    Squelch1 = Options1->addAction("S&quelch");
    Squelch1->setObjectName("Squelch1");
    Squelch1->setCheckable(true);
    Squelch1->setToolTip("The weak-signal receiver prints only while it holds a signal");
    NoiseBlanker1 = Options1->addAction("&Noise Blanker");
    NoiseBlanker1->setObjectName("NoiseBlanker1");
    NoiseBlanker1->setCheckable(true);
    NoiseBlanker1->setToolTip("Silence static crashes before the classic receiver and the "
                              "displays (the weak-signal receiver always does)");
    Help1 = MainMenu1->addAction("&Help");
    Help1->setObjectName("Help1");
    About1 = MainMenu1->addAction("&About");
    About1->setObjectName("About1");
    // The items stay where they are on every desktop.
    for (QAction* item : {Exit1, SetUp1, SoundRig1, Help1, About1})
        item->setMenuRole(QAction::NoRole);

    // Not the menu bar's corner widget: the bar would keep the corner's whole width and move
    // "About" into an overflow menu. The readouts take what the items leave (fit_readouts).
    Readouts = new QWidget(MainMenu1);
    Readouts->setObjectName("Readouts");
    CentreReadout = new ReadoutLabel(Readouts);
    CentreReadout->setObjectName("CentreReadout");
    CentreReadout->setToolTip("The centre frequency the receiver is tuned to: it follows AFC and "
                              "clicks on the waterfall");
    WeakReadout = new ReadoutLabel(Readouts);
    WeakReadout->setObjectName("WeakReadout");
    WeakReadout->setToolTip("Where the weak-signal receiver copies (tone 5), also marked in "
                            "yellow on the waterfall");
    WeakReadout->hide();
    KeyingReadout = new ReadoutLabel(Readouts);
    KeyingReadout->setObjectName("KeyingReadout");
    QPalette alarm = KeyingReadout->palette();
    alarm.setColor(QPalette::WindowText, Qt::red);
    KeyingReadout->setPalette(alarm);
    KeyingReadout->hide();
    MainMenu1->installEventFilter(this);
}

void TForm1::create_operating_menus() {
    BackToReceive = Options1->addAction("&Back to Receive When Sent");
    BackToReceive->setObjectName("BackToReceive");
    BackToReceive->setCheckable(true);
    BackToReceive->setChecked(settings_->back_to_receive());
    connect(BackToReceive, &QAction::toggled, this, [this](bool on) {
        settings_->set_back_to_receive(on);
        settings_->sync();
    });

    TransmitLevel = Options1->addMenu("Transmit &Level");
    TransmitLevel->setObjectName("TransmitLevel");
    auto* levels = new QActionGroup(TransmitLevel);
    // Fine steps near full level, where the rig's ALC is usually just kept out of action.
    for (int db : {0, -1, -2, -3, -4, -6, -8, -10, -12, -15, -20, -25, -30}) {
        QAction* item = TransmitLevel->addAction(QStringLiteral("%1 dB").arg(db));
        item->setCheckable(true);
        item->setData(db);
        levels->addAction(item);
        connect(item, &QAction::triggered, this, [this, db] { set_transmit_level(db); });
    }

    PaneFontSize = Options1->addMenu("Pane &Font Size");
    PaneFontSize->setObjectName("PaneFontSize");
    auto* sizes = new QActionGroup(PaneFontSize);
    for (int points : {0, 8, 9, 10, 12, 14, 16, 20, 24}) {
        QAction* item = PaneFontSize->addAction(points == 0 ? QStringLiteral("The Form's Own")
                                                            : QStringLiteral("%1 pt").arg(points));
        item->setCheckable(true);
        item->setData(points);
        sizes->addAction(item);
        connect(item, &QAction::triggered, this, [this, points] { set_pane_font_size(points); });
    }

    connect(SaveReceived, &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getSaveFileName(
            this, "Save Received Text", QDir(working_dir_).filePath("received.txt"),
            "Text files (*.txt);;All files (*)");
        if (!path.isEmpty()) save_received_text(path);
    });
    connect(LogToFile, &QAction::triggered, this, [this](bool on) {
        QString path;
        if (on) {
            path = QFileDialog::getSaveFileName(this, "Log to File",
                                                QDir(working_dir_).filePath("quavel.log"),
                                                "Log files (*.log *.txt);;All files (*)", nullptr,
                                                QFileDialog::DontConfirmOverwrite);
        }
        set_receive_log(path);
    });
}

void TForm1::bind_handlers() {
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(WeakReceiver1, &QAction::triggered, this, &TForm1::WeakReceiver1Click);
    connect(Squelch1, &QAction::triggered, this, &TForm1::Squelch1Click);
    connect(NoiseBlanker1, &QAction::triggered, this, &TForm1::NoiseBlanker1Click);
    connect(Exit1, &QAction::triggered, this, &TForm1::Exit1Click);
    connect(About1, &QAction::triggered, this, &TForm1::About1Click);
    connect(Help1, &QAction::triggered, this, &TForm1::Help1Click);
    connect(Image1, &CanvasView::mouseUp, this, &TForm1::Image1MouseUp);
    connect(Image2, &CanvasView::mouseUp, this, &TForm1::Image2MouseUp);
    connect(SetUp1, &QAction::triggered, this, &TForm1::SetUp1Click);
    connect(SoundRig1, &QAction::triggered, this, &TForm1::SoundRig1Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
    connect(Memo3, &Memo::keyPress, this, &TForm1::Memo3KeyPress);
    connect(Memo4, &Memo::keyPress, this, &TForm1::Memo4KeyPress);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(Image1, &CanvasView::mouseMove, this, &TForm1::Image1MouseMove);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    connect(TrackBar1, &QSlider::valueChanged, this, &TForm1::TrackBar1Change);
    connect(Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);
    connect(Button6, &QPushButton::clicked, this, &TForm1::Button6Click);
    connect(RadioGroup3, &RadioGroup::clicked, this, &TForm1::RadioGroup3Click);
    connect(Timer3, &QTimer::timeout, this, &TForm1::Timer3Timer);
    connect(Memo1, &Memo::clicked, this, &TForm1::Memo1Click);
    connect(Memo2, &Memo::clicked, this, &TForm1::Memo2Click);
    connect(Button8, &QPushButton::clicked, this, &TForm1::Button8Click);
    connect(Button7, &QPushButton::clicked, this, &TForm1::Button7Click);
    connect(Button9, &QPushButton::clicked, this, &TForm1::Button9Click);
    connect(Memo6, &Memo::keyPress, this, &TForm1::Memo6KeyPress);
    connect(Button10, &QPushButton::clicked, this, &TForm1::Button10Click);
    connect(Button11, &QPushButton::clicked, this, &TForm1::Button11Click);
    connect(Button12, &QPushButton::clicked, this, &TForm1::Button12Click);
    connect(Button13, &QPushButton::clicked, this, &TForm1::Button13Click);
    connect(Button14, &QPushButton::clicked, this, &TForm1::Button14Click);
    // FormActivate and FormMouseMove come from event() and eventFilter().

    // The transmit key works wherever the focus is and types nothing into a pane.
    auto* transmit_key = new QShortcut(QKeySequence(kTransmitKey), this);
    transmit_key->setObjectName("TransmitKey");
    connect(transmit_key, &QShortcut::activated, Button1, &QPushButton::click);
    Button1->setToolTip(QStringLiteral("Starts or ends a transmission (%1)")
                            .arg(QKeySequence(kTransmitKey).toString(QKeySequence::NativeText)));
    // The pointed frequency is only meaningful while the pointer is over the waterfall.
    Image1->installEventFilter(this);
}

void TForm1::set_tab_order() {
    // The focusable widgets of each control in the form's tab order; a radio group's stops are
    // its buttons, the panels' stops the controls inside them.
    const auto stops = [](QWidget* control) {
        QList<QWidget*> out;
        if (auto* group = qobject_cast<RadioGroup*>(control)) {
            for (int i = 0; i < group->count(); ++i)
                out.push_back(group->button(i));
        } else {
            out.push_back(control);
        }
        return out;
    };
    QList<QWidget*> chain;
    for (QWidget* control : std::initializer_list<QWidget*>{
             Memo1,    Memo2,       BitBtn1,  BitBtn2,  Memo3,   RadioGroup1, RadioGroup2,
             Memo4,    Button1,     Button3,  Button2,  Button4, Button5,     TrackBar1,
             Button6,  RadioGroup3, Button7,  Button8,  Button9, Memo5,       Memo6,
             Button10, Button11,    Button12, Button13, Button14})
        chain.append(stops(control));
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
}

bool TForm1::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) FormActivate();
    // A window manager may put the window on screen without giving it the focus (or there may
    // be none): the station must start receiving all the same, once the window is up.
    if (event->type() == QEvent::Show && !activated_)
        QMetaObject::invokeMethod(this, &TForm1::FormActivate, Qt::QueuedConnection);
    return QMainWindow::event(event);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == centralWidget() && event->type() == QEvent::Resize) lay_out_growing_controls();
    if (watched == MainMenu1 && event->type() == QEvent::Resize) fit_readouts();
    if (watched == Image1 && event->type() == QEvent::Leave) Panel2->hide();
    if (watched == centralWidget() && event->type() == QEvent::MouseMove) {
        // Moves over a control that does not track the mouse come up here too; only the bare
        // surface counts.
        const auto* move = static_cast<QMouseEvent*>(event);
        const QPoint at = move->position().toPoint();
        if (centralWidget()->childAt(at) == nullptr)
            FormMouseMove(move->modifiers(), at.x(), at.y());
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::show_warning(const std::string& text, const std::string& title) {
    station_->messages().show(text, title, quavel::MessageIcon::Warning);
}

void TForm1::closeEvent(QCloseEvent* event) {
    // A window the operator grew comes back at that size; one at the form's size stays so.
    const QSize form_size(kClientWidth, kClientHeight);
    settings_->set_window_geometry(centralWidget()->size() == form_size ? QByteArray()
                                                                        : saveGeometry());
    closing_ = true;
    remember_band_window();
    settings_->sync();
    QMainWindow::closeEvent(event);
}

void TForm1::lay_out_growing_controls() {
    const int width = centralWidget()->width();
    const int wider = std::max(0, width - kClientWidth);
    const int taller = std::max(0, centralWidget()->height() - kClientHeight);
    // Two thirds of the height gained go to the receive panes, the rest to the transmit pane.
    const int receive_taller = taller * 2 / 3;
    const int receive_height = 97 + receive_taller;
    switch (wide_pane_) {
    case WidePane::None:
        Memo1->setGeometry(0, 136, 232 + wider / 2, receive_height);
        Memo2->setGeometry(233 + wider / 2, 136, 232 + wider - wider / 2, receive_height);
        break;
    case WidePane::Primary: // the other pane keeps a narrow strip at the right
        Memo1->setGeometry(0, 136, width - 59, receive_height);
        Memo2->setGeometry(width - 58, 136, 58, receive_height);
        break;
    case WidePane::Secondary:
        Memo1->setGeometry(0, 136, 58, receive_height);
        Memo2->setGeometry(59, 136, width - 59, receive_height);
        break;
    }
    Label10->move(16, 236 + receive_taller);
    Memo6->move(0, 252 + receive_taller);
    Memo5->setGeometry(104, 232 + receive_taller, 361 + wider, 41);
    Memo4->setGeometry(0, 272 + receive_taller, kClientWidth + wider, 49 + taller - receive_taller);
    for (QPushButton* button : {Button1, Button3, Button2, Button4, Button5, Button6, Button9})
        button->move(button->x(), 320 + taller);
    if (LogContactButton != nullptr) {
        // Right of the row, and only where the window has been grown enough to hold it.
        constexpr int kGap = 8;
        constexpr int kWidth = 80;
        LogContactButton->setGeometry(kClientWidth + kGap, 320 + taller, kWidth, Button9->height());
        LogContactButton->setVisible(wider >= kGap + kWidth);
    }
}

void TForm1::set_transmit_level(int db) {
    station_->set_transmit_level_db(db);
    if (station_->transmit_level_db() != settings_->transmit_level_db()) {
        settings_->set_transmit_level_db(station_->transmit_level_db());
        settings_->sync();
    }
    for (QAction* item : TransmitLevel->actions())
        item->setChecked(item->data().toInt() == station_->transmit_level_db());
}

void TForm1::set_pane_font_size(int points) {
    QFont pane_font = font();
    if (points >= 6) pane_font.setPointSize(points);
    for (Memo* pane : {Memo1, Memo2, Memo4, Memo5})
        pane->setFont(pane_font);
    if (points != settings_->pane_font_size()) {
        settings_->set_pane_font_size(points);
        settings_->sync();
    }
    for (QAction* item : PaneFontSize->actions())
        item->setChecked(item->data().toInt() == settings_->pane_font_size());
}

bool TForm1::save_received_text(const QString& path) {
    QSaveFile file(path);
    QByteArray text;
    for (const QChar c : Memo1->toPlainText())
        text.append(to_modem_char(c));
    if (!text.isEmpty() && !text.endsWith('\n')) text.append('\n');
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit())
        return true;
    show_warning("Cannot save the received text as " + path.toStdString() + "\n" +
                     file.errorString().toStdString(),
                 kHelpTitle);
    return false;
}

void TForm1::set_receive_log(const QString& path) {
    logged_primary_->set_log(nullptr);
    logged_sent_->set_log(nullptr);
    rx_log_.reset();
    command_line_log_.clear();
    settings_->set_receive_log(path);
    settings_->sync();
    if (!path.isEmpty()) {
        rx_log_ =
            std::make_unique<RxLog>(QFile::encodeName(path).toStdString(), station_->messages());
        if (!rx_log_->logging()) {
            rx_log_.reset();
            settings_->set_receive_log({});
            settings_->sync();
        } else {
            logged_primary_->set_log(rx_log_.get());
            logged_sent_->set_log(rx_log_.get());
            if (activated_) begin_log(station_->transmitting());
        }
    }
    LogToFile->setChecked(rx_log_ != nullptr);
}

void TForm1::begin_log(bool sending) {
    if (!rx_log_) return;
    const QString speed = RadioGroup3->button(RadioGroup3->itemIndex())->text();
    rx_log_->begin(sending ? RxLog::Activity::Sending : RxLog::Activity::Receiving,
                   speed.toStdString(), station_->centre_hz(), std::time(nullptr));
}

void TForm1::back_to_receive_if_sent() {
    if (BackToReceive->isChecked() && Memo4->document()->isEmpty() &&
        station_->sent_and_idle(kIdleTailSymbols) && Button1->text() == "Tx OFF")
        toggle_transmission_for(QStringLiteral("back-to-receive"));
}

void TForm1::toggle_transmission_for(const QString& reason) {
    toggle_reason_ = reason;
    Button1->click();
    toggle_reason_ = QStringLiteral("operator");
}

void TForm1::show_help_viewer(const QString& page) {
    auto* viewer = findChild<QTextBrowser*>("HelpViewer");
    if (viewer == nullptr) {
        viewer = new QTextBrowser(this);
        viewer->setObjectName("HelpViewer");
        viewer->setWindowFlag(Qt::Window);
        viewer->setWindowTitle(kHelpTitle);
        viewer->setOpenExternalLinks(true);
        viewer->resize(640, 560);
    }
    viewer->setSource(QUrl::fromLocalFile(QFileInfo(page).absoluteFilePath()));
    viewer->show();
    viewer->raise();
}

void TForm1::show_centre() {
    const uint32_t hz = station_->centre_hz();
    if (CentreReadout->set_texts(QStringLiteral("Centre %1 Hz").arg(hz),
                                 QStringLiteral("%1 Hz").arg(hz)))
        fit_readouts();
}

void TForm1::show_weak_lock() {
    const bool weak = station_->receiver() == quavel::ReceiverChoice::weak;
    const std::optional<double> hz = station_->weak_lock_hz();
    bool changed = false;
    if (weak) {
        changed = hz ? WeakReadout->set_texts(QStringLiteral("Weak %1 Hz").arg(*hz, 0, 'f', 1),
                                              QStringLiteral("W %1").arg(std::lround(*hz)))
                     : WeakReadout->set_texts(QStringLiteral("Weak: no signal"),
                                              QStringLiteral("W: none"));
    }
    if (WeakReadout->isHidden() == weak) {
        WeakReadout->setVisible(weak);
        changed = true;
    }
    if (changed) fit_readouts();
    // The inverse of waterfall_hz.
    std::optional<int> x;
    if (hz) x = static_cast<int>(std::lround((*hz - 802.0) * Image1->width() / 311.0));
    Image1->set_marker(x);
}

void TForm1::fit_readouts() {
    int items_end = 0;
    for (QAction* item : MainMenu1->actions())
        if (item->isVisible())
            items_end = std::max(items_end, MainMenu1->actionGeometry(item).right() + 1);
    constexpr int kGap = 6;     // after the last item
    constexpr int kSpacing = 6; // between readouts
    constexpr int kMargin = 4;  // at the right end
    const int left = items_end + kGap;
    const int room = std::max(0, MainMenu1->width() - kMargin - left);
    Readouts->setGeometry(left, 0, room, MainMenu1->height());

    // In the order they stand; the first to give way is the weak receiver's (its place is
    // marked on the waterfall too), the last the keying state's.
    struct Fit {
        ReadoutLabel* label;
        int width;
    };
    std::vector<Fit> fits;
    for (ReadoutLabel* label : {CentreReadout, WeakReadout, KeyingReadout})
        if (!label->isHidden()) fits.push_back({label, label->full_width()});
    int total = fits.empty() ? 0 : kSpacing * static_cast<int>(fits.size() - 1);
    for (const Fit& f : fits)
        total += f.width;
    const auto give_way = [&](auto&& shrink) {
        for (ReadoutLabel* label : {WeakReadout, CentreReadout, KeyingReadout})
            for (Fit& f : fits)
                if (f.label == label && total > room) {
                    const int to = shrink(f);
                    total -= f.width - to;
                    f.width = to;
                }
    };
    give_way([](const Fit& f) { return std::min(f.width, f.label->short_width()); });
    give_way([&](const Fit& f) { return std::max(0, f.width - (total - room)); });
    // The dial (beside the centre readout) and the identification clock (last) take only what
    // room is left, whole or shorter, and stay hidden where none is.
    for (ReadoutLabel* extra : {DialReadout, IdentifyReadout}) {
        const int spare = room - total - (fits.empty() ? 0 : kSpacing);
        if (extra == nullptr) continue; // before they are made
        const int width = extra->text().isEmpty()         ? 0
                          : extra->full_width() <= spare  ? extra->full_width()
                          : extra->short_width() <= spare ? extra->short_width()
                                                          : 0;
        extra->setVisible(width > 0);
        if (width == 0) continue;
        total += width + (fits.empty() ? 0 : kSpacing);
        const auto centre = std::find_if(fits.begin(), fits.end(),
                                         [this](const Fit& f) { return f.label == CentreReadout; });
        const auto at = extra == DialReadout && centre != fits.end() ? centre + 1 : fits.end();
        fits.insert(at, {extra, width});
    }
    int x = std::max(0, room - total);
    for (const Fit& f : fits) {
        f.label->setGeometry(x, 0, f.width, Readouts->height());
        x += f.width + kSpacing;
    }
}

void TForm1::show_keying_state() {
    using Method = AppSettings::PttMethod;
    QString full;
    QString shorter;
    QString why;
    const bool adapters = serial_ptt_ != nullptr || cat_ptt_ != nullptr;
    const Method method = adapters ? settings_->ptt_method() : Method::Rts;
    const bool serial = method == Method::Rts || method == Method::Dtr;
    const quavel::KeyingStatus status = station_->keying_status();
    if (adapters && serial && settings_->ptt_device().trimmed().isEmpty() &&
        station_->settings().port_name == quavel::kNoPort) {
        full = QStringLiteral("PTT: no port");
        shorter = QStringLiteral("no PTT");
        why = QStringLiteral("Keying by RTS or DTR is chosen, but no port: a transmission goes "
                             "out without keying the transmitter. Choose the port under Sound & "
                             "Rig, or None (VOX) for a rig that keys itself on the sound.");
    } else if (status.configured && !status.open && status.failed) {
        const bool cat = adapters ? method == Method::Cat : false;
        full =
            cat ? QStringLiteral("rig not answering") : QStringLiteral("PTT port cannot be opened");
        shorter = cat ? QStringLiteral("no rig") : QStringLiteral("no PTT");
        why = QString::fromStdString(status.error) +
              QStringLiteral("\nTried again every few seconds; Sound & Rig tests it.");
    }
    const bool show = !full.isEmpty();
    bool changed = KeyingReadout->set_texts(full, shorter);
    if (KeyingReadout->toolTip() != why) KeyingReadout->setToolTip(why);
    if (KeyingReadout->isHidden() == show) {
        KeyingReadout->setVisible(show);
        changed = true;
    }
    if (changed) fit_readouts();
}

void TForm1::show_switches() {
    // A caption names the action of the next click; an indicator shows its switch is on.
    Button4->setText(station_->afc() ? "AFC Off" : "AFC On");
    Label8->setVisible(station_->afc());
    Button6->setText(station_->autosync() ? "AutoSync Off" : "AutoSync On");
    Label11->setVisible(station_->autosync());
    Button5->setText(station_->print() ? "Print Off" : "Print On");
}

void TForm1::set_transmitting_controls(bool transmitting) {
    Memo4->setFocus();
    Timer2->setEnabled(transmitting);
    Timer1->setEnabled(!transmitting);
    Timer3->setEnabled(!transmitting);
    for (QWidget* receive_only : {static_cast<QWidget*>(Button2), static_cast<QWidget*>(Button4),
                                  static_cast<QWidget*>(Button5), static_cast<QWidget*>(Button6),
                                  static_cast<QWidget*>(RadioGroup3)})
        receive_only->setEnabled(!transmitting);
    SetUp1->setEnabled(!transmitting);
    SoundRig1->setEnabled(!transmitting);
}

void TForm1::insert_into_transmit_pane(const std::string& text) {
    PaneSink(*Memo4).insert(text);
    Memo4->setFocus();
}

// --- Handlers, in the form's order ---

void TForm1::FormActivate() {
    // Re-activations (after another program or a message box had the focus) change nothing.
    if (activated_) return;
    activated_ = true;
    quavel::StationSettings& settings = station_->settings();
    const quavel::StartupConfig startup =
        quavel::load_config_at_startup(to_path(working_dir_), settings);
    if (startup.message) show_warning(startup.message->text, startup.message->title);
    if (startup.build_macros)
        macros_.build(settings.callsign, quavel::QrzForm::Activation);
    else
        RadioGroup1->setItemIndex(4);
    // Tunes to 1000 Hz at the selected speed, opens capture and the keying port and gives the
    // transmit pane the focus; from here on the station receives.
    apply_keying(false);
    station_->activate(selected_speed(), TrackBar1->value());
    show_centre();
    begin_log(false);
    // Open when the program last ended, the band activity window opens again.
    if (settings_->band_window_open()) BandActivity1->trigger();
}

void TForm1::Timer1Timer() {
    FormTimer::Pause pause(*Timer1);
    if (station_->receive_tick()) {
        Image1->update();
        Image2->update();
        Image3->update();
        show_centre();
        if (rx_log_) {
            const int speed = 1 << RadioGroup3->itemIndex();
            rx_log_->symbol_heard(station_->heard_idle(),
                                  static_cast<uint32_t>(kPauseSeconds * speed));
        }
    }
    // The weak-signal receiver works on every captured block, between the steps too.
    if (station_->receiver() == quavel::ReceiverChoice::weak) {
        show_centre();
        show_weak_lock();
    }
    feed_band_activity();
}

void TForm1::WeakReceiver1Click() {
    const bool weak = WeakReceiver1->isChecked();
    station_->set_receiver(weak ? quavel::ReceiverChoice::weak : quavel::ReceiverChoice::classic);
    settings_->set_receiver(weak ? AppSettings::Receiver::Weak : AppSettings::Receiver::Classic);
    settings_->sync();
    show_weak_lock();
    Memo4->setFocus();
}

void TForm1::Squelch1Click() {
    station_->set_squelch(Squelch1->isChecked());
    settings_->set_squelch(Squelch1->isChecked());
    settings_->sync();
    Memo4->setFocus();
}

void TForm1::NoiseBlanker1Click() {
    station_->set_noise_blanker(NoiseBlanker1->isChecked());
    settings_->set_noise_blanker(NoiseBlanker1->isChecked());
    settings_->sync();
    Memo4->setFocus();
}

void TForm1::Exit1Click() {
    close();
}

void TForm1::About1Click() {
    station_->messages().show("Quavel2.5  A 9 Tone Transmission Program\nby the Quavel developers\n"
                              "September 2000",
                              "Information", quavel::MessageIcon::None);
}

void TForm1::Help1Click() {
    const QString page = find_help_page(working_dir_, QCoreApplication::applicationDirPath());
    if (page.isEmpty())
        show_warning(std::string("The help page ") + kHelpPageName + " was not found", kHelpTitle);
    else if (!open_help_(page))
        show_help_viewer(page);
}

void TForm1::Image1MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int x, int) {
    station_->set_centre_frequency(waterfall_hz(x, Image1->width()));
    show_centre();
}

void TForm1::Image2MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers, int x, int) {
    station_->scope_release(button == Qt::LeftButton, x);
}

void TForm1::SetUp1Click() {
    Panel1->setEnabled(true);
    Panel1->show();
    Panel1->raise();
    const quavel::StationSettings& settings = station_->settings();
    Memo3->clear();
    PaneSink(*Memo3).insert(settings.callsign);
    Memo3->setFocus();
    if (const auto item = quavel::port_item_for_word(settings.port_name))
        RadioGroup1->setItemIndex(*item);
    if (const auto item = quavel::delay_item_for_word(settings.delay_word))
        RadioGroup2->setItemIndex(*item);
}

void TForm1::set_sound_devices(quavel::QtAudioInput* input, quavel::QtAudioOutput* output) {
    sound_input_ = input;
    sound_output_ = output;
}

void TForm1::SoundRig1Click() {
    if (rig_panel_ && rig_panel_->isVisible()) {
        rig_panel_->raise();
        rig_panel_->activateWindow();
        return;
    }
    RigPanel::Keying keying;
    keying.setup_port = QString::fromStdString(station_->settings().port_name);
    keying.port_map = com_ports_;
    keying.station = station_.get();
    keying.serial = serial_ptt_;
    keying.cat = cat_ptt_;
    rig_panel_ = new RigPanel(*settings_, std::move(keying), this);
    connect(rig_panel_, &RigPanel::confirmed, this, [this](RigPanel::Changes changes) {
        if (!settings_->sync())
            show_warning("Cannot save the settings: " + settings_->error().toStdString(),
                         RigPanel::kTitle);
        if (changes.setup_port) store_setup_port(changes.setup_port_word);
        apply_sound_devices(changes.input_device, changes.output_device);
        if (changes.keying) apply_keying(true);
        apply_dial_source();
        show_keying_state();
    });
    rig_panel_->open();
}

bool TForm1::store_setup_port(const QString& word) {
    quavel::StationSettings& settings = station_->settings();
    const int item = quavel::port_item_for_word(word.toStdString()).value_or(4);
    // The text the Set Up panel's OK would write with this port chosen and the rest as shown
    // there: the callsign field holds the callsign (empty before any file), the delay its item.
    const quavel::SetupPanelEntry entry{
        settings.callsign, item, quavel::delay_item_for_word(settings.delay_word).value_or(0)};
    std::string error;
    if (!quavel::write_config_file(to_path(working_dir_), quavel::setup_file_text(entry), error)) {
        show_warning("Cannot save the PTT port in " + std::string(quavel::kConfigFileName) + ": " +
                         error,
                     RigPanel::kTitle);
        return false;
    }
    settings.port_name = std::string(quavel::port_word_for_item(item));
    // A Set Up panel left open shows the port it would write.
    if (Panel1->isVisible()) RadioGroup1->setItemIndex(item);
    return true;
}

void TForm1::apply_sound_devices(bool input_changed, bool output_changed) {
    if (output_changed && sound_output_ != nullptr)
        sound_output_->set_device(settings_->output_device().toUtf8());
    if (input_changed && sound_input_ != nullptr) {
        sound_input_->set_device(settings_->input_device().toUtf8());
        station_->reopen_capture();
    }
}

void TForm1::BitBtn1Click() {
    Panel1->setEnabled(false);
    Panel1->hide();
    const quavel::SetupPanelEntry entry{modem_text(Memo3->toPlainText()), RadioGroup1->itemIndex(),
                                        RadioGroup2->itemIndex()};
    quavel::StationSettings& settings = station_->settings();
    const quavel::SetupConfirmation done =
        quavel::confirm_setup(to_path(working_dir_), entry, settings);
    if (done.message) show_warning(done.message->text, done.message->title);
    if (done.saved) {
        macros_.build(settings.callsign, quavel::QrzForm::Setup);
        // The identification audio is built when the station tunes: tune again in place so
        // that "CW I/D" sends the callsign just confirmed, not the one before it.
        station_->set_centre_frequency(station_->centre_hz());
    }
    if (done.apply_port) station_->open_ptt_port();
    Memo4->setFocus();
}

void TForm1::BitBtn2Click() {
    Memo4->setFocus();
    Panel1->setEnabled(false);
    Panel1->hide();
}

void TForm1::Memo3KeyPress(char& key) {
    key = quavel::callsign_key(key);
}

// The transmit pane and the other-station field take capitals as the callsign field does.
void TForm1::Memo4KeyPress(char& key) {
    key = quavel::callsign_key(key);
}

void TForm1::Button1Click() {
    const bool start = Button1->text() == "Tx ON";
    const QString reason = toggle_reason_;
    // A rig that must answer and does not: the station says why and goes on receiving.
    if (start && !station_->start_transmission()) return;
    // Due to identify: the Morse identification goes out first, and the station ends the
    // transmission itself once it has been played (Events::transmission_ended); the text not
    // yet taken is discarded as ever. A second "Tx OFF" meanwhile stops at once.
    if (!start && station_->identify_then_stop()) {
        Memo4->clear();
        ending_reason_ = reason;
        return;
    }
    Button1->setText(start ? "Tx OFF" : "Tx ON");
    set_transmitting_controls(start);
    if (start) {
        begin_log(true);
    } else {
        // The text not yet taken for sending is discarded.
        Memo4->clear();
        station_->stop_transmission();
        begin_log(false);
        InputMeter->set_level(quavel::InputLevel::kFloorDbfs);
    }
    emit transmission_changed(start, reason);
}

void TForm1::Button3Click() {
    station_->cw_id();
}

void TForm1::Image1MouseMove(Qt::KeyboardModifiers, int x, int) {
    Label7->setText(QString::number(waterfall_hz(x, Image1->width())));
    fit_pointed_readout();
    Panel2->show();
}

void TForm1::fit_pointed_readout() {
    // The form's places suit its own 8-point font; where the desktop's font is wider or taller
    // the readout moves its parts apart and grows, so nothing is drawn over or cut off.
    const QFontMetrics metrics(Label7->font());
    const int number_left = std::max(112, Label3->x() + Label3->sizeHint().width());
    const int number_width = std::max(41, metrics.horizontalAdvance(Label7->text()) + 2);
    const int height = std::max({13, Label3->sizeHint().height(), Label6->sizeHint().height()});
    Label7->setGeometry(number_left, 0, number_width, std::max(13, height));
    Label3->resize(Label3->sizeHint().width(), height);
    Label6->setGeometry(std::max(160, number_left + number_width + 7), 0,
                        Label6->sizeHint().width(), height);
    Panel2->resize(std::max(185, Label6->x() + Label6->width()), height);
}

void TForm1::FormMouseMove(Qt::KeyboardModifiers, int, int) {
    Panel2->hide();
}

void TForm1::Button2Click() {
    const bool on = Button2->text() == "Test On";
    Button2->setText(on ? "Test Off" : "Test On");
    station_->set_test_mode(on);
}

void TForm1::Button4Click() {
    if (Button4->text() == "AFC Off") {
        Button4->setText("AFC On");
        station_->set_afc(false);
        Label8->hide();
    } else if (Button4->text() == "AFC On") {
        Button4->setText("AFC Off");
        station_->set_afc(true);
        Label8->show();
    }
}

void TForm1::Button5Click() {
    const bool off = Button5->text() == "Print Off";
    Button5->setText(off ? "Print On" : "Print Off");
    station_->set_print(!off);
}

void TForm1::TrackBar1Change() {
    station_->set_sensitivity_position(TrackBar1->value());
    Memo4->setFocus();
}

void TForm1::Timer2Timer() {
    {
        FormTimer::Pause pause(*Timer2);
        station_->transmit_tick();
    }
    show_keying_state();
    back_to_receive_if_sent();
}

void TForm1::Button6Click() {
    if (Button6->text() == "AutoSync Off") {
        Button6->setText("AutoSync On");
        Label11->hide();
        station_->set_autosync(false);
    } else if (Button6->text() == "AutoSync On") {
        Button6->setText("AutoSync Off");
        station_->set_autosync(true);
        Label11->show();
    }
}

quavel::Speed TForm1::selected_speed() const {
    const int item = RadioGroup3->itemIndex();
    return item >= 0 && item < static_cast<int>(quavel::kSpeeds.size())
               ? quavel::kSpeeds[static_cast<size_t>(item)]
               : quavel::Speed::Two;
}

void TForm1::RadioGroup3Click() {
    station_->change_speed(selected_speed());
    show_centre();
    begin_log(false);
}

void TForm1::Timer3Timer() {
    FormTimer::Pause pause(*Timer3);
    if (station_->capture_tick()) InputMeter->set_level(station_->input_level().peak_dbfs);
    show_keying_state();
}

void TForm1::widen_receive_pane(Memo& clicked) {
    // The clicked pane's text goes to the clipboard, when it has any; nothing is ever pasted
    // into a receive pane. The caret goes to the end, where received text is appended.
    if (!clicked.document()->isEmpty())
        QGuiApplication::clipboard()->setText(receive_pane_text(clicked));
    clicked.moveCursor(QTextCursor::End);
}

void TForm1::Memo1Click() {
    wide_pane_ = WidePane::Primary;
    lay_out_growing_controls();
    widen_receive_pane(*Memo1);
}

void TForm1::Memo2Click() {
    wide_pane_ = WidePane::Secondary;
    lay_out_growing_controls();
    widen_receive_pane(*Memo2);
}

void TForm1::Button8Click() {
    insert_into_transmit_pane(macros_.qrz);
}

void TForm1::Button7Click() {
    insert_into_transmit_pane(macros_.cq);
}

void TForm1::Button9Click() {
    station_->tune_up();
}

void TForm1::Memo6KeyPress(char& key) {
    key = quavel::callsign_key(key);
}

void TForm1::insert_exchange_macro(quavel::ExchangeMacro which) {
    const std::string text = quavel::exchange_text(which, modem_text(Memo6->toPlainText()),
                                                   station_->settings().callsign);
    if (!text.empty()) insert_into_transmit_pane(text);
}

void TForm1::Button10Click() {
    insert_exchange_macro(quavel::ExchangeMacro::Macro1);
}

void TForm1::Button11Click() {
    insert_exchange_macro(quavel::ExchangeMacro::Macro2);
}

void TForm1::insert_stored_text(int number) {
    const quavel::StoredTextRead read = quavel::read_stored_text(to_path(working_dir_), number);
    if (read.message)
        show_warning(read.message->text, read.message->title);
    else
        insert_into_transmit_pane(read.text);
}

void TForm1::Button12Click() {
    insert_stored_text(1);
}

void TForm1::Button13Click() {
    insert_stored_text(2);
}

void TForm1::Button14Click() {
    insert_stored_text(3);
}
