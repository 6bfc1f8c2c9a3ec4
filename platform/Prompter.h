#pragma once
// Every message box and common dialog of the program goes through the installed prompter,
// so that tests can script the answers and see every box.
#include "platform/BoxKinds.h"

#include <QColor>
#include <QFont>
#include <QString>

class QWidget;
class QPrinter;

class Prompter {
public:
    virtual ~Prompter() = default;

    virtual BoxAnswer message(const QString& text, const QString& caption, BoxIcon icon,
                              BoxButtons buttons = BoxButtons::Ok, QWidget* parent = nullptr) = 0;
    // Filters are written as "Description|*.ext|Description|*.ext"; filterIndex is 1-based.
    // An empty result means the user cancelled.
    virtual QString openFile(const QString& title, const QString& folder, const QString& filter,
                             int filterIndex = 1, QWidget* parent = nullptr) = 0;
    virtual QString saveFile(const QString& title, const QString& folder, const QString& filter,
                             int filterIndex = 1, const QString& fileName = QString(),
                             QWidget* parent = nullptr) = 0;
    virtual bool chooseColor(QColor& color, QWidget* parent = nullptr) = 0;
    virtual bool chooseFont(QFont& font, QWidget* parent = nullptr) = 0;
    virtual bool choosePrinter(QPrinter& printer, QWidget* parent = nullptr) = 0;

    // The 1-based filter entry chosen in the last file dialog that returned a file (the
    // entry asked for until then), for callers that pick the file format by the entry.
    int lastFilterIndex() const { return lastFilterIndex_; }

    // The prompter in use: the installed one, else the program's default (the widget
    // prompter, set by the program at start), else one that writes boxes to stderr and
    // answers with their first button.
    static Prompter& instance();
    // Installs p (not owned); nullptr restores the default.
    static void install(Prompter* p);
    // The prompter used while none is installed (not owned).
    static void setDefault(Prompter* p);

protected:
    int lastFilterIndex_ = 1;
};

// "Desc|*.a|Desc2|*.b" -> "Desc (*.a);;Desc2 (*.b)" and the n-th (1-based) entry of it (the
// first when n is out of range). A pattern list "*.a;*.b" becomes "*.a *.b", and "*.*"
// becomes "*" so that it also matches names without a dot.
QString qtFilterFromPipeFilter(const QString& pipeFilter);
QString qtFilterEntry(const QString& pipeFilter, int index);
// The extension ("kvr") of the n-th entry when it names exactly one, else "".
QString filterEntrySuffix(const QString& pipeFilter, int index);
// The answer of a box's first button (what a box without a user would give).
BoxAnswer firstButtonAnswer(BoxButtons buttons);
