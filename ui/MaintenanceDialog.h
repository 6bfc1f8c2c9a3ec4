#pragma once
// The maintenance-mode window: a password field with OK and Cancel. OK runs the check of
// MaintenanceMode; the window closes once it unlocks and stays open for another try after a
// wrong password or an access value that could not be written.
//
// Use (the main window's Maintenance Mode command):
//     MaintenanceDialog dialog(mode, &main);
//     dialog.exec();
#include <QDialog>

class MaintenanceMode;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class MaintenanceDialog : public QDialog {
    Q_OBJECT
public:
    // At most this many characters are typed.
    static constexpr int kMaxPasswordLength = 10;
    // The master's own word, kept out of sight on the window.
    static inline const QString kMasterWord = QStringLiteral("Pulvex");

    explicit MaintenanceDialog(MaintenanceMode& mode, QWidget* parent = nullptr);

    QLabel* promptLabel = nullptr;       // "Label1"
    QLineEdit* passwordEdit = nullptr;   // "Pass"
    QPushButton* okButton = nullptr;     // "Button1"
    QPushButton* cancelButton = nullptr; // "Button2"
    QGroupBox* passwordsBox = nullptr;   // "GroupBox1", never shown
    QLabel* masterLabel = nullptr;       // "Master_Label"

    // OK (and Enter in the password field, through the default button).
    void checkPassword();

protected:
    void showEvent(QShowEvent* e) override;

private:
    void applyLanguage();

    MaintenanceMode& mode_;
};
