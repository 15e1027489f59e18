// "Sound & Rig": the settings panel for what connects the console to the rig, beside the form's
// own "Set Up" panel (which keeps the callsign, the PTT port and the PTT delay of KEYSETUP.INI).
// Everything chosen here is remembered in AppSettings.
//
// The Sound section chooses the capture and playback devices from the sound system's current
// list ("System default" follows the desktop's choice). A remembered device that is not there is
// still shown, marked, so that confirming the panel does not forget it. The Keying section holds
// how the transmitter is keyed.
//
// The panel only edits the settings; on OK it stores them and emits `confirmed` with what
// changed, and the window applies that to the devices. Opened window-modal and deleted on close.
#pragma once

#include <QDialog>
#include <QString>

class AppSettings;
class QComboBox;
class QDialogButtonBox;
class QFormLayout;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

class RigPanel : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Sound & Rig";
    static constexpr const char* kSystemDefault = "System default";

    // `settings` must outlive the panel.
    explicit RigPanel(AppSettings& settings, QWidget* parent = nullptr);

    QGroupBox* SoundBox;
    QComboBox* InputDevice;  // item data: the device id, empty for the system default
    QComboBox* OutputDevice; // likewise
    QPushButton* RefreshDevices;
    QGroupBox* KeyingBox;
    QFormLayout* KeyingLayout; // the keying section's rows
    QComboBox* PttMethod;      // item data: AppSettings::ptt_method_name
    QLineEdit* PttDevice;      // RTS/DTR: a serial device path; empty: the Set Up panel's port
    QSpinBox* RigModel;        // CAT: hamlib's rig model number
    QLineEdit* RigPort;        // CAT: the rig's serial device, or HOST:PORT of a rigctld
    QComboBox* RigSpeed;       // CAT: item data the speed in baud, 0 for the rig's default
    QSpinBox* Watchdog;        // minutes, 0 shown as "Off"
    QDialogButtonBox* Buttons;

    // What the last OK changed.
    struct Changes {
        bool input_device = false;
        bool output_device = false;
        bool keying = false; // the method, its device or rig, or the watchdog
    };

signals:
    void confirmed(RigPanel::Changes changes);

public slots:
    void accept() override;
    // Lists the devices afresh, keeping the current choices.
    void refresh_devices();

private:
    void create_sound_section();
    // The keying section: its rows go into KeyingLayout, filled from the settings.
    void create_keying_section();
    // Stores the keying section's choices into the settings; true when any changed.
    bool store_keying_section();
    // Enables the rows the chosen method uses.
    void show_method_rows();

    AppSettings& settings_;
};
