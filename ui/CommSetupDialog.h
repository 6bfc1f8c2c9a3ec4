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

    void AppendNoClick();
    void DouhouClick();
    // Field checks: false (box shown, focus back, FieldError set) when the field is wrong.
    bool IdNmbExit();
    bool ComboBox1Exit();
    bool Edit1Exit();
    bool CommSpeedExit();
    bool CommParityExit();
    void OkBtnClick();
    void CancelBtnClick();
    // All five checks in order; true when the dialog may close.
    bool FormCloseQuery();
    // Stores the settings (OK and Cancel alike).
    void FormClose();
    void Button1Click();
    void Button2Click();
    void Button3Click();

    // The controls, named as the settings are named elsewhere.
    QGroupBox* Label5 = nullptr; // "Protocol"
    QButtonGroup* ProtocolGr1 = nullptr;
    QRadioButton* ProtocolItems[2] = {nullptr, nullptr};
    QGroupBox* Label1 = nullptr; // "Inverter number"
    QCheckBox* AppendNo = nullptr;
    QCheckBox* Douhou = nullptr;
    UpDownEdit* IdNmb = nullptr; // with UpDown1: 0..63, wraps
    QGroupBox* Label2 = nullptr; // "Serial port"
    QComboBox* ComboBox1 = nullptr;
    QGroupBox* Label4 = nullptr; // "Communication setting"
    QLabel* Label41 = nullptr;   // "Baud rate"
    QComboBox* CommSpeed = nullptr;
    QLabel* LabelBps = nullptr; // "(bps)"
    QLabel* Label42 = nullptr;  // "Parity"
    QComboBox* CommParity = nullptr;
    QGroupBox* Label3 = nullptr; // "Time out"
    UpDownEdit* Edit1 = nullptr; // with UpDown2: 30..5000
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
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
    void FormShow();
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
