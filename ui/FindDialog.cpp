#include "ui/FindDialog.h"

#include "core/Messages.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "table/ParameterTable.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

FindDialog::FindDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FindDialog1"));
    setWindowTitle(QStringLiteral("Find"));
    setModal(false);

    FindEdit = new QLineEdit(this);
    FindEdit->setObjectName(QStringLiteral("FindEdit"));
    FindLabel = new QLabel(QStringLiteral("Fi&nd what:"), this);
    FindLabel->setBuddy(FindEdit);
    WholeWord = new QCheckBox(QStringLiteral("Match &whole word only"), this);
    WholeWord->setObjectName(QStringLiteral("WholeWord"));
    MatchCase = new QCheckBox(QStringLiteral("Match &case"), this);
    MatchCase->setObjectName(QStringLiteral("MatchCase"));
    FindNextButton = new QPushButton(QStringLiteral("&Find Next"), this);
    FindNextButton->setObjectName(QStringLiteral("FindNextButton"));
    FindNextButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(FindLabel, 0, 0);
    grid->addWidget(FindEdit, 0, 1);
    grid->addWidget(WholeWord, 1, 0, 1, 2);
    grid->addWidget(MatchCase, 2, 0, 1, 2);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(FindNextButton);
    buttons->addWidget(CancelButton);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 2, 3, 1);

    connect(FindEdit, &QLineEdit::textChanged, this, &FindDialog::updateButton);
    connect(FindNextButton, &QPushButton::clicked, this, [this] {
        if (FindNextButton->isEnabled())
            emit findNext();
    });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    updateButton();
}

QString FindDialog::findText() const {
    return FindEdit->text();
}

void FindDialog::setFindText(const QString& text) {
    FindEdit->setText(text);
    FindEdit->selectAll();
}

bool FindDialog::matchCase() const {
    return MatchCase->isChecked();
}

bool FindDialog::wholeWord() const {
    return WholeWord->isChecked();
}

void FindDialog::setFindOffered(bool on) {
    offered_ = on;
    updateButton();
}

void FindDialog::ApplyLanguage(const QString& languageIniPath) {
    const IniFile ini(Paths::resolvedOrAsGiven(languageIniPath));
    auto text = [&ini](const char* key, const QString& english) {
        return ini.readString(QStringLiteral("Parameter"), QLatin1String(key), english);
    };
    setWindowTitle(text("FindForm", QStringLiteral("Find")));
    FindLabel->setText(text("FindLabel", QStringLiteral("Fi&nd what:")));
    WholeWord->setText(text("FindWholeWord", QStringLiteral("Match &whole word only")));
    MatchCase->setText(text("FindMatchCase", QStringLiteral("Match &case")));
    FindNextButton->setText(text("FindNext", QStringLiteral("&Find Next")));
    CancelButton->setText(text("FindCancel", QStringLiteral("Cancel")));
}

void FindDialog::updateButton() {
    FindNextButton->setEnabled(offered_ && !FindEdit->text().isEmpty());
}

void FindDialog::done(int result) {
    QDialog::done(result);
    emit closed();
}
