#include "table/FindDialog.h"

#include "app/Messages.h"
#include "table/ParaTableCore.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}
} // namespace

qsizetype findInText(const QString& text, const QString& what, qsizetype from, bool matchCase,
                     bool wholeWord) {
    if (what.isEmpty() || from < 0)
        return -1;
    const Qt::CaseSensitivity cs = matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (qsizetype pos = from; pos <= text.size();) {
        const qsizetype p = text.indexOf(what, pos, cs);
        if (p < 0)
            return -1;
        if (!wholeWord)
            return p;
        const qsizetype end = p + what.size();
        const bool startsWord = p == 0 || !isWordChar(text.at(p - 1));
        const bool endsWord = end >= text.size() || !isWordChar(text.at(end));
        if (startsWord && endsWord)
            return p;
        pos = p + 1;
    }
    return -1;
}

// ---- Search -------------------------------------------------------------------------------

FindSearch::FindSearch(ParaTableCore& core) : core_(core) {
    core_.commands().setAvailable(TableCommand::Find, true);
}

void FindSearch::start() {
    core_.FindPos = 0;
    selectionStart = 0;
    selectionLength = 0;
}

int FindSearch::findNext(const QString& what, bool matchCase, bool wholeWord) {
    if (what.isEmpty())
        return -1;
    const QString text = core_.DummyList.join(QLatin1Char('\n'));
    const qsizetype p = findInText(text, what, core_.FindPos, matchCase, wholeWord);
    // Line k of the buffer is grid row k + 1.
    const int row = p < 0 ? -1 : int(QStringView(text).left(p).count(QLatin1Char('\n'))) + 1;
    if (p < 0 || row >= core_.grid().rowCount()) {
        // FindPos stays: every further search says the same until the dialog is opened again.
        ShowMsg(45, BoxIcon::Stop);
        return -1;
    }
    selectionStart = p;
    selectionLength = what.size();
    core_.FindPos = int(p + what.size());
    // The typed value belongs to the row being left.
    core_.CancelPendingEntry();
    core_.CursorRow = row;
    core_.setCurrentCell(TC_Value, row);
    return row;
}

// ---- Dialog -------------------------------------------------------------------------------

FindDialog::FindDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FindDialog1"));
    setWindowTitle(QStringLiteral("Find"));
    setModal(false);

    FindEdit = new QLineEdit(this);
    FindEdit->setObjectName(QStringLiteral("FindEdit"));
    auto* label = new QLabel(QStringLiteral("Fi&nd what:"), this);
    label->setBuddy(FindEdit);
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
    grid->addWidget(label, 0, 0);
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

void FindDialog::updateButton() {
    FindNextButton->setEnabled(offered_ && !FindEdit->text().isEmpty());
}

void FindDialog::done(int result) {
    QDialog::done(result);
    emit closed();
}
