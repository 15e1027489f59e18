#include "ui/rig_panel.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <vector>

#include "platform/qt_audio_devices.h"
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

RigPanel::RigPanel(AppSettings& settings, QWidget* parent) : QDialog(parent), settings_(settings) {
    setObjectName("RigPanel");
    setWindowTitle(kTitle);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);

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

void RigPanel::create_keying_section() {
    using Method = AppSettings::PttMethod;
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

    PttDevice = new QLineEdit(settings_.ptt_device(), KeyingBox);
    PttDevice->setObjectName("PttDevice");
    PttDevice->setPlaceholderText("the Set Up panel's port");
    PttDevice->setToolTip("A serial device such as /dev/ttyUSB0 or /dev/serial/by-id/...; "
                          "empty: the port chosen under Set Up.");
    KeyingLayout->addRow("Serial &device:", PttDevice);

    RigModel = new QSpinBox(KeyingBox);
    RigModel->setObjectName("RigModel");
    RigModel->setRange(1, 999999);
    RigModel->setValue(settings_.rig_model());
    RigModel->setToolTip("hamlib's model number (rigctl -l lists them); 2 reaches a rigctld.");
    KeyingLayout->addRow("Rig &model:", RigModel);

    RigPort = new QLineEdit(settings_.rig_port(), KeyingBox);
    RigPort->setObjectName("RigPort");
    RigPort->setToolTip("The rig's serial device, or HOST:PORT of a rigctld for model 2.");
    KeyingLayout->addRow("Rig p&ort:", RigPort);

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

    connect(PttMethod, &QComboBox::currentIndexChanged, this, &RigPanel::show_method_rows);
    show_method_rows();
}

void RigPanel::show_method_rows() {
    const QString method = PttMethod->currentData().toString();
    const bool serial = method == AppSettings::ptt_method_name(AppSettings::PttMethod::Rts) ||
                        method == AppSettings::ptt_method_name(AppSettings::PttMethod::Dtr);
    const bool cat = method == AppSettings::ptt_method_name(AppSettings::PttMethod::Cat);
    PttDevice->setEnabled(serial);
    for (QWidget* row : {static_cast<QWidget*>(RigModel), static_cast<QWidget*>(RigPort),
                         static_cast<QWidget*>(RigSpeed)})
        row->setEnabled(cat);
}

bool RigPanel::store_keying_section() {
    using Method = AppSettings::PttMethod;
    Method method = Method::Rts;
    for (const Method m : {Method::Rts, Method::Dtr, Method::Cat, Method::None})
        if (PttMethod->currentData().toString() == AppSettings::ptt_method_name(m)) method = m;
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
    Changes changes;
    const QString input = chosen_id(*InputDevice);
    const QString output = chosen_id(*OutputDevice);
    changes.input_device = input != settings_.input_device();
    changes.output_device = output != settings_.output_device();
    settings_.set_input_device(input);
    settings_.set_output_device(output);
    changes.keying = store_keying_section();
    QDialog::accept();
    emit confirmed(changes);
}
