#pragma once
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

// What the result and transfer windows need of the main window. The main window fills it
// once it exists; empty members are skipped.
struct MainWindowLinks {
    QWidget* window = nullptr;          // placement reference
    std::function<bool()> printEnabled; // its Print menu item is enabled (a printer exists)
    std::function<void()> clearParaTableAct;
};
MainWindowLinks& mainWindowLinks();

// The lines of a result, without a window.
class ResultText {
public:
    QStringList ResultDisp; // the visible text, one entry per line
    QStringList ResultBuff; // the comparison's failed requests, appended at its end

    void addLine(const QString& line) { ResultDisp << line; }
    void addBuffLine(const QString& line) { ResultBuff << line; }
    // Line 0 becomes `line` (added when the text is empty).
    void replaceFirstLine(const QString& line);
    // ResultBuff's lines after ResultDisp's.
    void appendBuffer() { ResultDisp += ResultBuff; }
};

// Name of an automatic save in `folder`: day, hour, minute and second without leading
// zeros ("7d9h5m3s.txt").
QString automaticResultFileName(const QString& folder, const QDateTime& when);

// The result window's texts for a transfer mode (read from the language file).
struct ResultTexts {
    QString caption;
    QString printButton;
    QString saveButton;
    QString filter; // "desc|pattern"
    QString saveTitle;
    QString printTitle;
    static ResultTexts forMode(int transferMode);
};

// Save of a result: automatic name when the option "Save Comm./Comp. Result" is available
// and on (not for inverter information), else a save dialog in the program folder. Lines
// end in CR LF. A file that cannot be written is reported; true when a file was written.
bool SaveResultLines(const QStringList& lines, int transferMode, const QDateTime& now,
                     QWidget* parent = nullptr);

class TResultForm1 : public QDialog {
    Q_OBJECT
public:
    explicit TResultForm1(QWidget* owner = nullptr);
    ~TResultForm1() override;

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
    void Button1Click();    // Print
    void Button2Click();    // Save (also called by the transfer engine without showing)
    void PopRepCopyClick(); // Copy

    // Controls.
    QPlainTextEdit* ResultDisp = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* PopRepCopy = nullptr;

    static constexpr int kMinWidth = 360, kMinHeight = 406;

protected:
    void showEvent(QShowEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void place();
    void showText();

    ResultText text_;
    bool shown_ = false;
    QString printTitle_;
};

// The result window of the job in progress while it exists (the monitor and the transfer
// commands set and clear it).
extern TResultForm1* ResultForm1;
