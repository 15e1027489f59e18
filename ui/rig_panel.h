// "Sound & Rig": the settings panel for what connects the console to the rig, beside the form's
// own "Set Up" panel (which keeps the callsign, the PTT port and the PTT delay of KEYSETUP.INI).
//
// The Sound section chooses the capture and playback devices from the sound system's current
// list ("System default" follows the desktop's choice). A remembered device that is not there is
// still shown, marked, so that confirming the panel does not forget it.
//
// The Keying section is the one place where keying is set: the method, the serial port (Set
// Up's COM1..COM4/NONE, shown and changed here too, or a device path instead), the rig by maker
// and model from hamlib's list (its number beside it, for those who know it from rigctl -l), its
// port and speed, and the watchdog. RTS or DTR with no port would transmit without keying: the
// section says so while that is chosen, and refuses OK for a keying changed into it.
// "Test CAT" asks the rig shown for its frequency, mode and PTT; "Test PTT" keys the choice
// shown for a second and releases it, reading the line or the rig back where it can. Both run
// off the window's thread (the choice the station holds through its keying thread, any other
// with an adapter of its own on a thread of its own) and report in the panel.
//
// The panel only edits the settings; on OK it stores those of AppSettings and emits `confirmed`
// with what changed (Set Up's port among them, for the window to write to KEYSETUP.INI), and the
// window applies that to the devices. Opened window-modal and deleted on close.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "platform/devices/com_port_map.h"

class AppSettings;
class QLabel;
namespace quavel {
class HamlibPtt;
class QtSerialPtt;
class Station;
} // namespace quavel
class QComboBox;
class QDialogButtonBox;
class QDoubleSpinBox;
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

    // What the panel needs of the console for the keying section: Set Up's port, the COMn
    // mappings, and the station with the keying adapters it holds (null: the tests use
    // adapters of their own). All must outlive the panel.
    struct Keying {
        QString setup_port = QStringLiteral("NONE"); // "COM1".."COM4" or "NONE"
        quavel::ComPortMap port_map;
        quavel::Station* station = nullptr;
        quavel::QtSerialPtt* serial = nullptr;
        quavel::HamlibPtt* cat = nullptr;
    };

    // `settings` must outlive the panel.
    explicit RigPanel(AppSettings& settings, QWidget* parent = nullptr);
    RigPanel(AppSettings& settings, Keying keying, QWidget* parent = nullptr);
    ~RigPanel() override;

    QGroupBox* SoundBox;
    QComboBox* InputDevice;  // item data: the device id, empty for the system default
    QComboBox* OutputDevice; // likewise
    QPushButton* RefreshDevices;
    QGroupBox* KeyingBox;
    QFormLayout* KeyingLayout; // the keying section's rows
    QComboBox* PttMethod;      // item data: AppSettings::ptt_method_name
    QComboBox* SetupPort;      // RTS/DTR: Set Up's port, item data the word ("COM1".."NONE")
    QLineEdit* PttDevice;      // RTS/DTR: a serial device path instead; empty: SetupPort
    QLabel* KeyingWarning;     // shown while RTS/DTR has no port: nothing would key
    QComboBox* RigMaker;       // CAT: the makers in hamlib's list
    QComboBox* RigName;        // CAT: the maker's models, item data the model number
    QSpinBox* RigModel;        // CAT: hamlib's rig model number, following RigName and back
    QLineEdit* RigPort;        // CAT: the rig's serial device, or HOST:PORT of a rigctld
    QComboBox* RigSpeed;       // CAT: item data the speed in baud, 0 for the rig's default
    QSpinBox* Watchdog;        // minutes, 0 shown as "Off"
    // Without CAT: the rig's dial as the operator reads it off the rig (MHz, 0 shown as "Not
    // set") and its sideband, item data true for the lower. A CAT rig says its own.
    QDoubleSpinBox* DialFrequency;
    QComboBox* DialSideband;
    QPushButton* TestCat; // asks the rig shown
    QPushButton* TestPtt; // keys the choice shown for a second
    QLabel* TestResult;   // what the last test found; empty before any
    QDialogButtonBox* Buttons;

    // What the last OK changed.
    struct Changes {
        bool input_device = false;
        bool output_device = false;
        bool keying = false;     // the method, its device or rig, or the watchdog
        bool setup_port = false; // Set Up's port changed here: KEYSETUP.INI is to follow
        bool dial = false;       // the typed dial frequency or sideband
        QString setup_port_word; // the port chosen ("COM1".."NONE")
    };

    // RTS or DTR is chosen with no port and no device: a transmission would go out unkeyed.
    bool keying_unkeyed() const;
    // A test is under way (its answer not yet shown).
    bool testing() const { return testing_; }

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
    // Enables the rows the chosen method uses, and the tests that apply to it.
    void show_method_rows();
    void create_rig_chooser();
    // The maker's models into RigName; the rig `model` into the three rig rows.
    void fill_models(const QString& maker);
    void show_rig(int model);
    void update_keying_warning();

    // The tests. Each runs `work` off the window's thread and shows what it returns.
    void test_cat();
    void test_ptt();
    void start_test(const QString& what, bool on_station, std::function<std::string()> work);
    void show_test_result(const QString& text);
    // The serial target chosen (a device path or Set Up's port word), empty for none.
    std::string serial_target() const;
    // The choice shown is the one the station holds: the test goes through its keying.
    bool station_holds_choice() const;
    // When the station holds the device shown for another choice: why it cannot be tested.
    std::string held_by_station() const;

    AppSettings& settings_;
    Keying keying_;
    bool syncing_ = false;
    bool testing_ = false;
    struct Replies;
    std::shared_ptr<Replies> replies_;
};
