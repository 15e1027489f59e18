#include "ui/rig_panel.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QSerialPort>
#include <QSpinBox>
#include <QVBoxLayout>
#include <chrono>
#include <cmath>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/hamlib/hamlib_ptt.h"
#include "platform/hamlib/hamlib_rigs.h"
#include "platform/qt/qt_audio_devices.h"
#include "platform/qt/qt_serial_ptt.h"
#include "station/station.h"
#include "ui/app_settings.h"

namespace {

// Fills `box` with the system default and `devices`, and selects `chosen` (an id; empty for
// the default). A chosen device that is not listed stays selectable, marked as absent.
void fill(QComboBox& box, const std::vector<quavel::AudioDeviceInfo>& devices,
          const QString& chosen) {
    box.clear();
    box.addItem(RigPanel::kSystemDefault, QString());
    for (const quavel::AudioDeviceInfo& d : devices) {
        const QString id = QString::fromStdString(d.id);
        QString text = QString::fromStdString(d.name);
        if (d.is_default) text += " (default)";
        box.addItem(text, id);
        box.setItemData(box.count() - 1, id, Qt::ToolTipRole);
    }
    if (chosen.isEmpty()) {
        box.setCurrentIndex(0);
        return;
    }
    int at = box.findData(chosen);
    if (at < 0) {
        box.addItem(chosen + " (not present)", chosen);
        at = box.count() - 1;
    }
    box.setCurrentIndex(at);
}

QString chosen_id(const QComboBox& box) {
    return box.currentData().toString();
}

} // namespace

// An answer from another thread, handed to the panel on the window's thread; dropped once the
// panel has gone. The panel clears `panel` as it is destroyed, under the lock the posting
// holds, so nothing is ever posted to a panel that is not there.
struct RigPanel::Replies {
    std::mutex mutex;
    RigPanel* panel = nullptr;
    QPointer<RigPanel> guard;

    void post(std::string text) {
        const std::lock_guard lock(mutex);
        if (panel == nullptr) return;
        QMetaObject::invokeMethod(
            panel,
            [guard = guard, text = QString::fromStdString(text)] {
                if (guard) guard->show_test_result(text);
            },
            Qt::QueuedConnection);
    }
};

RigPanel::RigPanel(AppSettings& settings, QWidget* parent) : RigPanel(settings, Keying{}, parent) {}

RigPanel::~RigPanel() {
    const std::lock_guard lock(replies_->mutex);
    replies_->panel = nullptr;
}

RigPanel::RigPanel(AppSettings& settings, Keying keying, QWidget* parent)
    : QDialog(parent), settings_(settings), keying_(std::move(keying)),
      replies_(std::make_shared<Replies>()) {
    replies_->panel = this;
    replies_->guard = this;
    setObjectName("RigPanel");
    setWindowTitle(kTitle);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    // The panel follows what it holds: a warning or a test's report shown grows it to fit.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    create_sound_section();
    layout->addWidget(SoundBox);

    KeyingBox = new QGroupBox("Keying", this);
    KeyingBox->setObjectName("KeyingBox");
    KeyingLayout = new QFormLayout(KeyingBox);
    create_keying_section();
    layout->addWidget(KeyingBox);

    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->setObjectName("Buttons");
    connect(Buttons, &QDialogButtonBox::accepted, this, &RigPanel::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &RigPanel::reject);
    layout->addWidget(Buttons);
}

void RigPanel::create_sound_section() {
    SoundBox = new QGroupBox("Sound", this);
    SoundBox->setObjectName("SoundBox");
    auto* form = new QFormLayout(SoundBox);
    InputDevice = new QComboBox(SoundBox);
    InputDevice->setObjectName("InputDevice");
    OutputDevice = new QComboBox(SoundBox);
    OutputDevice->setObjectName("OutputDevice");
    form->addRow("&Input (receive):", InputDevice);
    form->addRow("&Output (transmit):", OutputDevice);
    RefreshDevices = new QPushButton("&Refresh list", SoundBox);
    RefreshDevices->setObjectName("RefreshDevices");
    RefreshDevices->setToolTip("List the sound devices again, after plugging one in.");
    form->addRow(QString(), RefreshDevices);
    connect(RefreshDevices, &QPushButton::clicked, this, &RigPanel::refresh_devices);
    fill(*InputDevice, quavel::list_audio_inputs(), settings_.input_device());
    fill(*OutputDevice, quavel::list_audio_outputs(), settings_.output_device());
}

void RigPanel::refresh_devices() {
    fill(*InputDevice, quavel::list_audio_inputs(), chosen_id(*InputDevice));
    fill(*OutputDevice, quavel::list_audio_outputs(), chosen_id(*OutputDevice));
}

namespace {

using Method = AppSettings::PttMethod;

Method method_of(const QComboBox& box) {
    for (const Method m : {Method::Rts, Method::Dtr, Method::Cat, Method::None})
        if (box.currentData().toString() == AppSettings::ptt_method_name(m)) return m;
    return Method::Rts;
}

// What a keying device reads back after a change, for the test's report.
std::string read_back(quavel::Ptt& ptt) {
    switch (ptt.check()) {
    case quavel::PttCheck::Keyed:
        return "the rig said PTT on";
    case quavel::PttCheck::Released:
        return "the rig said PTT off";
    case quavel::PttCheck::NoAnswer:
        return "no answer: " + ptt.error();
    case quavel::PttCheck::Answering:
        break;
    }
    return {};
}

std::string serial_lines(quavel::QtSerialPtt& serial) {
    QSerialPort* port = serial.port();
    if (port == nullptr) return {};
    const bool rts = serial.line() == quavel::PttLine::Rts;
    const bool up = rts ? port->isRequestToSend() : port->isDataTerminalReady();
    return std::string(rts ? "RTS" : "DTR") + " read back " + (up ? "raised" : "low");
}

// Keys `ptt` for a second and releases it: what happened, named as `what`. A release that
// fails is said first and loudest.
std::string key_for_a_second(quavel::Ptt& ptt, const std::string& what,
                             const std::function<std::string()>& back) {
    if (!ptt.key(true)) {
        const std::string why = ptt.error();
        ptt.key(false);
        return what + ": cannot key the transmitter (" + why + ")";
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const std::string during = back();
    const bool released = ptt.key(false);
    if (!released)
        return "THE TRANSMITTER MAY STILL BE KEYED: " + what + " could not be released (" +
               ptt.error() + "). Switch it to receive by hand.";
    const std::string after = back();
    return what + ": keyed for a second" + (during.empty() ? "" : " (" + during + ")") +
           " and released" + (after.empty() ? "" : " (" + after + ")");
}

} // namespace

void RigPanel::create_keying_section() {
    PttMethod = new QComboBox(KeyingBox);
    PttMethod->setObjectName("PttMethod");
    const std::pair<Method, const char*> methods[] = {
        {Method::Rts, "RTS of a serial port"},
        {Method::Dtr, "DTR of a serial port"},
        {Method::Cat, "CAT command through hamlib"},
        {Method::None, "None (VOX)"},
    };
    for (const auto& [method, caption] : methods)
        PttMethod->addItem(caption, AppSettings::ptt_method_name(method));
    PttMethod->setCurrentIndex(
        PttMethod->findData(AppSettings::ptt_method_name(settings_.ptt_method())));
    KeyingLayout->addRow("&PTT by:", PttMethod);

    SetupPort = new QComboBox(KeyingBox);
    SetupPort->setObjectName("SetupPort");
    for (const std::string_view word : quavel::kPortWords) {
        const QString w = QString::fromLatin1(word.data(), static_cast<qsizetype>(word.size()));
        const std::string device = keying_.port_map.device_for(word);
        SetupPort->addItem(
            word == quavel::kNoPort ? w : w + " (" + QString::fromStdString(device) + ")", w);
    }
    const int port = SetupPort->findData(keying_.setup_port);
    SetupPort->setCurrentIndex(port < 0 ? SetupPort->count() - 1 : port);
    SetupPort->setToolTip("The port of the Set Up panel, kept in KEYSETUP.INI: changed here, it "
                          "is changed there too.");
    KeyingLayout->addRow("Serial p&ort:", SetupPort);

    PttDevice = new QLineEdit(settings_.ptt_device(), KeyingBox);
    PttDevice->setObjectName("PttDevice");
    PttDevice->setPlaceholderText("the port above");
    PttDevice->setToolTip("A serial device such as /dev/ttyUSB0 or /dev/serial/by-id/..., "
                          "used instead of the port above; empty: the port above.");
    KeyingLayout->addRow("Serial &device:", PttDevice);

    KeyingWarning = new QLabel(KeyingBox);
    KeyingWarning->setObjectName("KeyingWarning");
    KeyingWarning->setTextFormat(Qt::PlainText);
    QPalette alarm = KeyingWarning->palette();
    alarm.setColor(QPalette::WindowText, Qt::red);
    KeyingWarning->setPalette(alarm);
    KeyingLayout->addRow(KeyingWarning);

    create_rig_chooser();

    RigPort = new QLineEdit(settings_.rig_port(), KeyingBox);
    RigPort->setObjectName("RigPort");
    RigPort->setToolTip("The rig's serial device, or HOST:PORT of a rigctld for model 2.");
    KeyingLayout->addRow("Rig po&rt:", RigPort);

    RigSpeed = new QComboBox(KeyingBox);
    RigSpeed->setObjectName("RigSpeed");
    RigSpeed->addItem("The rig's default", 0);
    for (const int baud : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200})
        RigSpeed->addItem(QString::number(baud), baud);
    const int speed = RigSpeed->findData(settings_.rig_speed());
    RigSpeed->setCurrentIndex(speed < 0 ? 0 : speed);
    KeyingLayout->addRow("Rig s&peed:", RigSpeed);

    Watchdog = new QSpinBox(KeyingBox);
    Watchdog->setObjectName("Watchdog");
    Watchdog->setRange(0, 60);
    Watchdog->setSuffix(" min");
    Watchdog->setSpecialValueText("Off");
    Watchdog->setValue(settings_.watchdog_minutes());
    Watchdog->setToolTip("A transmission that runs this long ends by itself.");
    KeyingLayout->addRow("Transmit &watchdog:", Watchdog);

    DialFrequency = new QDoubleSpinBox(KeyingBox);
    DialFrequency->setObjectName("DialFrequency");
    DialFrequency->setDecimals(6);
    DialFrequency->setRange(0, 100000);
    DialFrequency->setSingleStep(0.001);
    DialFrequency->setSuffix(" MHz");
    DialFrequency->setSpecialValueText("Not set");
    DialFrequency->setValue(static_cast<double>(settings_.dial_frequency_hz()) / 1e6);
    DialFrequency->setToolTip("The rig's dial frequency, for the readout and the log when the "
                              "rig is not read by CAT.");
    DialSideband = new QComboBox(KeyingBox);
    DialSideband->setObjectName("DialSideband");
    DialSideband->addItem("USB", false);
    DialSideband->addItem("LSB", true);
    DialSideband->setCurrentIndex(settings_.dial_lower_sideband() ? 1 : 0);
    auto* dial_row = new QHBoxLayout;
    dial_row->addWidget(DialFrequency, 1);
    dial_row->addWidget(DialSideband);
    auto* dial_label = new QLabel("Di&al (no CAT):", KeyingBox);
    dial_label->setBuddy(DialFrequency);
    KeyingLayout->addRow(dial_label, dial_row);

    TestCat = new QPushButton("Test &CAT", KeyingBox);
    TestCat->setObjectName("TestCat");
    TestCat->setToolTip("Ask the rig shown for its frequency, mode and PTT (nothing is keyed).");
    TestPtt = new QPushButton("Test P&TT", KeyingBox);
    TestPtt->setObjectName("TestPtt");
    TestPtt->setToolTip("Key the transmitter the way shown for a second, then release it.");
    auto* tests = new QHBoxLayout;
    tests->addWidget(TestCat);
    tests->addWidget(TestPtt);
    tests->addStretch();
    KeyingLayout->addRow(QString(), tests);
    TestResult = new QLabel(KeyingBox);
    TestResult->setObjectName("TestResult");
    TestResult->setWordWrap(true);
    TestResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    KeyingLayout->addRow(TestResult);
    connect(TestCat, &QPushButton::clicked, this, &RigPanel::test_cat);
    connect(TestPtt, &QPushButton::clicked, this, &RigPanel::test_ptt);

    connect(PttMethod, &QComboBox::currentIndexChanged, this, &RigPanel::show_method_rows);
    connect(SetupPort, &QComboBox::currentIndexChanged, this, &RigPanel::update_keying_warning);
    connect(PttDevice, &QLineEdit::textChanged, this, &RigPanel::update_keying_warning);
    show_method_rows();
}

void RigPanel::create_rig_chooser() {
    RigMaker = new QComboBox(KeyingBox);
    RigMaker->setObjectName("RigMaker");
    RigName = new QComboBox(KeyingBox);
    RigName->setObjectName("RigName");
    // Wide enough for most names; the lists open wide enough for every one.
    for (QComboBox* box : {RigMaker, RigName}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(16);
        box->setMaxVisibleItems(20);
    }
    std::set<std::string> seen;
    for (const quavel::RigModelInfo& rig : quavel::hamlib_rigs())
        if (seen.insert(rig.maker).second) RigMaker->addItem(QString::fromStdString(rig.maker));
    RigMaker->view()->setMinimumWidth(RigMaker->view()->sizeHintForColumn(0) + 24);
    KeyingLayout->addRow("Rig &maker:", RigMaker);

    RigModel = new QSpinBox(KeyingBox);
    RigModel->setObjectName("RigModel");
    RigModel->setRange(1, 999999);
    RigModel->setToolTip("hamlib's model number (rigctl -l lists them); 2 reaches a rigctld.");
    auto* model_row = new QHBoxLayout;
    model_row->addWidget(RigName, 1);
    model_row->addWidget(RigModel);
    auto* model_label = new QLabel("Rig mod&el:", KeyingBox);
    model_label->setBuddy(RigName);
    KeyingLayout->addRow(model_label, model_row);

    connect(RigMaker, &QComboBox::currentIndexChanged, this, [this] {
        if (syncing_) return;
        fill_models(RigMaker->currentText());
        if (RigName->count() > 0) RigModel->setValue(RigName->itemData(0).toInt());
    });
    connect(RigName, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (syncing_ || index < 0) return;
        RigModel->setValue(RigName->itemData(index).toInt());
    });
    connect(RigModel, &QSpinBox::valueChanged, this, &RigPanel::show_rig);
    RigModel->setValue(settings_.rig_model());
    show_rig(settings_.rig_model());
}

void RigPanel::fill_models(const QString& maker) {
    RigName->clear();
    const std::string wanted = maker.toStdString();
    for (const quavel::RigModelInfo& rig : quavel::hamlib_rigs())
        if (rig.maker == wanted) RigName->addItem(QString::fromStdString(rig.name), rig.model);
    RigName->view()->setMinimumWidth(RigName->view()->sizeHintForColumn(0) + 24);
}

void RigPanel::show_rig(int model) {
    syncing_ = true;
    if (const auto rig = quavel::hamlib_rig(model)) {
        const QString maker = QString::fromStdString(rig->maker);
        if (RigMaker->currentText() != maker || RigName->count() == 0) {
            RigMaker->setCurrentIndex(RigMaker->findText(maker));
            fill_models(maker);
        }
        RigName->setCurrentIndex(RigName->findData(model));
    } else {
        // A number hamlib does not list (an old setting, or one typed): kept, and said so.
        RigMaker->setCurrentIndex(-1);
        RigName->clear();
        RigName->setPlaceholderText(QStringLiteral("not in hamlib's list"));
    }
    syncing_ = false;
}

bool RigPanel::keying_unkeyed() const {
    const Method method = method_of(*PttMethod);
    return (method == Method::Rts || method == Method::Dtr) && serial_target().empty();
}

void RigPanel::update_keying_warning() {
    // Broken by hand: a form row does not grow for a wrapped label's height.
    KeyingWarning->setText(QStringLiteral("No port: nothing would key the transmitter.\n"
                                          "Choose one, or None (VOX) if the rig keys on sound."));
    KeyingWarning->setVisible(keying_unkeyed());
}

void RigPanel::show_method_rows() {
    const Method method = method_of(*PttMethod);
    const bool serial = method == Method::Rts || method == Method::Dtr;
    const bool cat = method == Method::Cat;
    SetupPort->setEnabled(serial);
    PttDevice->setEnabled(serial);
    for (QWidget* row : {static_cast<QWidget*>(RigMaker), static_cast<QWidget*>(RigName),
                         static_cast<QWidget*>(RigModel), static_cast<QWidget*>(RigPort),
                         static_cast<QWidget*>(RigSpeed)})
        row->setEnabled(cat);
    DialFrequency->setEnabled(!cat);
    DialSideband->setEnabled(!cat);
    TestCat->setEnabled(cat && !testing_);
    TestPtt->setEnabled((serial || cat) && !testing_);
    update_keying_warning();
}

std::string RigPanel::serial_target() const {
    const QString device = PttDevice->text().trimmed();
    if (!device.isEmpty()) return device.toStdString();
    const QString port = SetupPort->currentData().toString();
    return port == QLatin1String(quavel::kNoPort.data()) ? std::string() : port.toStdString();
}

bool RigPanel::station_holds_choice() const {
    if (keying_.station == nullptr) return false;
    const quavel::KeyingStatus status = keying_.station->keying_status();
    if (!status.configured) return false;
    const Method method = method_of(*PttMethod);
    if (method != settings_.ptt_method()) return false;
    switch (method) {
    case Method::Rts:
    case Method::Dtr:
        return keying_.serial != nullptr && status.device == serial_target();
    case Method::Cat:
        return keying_.cat != nullptr && RigModel->value() == settings_.rig_model() &&
               RigSpeed->currentData().toInt() == settings_.rig_speed() &&
               RigPort->text().trimmed() == settings_.rig_port() &&
               status.device == settings_.rig_port().toStdString();
    case Method::None:
        break;
    }
    return false;
}

std::string RigPanel::held_by_station() const {
    if (keying_.station == nullptr) return {};
    const quavel::KeyingStatus status = keying_.station->keying_status();
    if (!status.configured || !status.open) return {};
    const Method method = method_of(*PttMethod);
    const std::string shown = method == Method::Cat ? RigPort->text().trimmed().toStdString()
                                                    : keying_.port_map.device_for(serial_target());
    const std::string held = keying_.port_map.device_for(status.device);
    if (shown.empty() || (shown != held && shown != status.device)) return {};
    return shown + " is open for the console's keying as it was confirmed before, and is not "
                   "opened a second time: press OK to key by the choice shown, then test it.";
}

void RigPanel::test_cat() {
    const int model = RigModel->value();
    const std::string port = RigPort->text().trimmed().toStdString();
    const int speed = RigSpeed->currentData().toInt();
    const QString what = QString::fromStdString(quavel::rig_label(model) + " on " + port);
    if (station_holds_choice()) {
        // The rig is the station's: asked between its keying, and opened again for it after.
        quavel::HamlibPtt* cat = keying_.cat;
        start_test(what, true, [cat, model, port, speed] {
            if (!cat->is_open()) return quavel::rig_probe(model, port, speed).report;
            cat->close();
            std::string report = quavel::rig_probe(model, port, speed).report;
            if (!cat->open(port))
                report += "\nThe console's keying could not open the rig again (" + cat->error() +
                          "); it tries again every few seconds.";
            return report;
        });
        return;
    }
    if (const std::string held = held_by_station(); !held.empty()) {
        show_test_result(QString::fromStdString(held));
        return;
    }
    start_test(what, false,
               [model, port, speed] { return quavel::rig_probe(model, port, speed).report; });
}

void RigPanel::test_ptt() {
    const Method method = method_of(*PttMethod);
    if (method == Method::Cat) {
        const int model = RigModel->value();
        const std::string port = RigPort->text().trimmed().toStdString();
        const int speed = RigSpeed->currentData().toInt();
        const std::string what = quavel::rig_label(model) + " on " + port;
        if (station_holds_choice()) {
            quavel::HamlibPtt* cat = keying_.cat;
            const std::string why = keying_.station->keying_status().error;
            start_test(QString::fromStdString(what), true, [cat, why, what] {
                if (!cat->is_open()) return what + " is not open: " + why;
                return key_for_a_second(*cat, what, [cat] { return read_back(*cat); });
            });
            return;
        }
        if (const std::string held = held_by_station(); !held.empty()) {
            show_test_result(QString::fromStdString(held));
            return;
        }
        start_test(QString::fromStdString(what), false, [model, port, speed, what] {
            quavel::HamlibPtt rig(model, speed);
            if (!rig.open(port)) return rig.error();
            return key_for_a_second(rig, what, [&rig] { return read_back(rig); });
        });
        return;
    }
    const std::string target = serial_target();
    if (target.empty()) {
        show_test_result(QStringLiteral("No port: nothing would key the transmitter."));
        return;
    }
    const quavel::PttLine line =
        method == Method::Dtr ? quavel::PttLine::Dtr : quavel::PttLine::Rts;
    const std::string device = keying_.port_map.device_for(target);
    const std::string what = std::string(line == quavel::PttLine::Dtr ? "DTR" : "RTS") + " of " +
                             device + (device == target ? "" : " (" + target + ")");
    if (station_holds_choice()) {
        quavel::QtSerialPtt* serial = keying_.serial;
        const std::string why = keying_.station->keying_status().error;
        start_test(QString::fromStdString(what), true, [serial, why, what] {
            if (!serial->is_open()) return what + " is not open: " + why;
            return key_for_a_second(*serial, what, [serial] { return serial_lines(*serial); });
        });
        return;
    }
    if (const std::string held = held_by_station(); !held.empty()) {
        show_test_result(QString::fromStdString(held));
        return;
    }
    start_test(QString::fromStdString(what), false, [map = keying_.port_map, line, target, what] {
        quavel::QtSerialPtt serial(map, line);
        if (!serial.open(target)) return serial.error();
        std::string report =
            key_for_a_second(serial, what, [&serial] { return serial_lines(serial); });
        serial.close();
        return report;
    });
}

void RigPanel::start_test(const QString& what, bool on_station, std::function<std::string()> work) {
    testing_ = true;
    TestResult->setText("Testing " + what + "...");
    show_method_rows();
    Buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
    auto job = [replies = replies_, work = std::move(work)] { replies->post(work()); };
    if (on_station) {
        keying_.station->run_on_keying_thread(std::move(job));
    } else {
        // Detached: the panel may close first, and the answer is then dropped (Replies); the
        // adapter the thread made is its own and goes with it.
        std::thread(std::move(job)).detach();
    }
}

void RigPanel::show_test_result(const QString& text) {
    testing_ = false;
    TestResult->setText(text);
    show_method_rows();
    if (Buttons != nullptr) Buttons->button(QDialogButtonBox::Ok)->setEnabled(true);
}

bool RigPanel::store_keying_section() {
    const Method method = method_of(*PttMethod);
    const QString device = PttDevice->text().trimmed();
    const QString port = RigPort->text().trimmed();
    const int speed = RigSpeed->currentData().toInt();
    const bool changed = method != settings_.ptt_method() || device != settings_.ptt_device() ||
                         RigModel->value() != settings_.rig_model() ||
                         port != settings_.rig_port() || speed != settings_.rig_speed() ||
                         Watchdog->value() != settings_.watchdog_minutes();
    settings_.set_ptt_method(method);
    settings_.set_ptt_device(device);
    settings_.set_rig_model(RigModel->value());
    settings_.set_rig_port(port);
    settings_.set_rig_speed(speed);
    settings_.set_watchdog_minutes(Watchdog->value());
    return changed;
}

void RigPanel::accept() {
    const QString port = SetupPort->currentData().toString();
    Changes changes;
    changes.setup_port = port != keying_.setup_port;
    changes.setup_port_word = port;
    // A keying changed into RTS/DTR with no port is refused: it would transmit unkeyed. One
    // left so from before is shown, here and in the window, but lets other changes through.
    const bool keying_changed = changes.setup_port ||
                                method_of(*PttMethod) != settings_.ptt_method() ||
                                PttDevice->text().trimmed() != settings_.ptt_device();
    if (keying_changed && keying_unkeyed()) {
        update_keying_warning();
        KeyingWarning->setText(QStringLiteral("Not confirmed: no port, nothing would key the\n"
                                              "transmitter. Choose one, or None (VOX)."));
        KeyingWarning->show();
        SetupPort->setFocus();
        return;
    }
    const QString input = chosen_id(*InputDevice);
    const QString output = chosen_id(*OutputDevice);
    changes.input_device = input != settings_.input_device();
    changes.output_device = output != settings_.output_device();
    settings_.set_input_device(input);
    settings_.set_output_device(output);
    changes.keying = store_keying_section() || changes.setup_port;
    const auto dial_hz = static_cast<long long>(std::llround(DialFrequency->value() * 1e6));
    const bool lower = DialSideband->currentData().toBool();
    changes.dial =
        dial_hz != settings_.dial_frequency_hz() || lower != settings_.dial_lower_sideband();
    settings_.set_dial_frequency_hz(dial_hz);
    settings_.set_dial_lower_sideband(lower);
    QDialog::accept();
    emit confirmed(changes);
}
