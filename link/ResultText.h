#pragma once
#include <QDateTime>
#include <QString>
#include <QStringList>

class Asker;
class Options;
struct ProgramContext;

// The lines of a result, without a window.
class ResultText {
public:
    // The visible text (ResultDisp), one entry per line.
    const QStringList& lines() const { return lines_; }
    // The comparison's failed requests (ResultBuff), appended at its end.
    const QStringList& bufferedLines() const { return buffered_; }

    void addLine(const QString& line) { lines_ << line; }
    void addBuffLine(const QString& line) { buffered_ << line; }
    // The visible text as the window holds it after the user's edits.
    void replaceLines(const QStringList& lines) { lines_ = lines; }
    // Line 0 becomes `line` (added when the text is empty).
    void replaceFirstLine(const QString& line);
    // The buffered lines after the visible ones.
    void appendBuffer() { lines_ += buffered_; }

private:
    QStringList lines_;
    QStringList buffered_;
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
                     int transferMode, const QDateTime& now, Asker& asker);
