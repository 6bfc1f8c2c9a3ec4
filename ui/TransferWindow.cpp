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
    Label1 = new QLabel(this);
    Label1->setWordWrap(true);
    Label2 = new QLabel(this);
    Label2->setWordWrap(true);
    Label2->hide();
    auto* numberRow = new QHBoxLayout;
    Label3 = new QLabel(QStringLiteral("Communication. No. :"), this);
    Label4 = new QLabel(this);
    Label3->hide();
    Label4->hide();
    numberRow->addWidget(Label3);
    numberRow->addWidget(Label4);
    numberRow->addStretch();
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, 100);
    auto* buttons = new QHBoxLayout;
    StBtn = new QPushButton(this);
    Button1 = new QPushButton(this);
    Button2 = new QPushButton(this);
    Button2->hide();
    buttons->addStretch();
    buttons->addWidget(StBtn);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addStretch();
    top->addWidget(Label1);
    top->addWidget(Label2);
    top->addLayout(numberRow);
    top->addWidget(ProgressBar1);
    top->addLayout(buttons);
    connect(StBtn, &QPushButton::clicked, this, [this] { StBtnClick(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    resize(420, 170);
    // As the program's small dialogs: in a 640 x 480 frame until shown under the main window.
    move((640 - width()) / 2, 480 - (height() + 402) / 2);
}

void TransferWindow::showEvent(QShowEvent* e) {
    engine_.FormShow();
    setWindowTitle(engine_.Caption);
    StBtn->setText(engine_.StartText);
    Button1->setText(engine_.CancelText);
    Button2->setText(engine_.OkText);
    Label3->hide();
    Label4->hide();
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

void TransferWindow::setLabel1(const QString& text) {
    Label1->setText(text);
}

void TransferWindow::setLabel2(const QString& text, bool visible) {
    Label2->setText(text);
    Label2->setVisible(visible);
}

void TransferWindow::setProgress(int percent) {
    ProgressBar1->setValue(percent);
}

void TransferWindow::setStartCancelEnabled(bool enabled) {
    StBtn->setEnabled(enabled);
    Button1->setEnabled(enabled);
}

void TransferWindow::showReadyButtons() {
    StBtn->show();
    Button1->show();
    StBtn->setEnabled(true);
    Button1->setEnabled(true);
    Button2->hide();
    Button2->setEnabled(false);
    StBtn->setDefault(true);
}

void TransferWindow::showOkButton(bool keepLabel2) {
    if (!keepLabel2)
        Label2->hide();
    StBtn->hide();
    Button1->hide();
    Button2->show();
    Button2->setEnabled(true);
    Button2->setDefault(true);
}

void TransferWindow::closeWindow() {
    done(QDialog::Accepted);
}

void TransferWindow::repaintNow() {
    Label1->repaint();
}
