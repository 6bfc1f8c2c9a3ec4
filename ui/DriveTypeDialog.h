#pragma once
// The start-up form: a borderless window over the start-up picture where the user picks
// the language and the drive (type, capacity, CPU version). The preparation runs in the
// constructor; a search for the drive left for later (StartupContext::detectLater) runs once
// the form is on screen, with a panel over the lists that shows the try under way on each
// port and a button that stops it, and the form then says in words when nothing answered.
// The choice is committed when the form closes, whichever way it closes. The rules live in
// StartupChoice; the form binds its lists to drop-down boxes.
//
// Use (start-up and File > New):
//     DriveTypeDialog form(context, asker, {main.firstShowDone(), main.fileArgumentStart(),
//                                           cpuVersionsChosen, &link}, &main);
//     // File > New: form.LangForm->setEnabled(false);
//     form.run(); // false, without showing, when the context's startupAborted was set
// The constructor neither needs nor touches the data store; with a link it looks for the
// connected drive there (when the last drive is not to be preselected) and preselects it.
#include "link/StartupChoice.h"

#include <QDialog>

class QComboBox;
class QFrame;
class QLabel;
struct SearchProgress;
class QPushButton;

class DriveTypeDialog : public QDialog {
    Q_OBJECT
public:
    // Runs the creation handler (it may show boxes and set the program's startupAborted).
    // The choice's boxes go to `asker`.
    DriveTypeDialog(ProgramContext& program, Asker& asker, const StartupChoice::Context& context,
                    QWidget* owner = nullptr);
    ~DriveTypeDialog() override;

    // Shows the form modally. Every way of closing (OK, Escape, the window manager) commits
    // the choice: there is no cancel. Returns false, without showing the form, when its
    // creation found nothing to offer (startupAborted set); else true once closed.
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
    QLabel* outcome = nullptr;     // what the search ended with, in words (empty when found)
    QFrame* searchPanel = nullptr; // over the lists while the search runs
    QLabel* searchTitle = nullptr;
    QLabel* searchState = nullptr;     // the try under way on each port
    QPushButton* stopSearch = nullptr; // the user chooses by hand

    // ---- Handlers -------------------------------------------------------------------------
    void acceptChoice();
    void refillForType();
    void refillForCpu();
    // Commits the choice; runs once, from whichever close comes first.
    void takeChoice();
    // Every close ends here (accept, reject, Escape, close()): commits, then closes. While the
    // search runs a close stops it instead.
    void done(int r) override;
    // Shows the form and runs the search left for later (nothing when none is due).
    void runSearch();

    // Window size: the start-up picture's.
    static constexpr int kWidth = 358, kHeight = 239;
    // The pixel size of the search's lines while they fit the panel.
    static constexpr int kSearchStatePx = 11;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    // Shows the lists and positions of the choice in the boxes.
    void showChoice();
    // Takes the boxes' positions into the choice.
    void takePositions();

    // The search panel's title and button in the form's language.
    void showSearchTexts();
    bool showSearch(const SearchProgress& progress);
    void showOutcome();

    StartupChoice choice_;
    bool searching_ = false;
    bool stopRequested_ = false;
};
