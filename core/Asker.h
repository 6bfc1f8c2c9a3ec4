#pragma once
// What an operation of core has to show or ask. Core composes the texts; the windows above
// it show them: a box at the end of an operation comes back as a Notice, a question in the
// middle of one goes to the Asker the caller hands in.
#include "platform/BoxKinds.h"

#include <QList>
#include <QString>

// A box: the text, its caption, icon and buttons.
struct Notice {
    QString text;
    QString caption;
    BoxIcon icon = BoxIcon::Warning;
    BoxButtons buttons = BoxButtons::Ok;
};

// An open-file dialog: title, starting folder, filter ("Desc|*.ext|...") and its 1-based entry.
struct FileChoice {
    QString title;
    QString folder;
    QString filter;
    int filterIndex = 1;
};

class Asker {
public:
    virtual ~Asker() = default;
    // Shows the box and returns the answer.
    virtual BoxAnswer ask(const Notice& notice) = 0;
    // The file the user chose; "" when cancelled.
    virtual QString chooseFile(const FileChoice& choice) = 0;
    // The file to save to, the dialog starting with fileName; "" when cancelled. chosenFilter
    // (when given) receives the 1-based filter entry the user picked.
    virtual QString chooseSaveFile(const FileChoice& choice, const QString& fileName, int* chosenFilter) = 0;
    // Lets pending window messages through (after a box, before reading on).
    virtual void letEventsThrough() = 0;
};
