#pragma once
// The modal window that carries a transfer job: its texts, progress bar and the Start,
// Cancel and OK buttons.
#include "link/TransferEngine.h"
#include "ui/ResultWindow.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

class TransferWindow : public QDialog, public WorkView {
    Q_OBJECT
public:
    // links: the main window's, for the placement and the activation flag (not owned).
    TransferWindow(ProgramContext& context, const Options& options, CommLink& link,
                   const MainWindowLinks& links, QWidget* parent = nullptr);

    TransferEngine& engine() { return engine_; }

    // Controls.
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* StBtn = nullptr;
    QPushButton* Button1 = nullptr; // Cancel
    QPushButton* Button2 = nullptr; // OK

    void StBtnClick() { engine_.StBtnClick(); }
    void Button1Click() { done(QDialog::Rejected); }
    void Button2Click() { done(QDialog::Accepted); }

    // WorkView
    void setLabel1(const QString& text) override;
    void setLabel2(const QString& text, bool visible) override;
    void setProgress(int percent) override;
    void setStartCancelEnabled(bool enabled) override;
    void showReadyButtons() override;
    void showOkButton(bool keepLabel2) override;
    void closeWindow() override;
    void repaintNow() override;

public slots:
    // Esc and the close box do nothing while a job runs.
    void reject() override;
    void done(int r) override;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    TransferEngine engine_;
    const MainWindowLinks& links_;
    bool closeRequested_ = false;
};
