#pragma once
#include <QDateTime>
#include <QString>
#include <QStringList>

class Options;
class QWidget;
struct ProgramContext;

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

// The result window's texts for a transfer mode (read from the context's language file).
struct ResultTexts {
    QString caption;
    QString printButton;
    QString saveButton;
    QString filter; // "desc|pattern"
    QString saveTitle;
    QString printTitle;
    static ResultTexts forMode(const ProgramContext& context, int transferMode);
};

// Save of a result: automatic name when the option "Save Comm./Comp. Result" is available
// and on (not for inverter information), else a save dialog in the program folder. Lines
// end in CR LF, in the code page; characters it lacks are named and asked about first. A
// file that cannot be written is reported; true when a file was written.
bool SaveResultLines(const ProgramContext& context, const Options& options, const QStringList& lines,
                     int transferMode, const QDateTime& now, QWidget* parent = nullptr);
