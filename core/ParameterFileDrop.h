#pragma once
// A parameter file dragged from the desktop's file manager and dropped on the parameter
// table: it is loaded as File > Open loads a file of the own format, with the drop's own
// rules. Exactly one file, named "*.kvr" or "*.dat" (any case), whose first line is a form
// marker; no refusal of files recording a drive's special set-up; window messages are let
// through after each box. The caller runs this after the drop was accepted, never inside the
// drop event: the file manager waits for the drop's end while a box would be open.
#include "core/Asker.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

class FileCommandHost;
class FileCommands;
struct ProgramContext;

class ParameterFileDrop {
public:
    // The file commands finish a successful load (the file becomes the opened file) and keep
    // the comment state; the host is the main window the table and caption belong to; the
    // asker shows the boxes and lets window messages through.
    ParameterFileDrop(FileCommands& commands, FileCommandHost& host, ProgramContext& context, Asker& asker);

    // The local files of dropped URLs, in order. A URL of no local file stays in the list as
    // an empty path, which the name check refuses.
    static QStringList localFiles(const QList<QUrl>& urls);

    enum class Outcome {
        Loaded,  // the file is the opened file now
        Refused, // nothing of the store, the caption or the opened file changed (also when a
                 // bad line or Cancel stopped the reading part-way)
    };
    Outcome load(const QStringList& paths);

private:
    FileCommands& commands_;
    FileCommandHost& host_;
    ProgramContext& context_;
    Asker& asker_;
};
