#pragma once
#include "link/ResultText.h"
// The communication result window: the text a communication job produced (failed
// parameters of an import or export, the differences of a comparison, the monitor's
// inverter and trip information), with Print, Save and Copy. A command creates it for one
// job, the job writes lines into its text (ResultText, no window needed), the command shows
// it modally when the options say so and then releases it.
//
// The window is never a Qt child of the main window: disabling the main window during a
// monitor run would disable it too. The main window is only its placement reference.
#include <QDateTime>
#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>

class Asker;
class Options;
class QPlainTextEdit;
class QPushButton;
class QMenu;
class QAction;
class QPrinter;
class UnderMainWindow;

struct ProgramContext;
struct TransferJob;

// What the result and transfer windows need of the main window. The start-up fills it once
// the main window exists and hands it to the commands that make those windows; empty
// members are skipped.
struct MainWindowLinks {
    QWidget* window = nullptr;          // placement reference
    std::function<bool()> printEnabled; // its Print menu item is enabled (a printer exists)
    std::function<void()> clearParaTableAct;
    // The program's printer (the main window's printer set-up chooses it); null: the default.
    QPrinter* printer = nullptr;
};

class ResultWindow : public QDialog {
    Q_OBJECT
public:
    // The result of `job` (its mode names the window and its files), for the program of
    // `context`; a save asks through `asker`. None of the references is owned.
    ResultWindow(const ProgramContext& context, const Options& options, Asker& asker, const TransferJob& job,
                 const MainWindowLinks& links, QWidget* owner = nullptr);
    ~ResultWindow() override;

    ResultText& text() { return text_; }
    const ResultText& text() const { return text_; }
    // Jobs write through these (also while the window is shown).
    void addLine(const QString& line);
    void replaceFirstLine(const QString& line);
    // The lines as they stand (the window's text once shown: the user may edit it).
    QStringList lines() const;
    // The job the result is of.
    const TransferJob& job() const { return job_; }

    // The current time for automatic file names; tests replace it.
    std::function<QDateTime()> currentTime = [] { return QDateTime::currentDateTime(); };
    // When set, Print writes this PDF instead of using a printer (tests).
    QString printToPdf;

    // Handlers.
    void showResults();
    void clearTableActive();
    // Print: the lines on the program's printer, or a PDF file with none installed. False when
    // nothing was printed.
    bool printText();
    void saveText();         // also called by the transfer engine without showing
    void copySelectedText(); // Copy

    // Controls.
    QPlainTextEdit* ResultDisp = nullptr;
    QPushButton* printButton = nullptr;
    QPushButton* saveButton = nullptr;
    QMenu* contextMenu = nullptr;
    QAction* PopRepCopy = nullptr;

    static constexpr int kMinWidth = 360, kMinHeight = 406;

protected:
    void showEvent(QShowEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void place();
    void showText();

    const ProgramContext& context_;
    const Options& options_;
    Asker& asker_;
    const TransferJob& job_;
    const MainWindowLinks& links_;
    ResultText text_;
    UnderMainWindow* placement_ = nullptr; // made at the first show
    bool shown_ = false;
    QString printTitle_;
};
