#include "ui/MaintenanceDialog.h"

#include "core/ProgramContext.h"
#include "link/MaintenanceMode.h"
#include "platform/DialogTitle.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

MaintenanceDialog::MaintenanceDialog(MaintenanceMode& mode, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      mode_(mode) {
    setObjectName(QStringLiteral("MMIMtpass"));
    setModal(true);

    promptLabel = new QLabel(this);
    promptLabel->setObjectName(QStringLiteral("Label1"));
    QFont bold = promptLabel->font();
    bold.setBold(true);
    promptLabel->setFont(bold);

    passwordEdit = new QLineEdit(this);
    passwordEdit->setObjectName(QStringLiteral("Pass"));
    passwordEdit->setMaxLength(kMaxPasswordLength);
    passwordEdit->setEchoMode(QLineEdit::Password);
    // Every character shows as "*" whatever the style's own mask character is.
    passwordEdit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));

    okButton = new QPushButton(this);
    okButton->setObjectName(QStringLiteral("Button1"));
    cancelButton = new QPushButton(this);
    cancelButton->setObjectName(QStringLiteral("Button2"));
    // Enter runs the check through the default button only: a key handler of its own would
    // run it a second time.
    okButton->setDefault(true);
    cancelButton->setAutoDefault(false);
    connect(okButton, &QPushButton::clicked, this, [this] { checkPassword(); });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    passwordsBox = new QGroupBox(QStringLiteral("Passwords"), this);
    passwordsBox->setObjectName(QStringLiteral("GroupBox1"));
    masterLabel = new QLabel(kMasterWord, passwordsBox);
    masterLabel->setObjectName(QStringLiteral("Master_Label"));
    passwordsBox->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(promptLabel);
    layout->addWidget(passwordEdit);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    applyLanguage();
    passwordEdit->clear();
}

void MaintenanceDialog::applyLanguage() {
    const IniFile ini(Paths::resolvedOrAsGiven(mode_.context().language.iniPath));
    const QString section = QStringLiteral("Maintenance");
    setWindowTitle(ini.readString(section, QStringLiteral("Form"), QStringLiteral("Maintenance Mode")));
    // The window is as wide as its contents: a short prompt would clip a long title.
    const QMargins margins = layout()->contentsMargins();
    passwordEdit->setMinimumWidth(titleBarWidth(windowTitle(), font()) - margins.left() - margins.right());
    promptLabel->setText(ini.readString(section, QStringLiteral("Label"), QStringLiteral("Input Password.")));
    okButton->setText(ini.readString(section, QStringLiteral("Button1"), QStringLiteral("OK")));
    cancelButton->setText(ini.readString(section, QStringLiteral("Button2"), QStringLiteral("Cancel")));
}

void MaintenanceDialog::showEvent(QShowEvent* e) {
    applyLanguage();
    passwordEdit->clear();
    adjustSize();
    // The program's small dialogs sit in the same place of a 640 x 480 frame.
    move((640 - width()) / 2, 480 - (height() + 402) / 2);
    QDialog::showEvent(e);
    passwordEdit->setFocus();
}

void MaintenanceDialog::checkPassword() {
    if (mode_.check(passwordEdit->text(), masterLabel->text()) == MaintenanceMode::Outcome::Unlocked) {
        accept();
        return;
    }
    passwordEdit->setFocus();
    passwordEdit->selectAll();
}
