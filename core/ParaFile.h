#pragma once
// The program's own parameter file (".kvr"): a header naming the drive identity, the
// comment and the Blind view, then one line per parameter ("ComNo,Value,Select,Blind").
// One reader serves every way a file comes in (File > Open, the start with a file
// argument, a file dropped on the table); what differs between them are the options.
#include "core/Asker.h"
#include "core/ProgramContext.h"
#include "platform/TextFile.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace ParaFile {

// Data lines read after the header: enough for every line the writer writes.
inline constexpr int kMaxDataLines = kMaxParams;

// "###" (the form written), "##" (no CPU and language lines), "#" (no blind lines).
enum class Form { None, Full, Short, Oldest };
Form formOf(const QString& firstLine);

struct Header {
    Form form = Form::None;
    QString type; // the file's drive type, capacity and CPU version
    QString driveForm;
    QString cpu;         // "###" only
    QString language;    // "###" only
    QString commentLine; // as written ("No Comments." for none)
    int commentAt = -1;  // index of the comment line
    QString blindFlag;   // "###" and "##" only
    QString blindCount;
    int firstDataLine = 0; // index into the lines
};
// The header of the form line 1 names; lines missing at the end of a short file read as
// empty texts.
Header parseHeader(const QStringList& lines);

// The comment a comment line stands for: "No Comments." is none.
QString commentOfLine(const QString& line);
// A data line's fields, split as CSV lines are (quotes group a field) and trimmed of
// blanks and tabs.
QStringList splitFields(const QString& line);
// Index after the last data line: the first empty line, the end of the file or the limit.
int dataEnd(const QStringList& lines, int firstDataLine);

// The box text when a data line of "0998" holds other than "1" or one of "0999" other
// than "2" (the drive's special-setup markers); "" when the file has none.
QString markerRefusalText(const ProgramContext& context, const QStringList& lines, const Header& header);

// ---- Shared by the readers of every format --------------------------------------------

// Every Value back to its default, every mark of every row cleared.
void resetValuesToDefaults(const ProgramContext& context);
// A value read from a file into the working table: Value as written, the select and blind
// marks, the changed flag against the default, the other marks cleared.
void takeValue(const ProgramContext& context, int index, const QString& value, double raw,
               const QString& select, const QString& blind);
// The communication number stands in the capacity lists (parameters whose default
// depends on the capacity).
bool isCapacityParameter(const ProgramContext& context, const QString& comNo,
                         Qt::CaseSensitivity cs = Qt::CaseSensitive);
// "'text' is not a valid integer value." and its floating-point and file counterparts, in
// the error boxes captioned with the product name. A text from a file is quoted cut short.
Notice conversionErrorNotice(const QString& text, bool floatingPoint);
Notice cannotOpenNotice(const QString& path);
Notice cannotCreateNotice(const QString& path);
// A file that could not be written, and why: the disk is full (systemCode says so) or not.
Notice writeFailureNotice(const ProgramContext& context, const QString& path, int systemCode);
// A text of the language file's section "Main", def when the key is missing.
QString mainText(const ProgramContext& context, const QString& key, const QString& def);
// TextFile::writeEncoded, a failure shown through the asker as writeFailureNotice (an
// existing file stays as it was); false too when declined.
bool writeForOthers(const ProgramContext& context, const QString& path, const TextFile::Encoded& file,
                    const TextFile::AcceptSubstitutes& accept, Asker& asker);
// "KVR260X <type><form> (CPU Ver.<cpu>)" of the selected drive type.
QString captionBase(const ProgramContext& context);
// The caption after a file was read: base, message FileLabel, the file name and the file's
// identity, or after a save (fileIdentity empty): base, message FileLabel, the file name.
QString fileCaption(const ProgramContext& context, const QString& fileName,
                    const QString& fileIdentity = QString());

// ---- Reading --------------------------------------------------------------------------

struct ReadOptions {
    bool acceptShortForms = true; // "##" and "#" (the start with a file argument takes "###" only)
    bool markerCheck = true;      // refuse files recording a specially set-up drive
    bool identityChecks = true;   // compare type, capacity and CPU with the selected ones
    // A number the drive type lacks: true asks (OK skips the line, Cancel stops); false
    // shows message DataIncorrect and stops.
    bool askOnUnknownNumber = true;
    bool letEventsThroughAfterBoxes = false; // let window messages through (the asker) after each box
};

enum class ReadResult {
    Loaded,       // read to the end of its data
    Refused,      // a check or an answer refused it; nothing changed
    Stopped,      // a bad line or Cancel stopped it part-way: read() changed nothing,
                  // loadDataLines kept the values before the stop
    NotOwnFormat, // line 1 is no form marker (or a short form not accepted); nothing shown
};

struct ReadOutcome {
    ReadResult result = ReadResult::Refused;
    Header header;
    QString comment;
    QList<int> taken; // indices of the parameters whose value came from the file
};

// Checks and reads a file's lines, asking the asker the questions File > Open asks. The working table and
// the Blind state take the file only once all of it was read. The comment is handed back
// for the page set-up's box.
ReadOutcome read(ProgramContext& context, const QStringList& lines, Asker& asker,
                 const ReadOptions& options = {});

// The blind lines of a "###" or "##" header as numbers. False with the offending text.
bool parseBlindLines(const Header& header, bool& active, int& count, QString* badText = nullptr);

// The data lines alone, after resetValuesToDefaults (the start with a file argument reads
// its header before the drive data exists). keepCapacityDefaults skips the capacity lists.
// taken (when given) receives the indices of the parameters whose value was read.
ReadResult loadDataLines(ProgramContext& context, const QStringList& lines, int firstDataLine,
                         bool keepCapacityDefaults, Asker& asker, const ReadOptions& options,
                         QList<int>* taken = nullptr);

// ---- Writing --------------------------------------------------------------------------

// The "###" file of the working set. changedOnly writes only parameters that are changed
// or hidden in the Blind view.
QStringList buildLines(const ProgramContext& context, const QString& comment, bool blindOn, bool changedOnly);
// Writes it in the code page (CR LF), as writeForOthers does; a comment still as it was read
// goes out as the bytes it was read from.
bool WriteParameterFile(const ProgramContext& context, const QString& path, const QString& comment,
                        bool blindOn, bool changedOnly, Asker& asker,
                        const TextFile::AcceptSubstitutes& accept = {}, const TextFile::KeptText& kept = {});

} // namespace ParaFile
