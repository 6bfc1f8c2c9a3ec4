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
    QLabel* statusLabel = nullptr;
    QLabel* noteLabel = nullptr;
    QLabel* numberCaption = nullptr;
    QLabel* numberLabel = nullptr;
    QProgressBar* progressBar = nullptr;
    QPushButton* startButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QPushButton* okButton = nullptr;

    void startClicked() { engine_.start(); }
    void cancelClicked() { done(QDialog::Rejected); }
    void okClicked() { done(QDialog::Accepted); }

    // WorkView
    void setStatusText(const QString& text) override;
    void setNoteText(const QString& text, bool visible) override;
    void setProgress(int percent) override;
    void setStartCancelEnabled(bool enabled) override;
    void showReadyButtons() override;
    void showOkButton(bool keepNote) override;
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
