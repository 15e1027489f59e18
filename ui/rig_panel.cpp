#include "ui/rig_panel.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
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

void RigPanel::create_keying_section() {}

void RigPanel::store_keying_section() {}

void RigPanel::accept() {
    Changes changes;
    const QString input = chosen_id(*InputDevice);
    const QString output = chosen_id(*OutputDevice);
    changes.input_device = input != settings_.input_device();
    changes.output_device = output != settings_.output_device();
    settings_.set_input_device(input);
    settings_.set_output_device(output);
    store_keying_section();
    QDialog::accept();
    emit confirmed(changes);
}
