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

class QPlainTextEdit;
class QPushButton;
class QMenu;
class QAction;
class UnderMainWindow;

// What the result and transfer windows need of the main window. The main window fills it
// once it exists; empty members are skipped.
struct MainWindowLinks {
    QWidget* window = nullptr;          // placement reference
    std::function<bool()> printEnabled; // its Print menu item is enabled (a printer exists)
    std::function<void()> clearParaTableAct;
};
MainWindowLinks& mainWindowLinks();

class ResultWindow : public QDialog {
    Q_OBJECT
public:
    explicit ResultWindow(QWidget* owner = nullptr);
    ~ResultWindow() override;

    ResultText& text() { return text_; }
    const ResultText& text() const { return text_; }
    // Jobs write through these (also while the window is shown).
    void addLine(const QString& line);
    void replaceFirstLine(const QString& line);
    // The lines as they stand (the window's text once shown: the user may edit it).
    QStringList lines() const;

    // The current time for automatic file names; tests replace it.
    std::function<QDateTime()> currentTime = [] { return QDateTime::currentDateTime(); };
    // When set, Print writes this PDF instead of using a printer (tests).
    QString printToPdf;

    // Handlers.
    void FormShow();
    void FormActivate();
    void printText();
    void saveText();        // also called by the transfer engine without showing
    void PopRepCopyClick(); // Copy

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

    ResultText text_;
    UnderMainWindow* placement_ = nullptr; // made at the first show
    bool shown_ = false;
    QString printTitle_;
};

// The result window of the job in progress while it exists (the monitor and the transfer
// commands set and clear it).
extern ResultWindow* currentResultWindow;
