#pragma once
// The start-up form: a borderless window over the start-up picture where the user picks
// the language and the drive (type, capacity, CPU version). All the preparation runs in
// the constructor, before the form is shown; the choice is committed when the form closes,
// whichever way it closes. The rules live in StartupChoice; the form binds its lists to
// drop-down boxes.
//
// Use (start-up and File > New):
//     DriveTypeDialog form(context, {main.StartUp, main.AssOp, &main.I_CpuForm_M, &main.I_CpuNo_M, &link},
//                          &main);
//     // File > New: form.LangForm->setEnabled(false);
//     form.run(); // false, without showing, when the context's StartupAbort was set
// The constructor neither needs nor touches the data store; with a link it looks for the
// connected drive there (when the last drive is not to be preselected) and preselects it.
#include "link/StartupChoice.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

class DriveTypeDialog : public QDialog {
    Q_OBJECT
public:
    // Runs the creation handler (it may show boxes and set the program's StartupAbort).
    DriveTypeDialog(ProgramContext& program, const StartupChoice::Context& context, QWidget* owner = nullptr);
    ~DriveTypeDialog() override;

    // Shows the form modally. Every way of closing (OK, Escape, the window manager) commits
    // the choice: there is no cancel. Returns false, without showing the form, when its
    // creation found nothing to offer (StartupAbort set); else true once closed.
    bool run();

    StartupChoice& choice() { return choice_; }
    const StartupChoice& choice() const { return choice_; }

    // ---- Controls -------------------------------------------------------------------------
    QLabel* LangLabel = nullptr; // "Language"
    QComboBox* LangForm = nullptr;
    QLabel* TypeLabel = nullptr; // "Inverter Type-Form"
    QComboBox* I_TypeForm = nullptr;
    QComboBox* I_CapaForm = nullptr;
    QLabel* CpuLabel = nullptr; // "CPU Ver."
    QComboBox* I_CpuForm = nullptr;
    QPushButton* ok = nullptr;

    // ---- Handlers -------------------------------------------------------------------------
    void okClick();
    void I_TypeFormChange();
    void I_CpuFormChange();
    // Commits the choice; runs once, from whichever close comes first.
    void FormClose();
    // Every close ends here (accept, reject, Escape, close()): commits, then closes.
    void done(int r) override;

    // Window size: the start-up picture's.
    static constexpr int kWidth = 358, kHeight = 239;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    // Shows the lists and positions of the choice in the boxes.
    void showChoice();
    // Takes the boxes' positions into the choice.
    void takePositions();

    StartupChoice choice_;
};
