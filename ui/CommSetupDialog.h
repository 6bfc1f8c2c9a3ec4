#pragma once
// The communication set-up dialog: protocol, station, port, line settings and reply
// time-out, the two default-settings buttons and the scan of the connected drive. The
// controls show the link's settings (CommLink::Settings); the rules live in CommSettings and
// ConfigScan, the dialog only binds widgets to them.
#include "core/Messages.h"
#include "link/CommSettings.h"
#include "link/ConfigScan.h"

#include <QDialog>

class CommLink;
struct ProgramContext;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QWidget;
class UpDownEdit;

class CommSetupDialog : public QDialog {
    Q_OBJECT
public:
    explicit CommSetupDialog(CommLink& link, QWidget* parent = nullptr);

    CommSettings& settings() { return settings_; }
    ConfigScan& scan() { return scan_; }

    // Reads "Comms" into the settings and shows them (also Cancel and File > New).
    void LoadCommSettings();
    // Rebuilds the list of ports found; closes an open port.
    void ListSerialPorts();
    // Settings that differ from those shown when the dialog opened turn blue.
    void MarkChangedSettings();
    // Enables the two default buttons as the selected drive type's Info.ini allows.
    void LoadDriveCommDefaults();

    void applyAppendNumber();
    void broadcastClicked();
    // Field checks: false (box shown, focus back, FieldError set) when the field is wrong.
    bool checkInverterNumber();
    bool checkPort();
    bool checkTimeout();
    bool checkBaudRate();
    bool checkParity();
    void acceptSettings();
    void cancelSettings();
    // All five checks in order; true when the dialog may close.
    bool mayClose();
    // Stores the settings (OK and Cancel alike).
    void saveCommSettings();
    void useDriveDefaults();
    void useTableDefaults();
    void scanDrive();

    // The controls.
    QGroupBox* protocolGroup = nullptr; // "Protocol"
    QButtonGroup* protocolButtons = nullptr;
    QRadioButton* ProtocolItems[2] = {nullptr, nullptr};
    QGroupBox* stationGroup = nullptr; // "Inverter number"
    QCheckBox* AppendNo = nullptr;
    QCheckBox* broadcastCheck = nullptr;
    UpDownEdit* IdNmb = nullptr;    // 0..63, wraps
    QGroupBox* portGroup = nullptr; // "Serial port"
    QComboBox* portCombo = nullptr;
    QGroupBox* lineGroup = nullptr;  // "Communication setting"
    QLabel* baudRateLabel = nullptr; // "Baud rate"
    QComboBox* CommSpeed = nullptr;
    QLabel* LabelBps = nullptr;    // "(bps)"
    QLabel* parityLabel = nullptr; // "Parity"
    QComboBox* CommParity = nullptr;
    QGroupBox* timeoutGroup = nullptr; // "Time out"
    UpDownEdit* timeoutEdit = nullptr; // 30..5000 ms
    QPushButton* driveDefaultsButton = nullptr;
    QPushButton* tableDefaultsButton = nullptr;
    QPushButton* scanDriveButton = nullptr;
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    bool FieldError = false;

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

public slots:
    // Esc and the close box cancel, as the Cancel button does.
    void done(int r) override;

private:
    void buildControls();
    void loadTexts();
    void loadForShowing();
    // The controls from the settings, without running their handlers.
    void showSettings();
    bool fieldFailed(QWidget* field, MsgId message);
    void closeWith(int result);

    ProgramContext& context_; // the link's program
    CommSettings settings_;
    ConfigScan scan_;
    CommSnapshot snapshot_;
    bool closing_ = false;
    bool checking_ = false;
};
