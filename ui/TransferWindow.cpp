#include "ui/TransferWindow.h"

#include "core/Options.h"
#include "core/ProgramContext.h"
#include "platform/IniFile.h"
#include "ui/ResultWindow.h"

#include <QCloseEvent>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

TransferWindow::TransferWindow(ProgramContext& context, const Options& options, CommLink& link,
                               const MainWindowLinks& links, QWidget* parent)
    : QDialog(parent), engine_(context, options, link), links_(links) {
    setModal(true);
    engine_.setView(this);
    auto* top = new QVBoxLayout(this);
    statusLabel = new QLabel(this);
    statusLabel->setWordWrap(true);
    noteLabel = new QLabel(this);
    noteLabel->setWordWrap(true);
    noteLabel->hide();
    auto* numberRow = new QHBoxLayout;
    numberCaption = new QLabel(QStringLiteral("Communication. No. :"), this);
    numberLabel = new QLabel(this);
    numberCaption->hide();
    numberLabel->hide();
    numberRow->addWidget(numberCaption);
    numberRow->addWidget(numberLabel);
    numberRow->addStretch();
    progressBar = new QProgressBar(this);
    progressBar->setRange(0, 100);
    auto* buttons = new QHBoxLayout;
    startButton = new QPushButton(this);
    cancelButton = new QPushButton(this);
    okButton = new QPushButton(this);
    okButton->hide();
    buttons->addStretch();
    buttons->addWidget(startButton);
    buttons->addWidget(cancelButton);
    buttons->addWidget(okButton);
    buttons->addStretch();
    top->addWidget(statusLabel);
    top->addWidget(noteLabel);
    top->addLayout(numberRow);
    top->addWidget(progressBar);
    top->addLayout(buttons);
    connect(startButton, &QPushButton::clicked, this, [this] { startClicked(); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { cancelClicked(); });
    connect(okButton, &QPushButton::clicked, this, [this] { okClicked(); });
    resize(420, 170);
    // As the program's small dialogs: in a 640 x 480 frame until shown under the main window.
    move((640 - width()) / 2, 480 - (height() + 402) / 2);
}

void TransferWindow::showEvent(QShowEvent* e) {
    engine_.showReady();
    setWindowTitle(engine_.texts().caption);
    startButton->setText(engine_.texts().start);
    cancelButton->setText(engine_.texts().cancel);
    okButton->setText(engine_.texts().ok);
    numberCaption->hide();
    numberLabel->hide();
    if (QWidget* main = links_.window) {
        const QRect f = main->frameGeometry();
        move(f.left() + (f.width() - frameGeometry().width()) / 2, y());
    }
    QDialog::showEvent(e);
}

void TransferWindow::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && links_.clearParaTableAct)
        links_.clearParaTableAct();
    QDialog::changeEvent(e);
}

void TransferWindow::reject() {
    if (engine_.running())
        return;
    QDialog::reject();
}

void TransferWindow::done(int r) {
    if (engine_.running())
        return;
    QDialog::done(r);
}

void TransferWindow::closeEvent(QCloseEvent* e) {
    if (engine_.running()) {
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

void TransferWindow::setStatusText(const QString& text) {
    statusLabel->setText(text);
}

void TransferWindow::setNoteText(const QString& text, bool visible) {
    noteLabel->setText(text);
    noteLabel->setVisible(visible);
}

void TransferWindow::setProgress(int percent) {
    progressBar->setValue(percent);
}

void TransferWindow::setStartCancelEnabled(bool enabled) {
    startButton->setEnabled(enabled);
    cancelButton->setEnabled(enabled);
}

void TransferWindow::showReadyButtons() {
    startButton->show();
    cancelButton->show();
    startButton->setEnabled(true);
    cancelButton->setEnabled(true);
    okButton->hide();
    okButton->setEnabled(false);
    startButton->setDefault(true);
}

void TransferWindow::showOkButton(bool keepNote) {
    if (!keepNote)
        noteLabel->hide();
    startButton->hide();
    cancelButton->hide();
    okButton->show();
    okButton->setEnabled(true);
    okButton->setDefault(true);
}

void TransferWindow::closeWindow() {
    done(QDialog::Accepted);
}

void TransferWindow::repaintNow() {
    statusLabel->repaint();
}
