#pragma once
// The help page of a parameter: F10, the items "Show Parameter Help" and a double click on the
// grid open the page of a row's parameter. A drive type's parameter help lies in its type
// folder, named like "HXA1(Eng).chm": a compiled help file or a help folder, holding one page
// per parameter: "html/" + the parameter's title in lower case + ".htm". With the option "Use WinHelp as
// Parameter Help" the help is "HXA1(Eng).hlp", of which only the contents page can be shown: topics found by
// communication number have no stand-in here.
//
// The titles come from the drive-type files, so a title is used as a file name only when it
// cannot lead out of the help folder.
#include <QSet>
#include <QString>
#include <functional>

class Options;
class ParameterTable;
struct ProgramContext;

class ParameterHelp {
public:
    // Shows a page of a help folder ("" = its contents page). False when the folder or the page
    // does not exist; nothing is shown then.
    using ShowPage = std::function<bool(const QString& helpFolder, const QString& page)>;

    ParameterHelp(ParameterTable& core, const ProgramContext& context, const Options& options, ShowPage show);

    // "html/<title in lower case>.htm"; "" for an empty title or one holding "/", "\" or "..".
    static QString pageOfTitle(const QString& title);

    struct Page {
        QString helpFile; // "" when the row opens nothing
        QString page;     // inside it; "" for the contents page
        bool operator==(const Page&) const = default;
    };
    // What a grid row opens: the parameter's page of the help file, or with WinHelp the
    // contents page. Nothing for a row that shows no parameter (the cursor row can lie past
    // the rows after a view change) or a title that names no page.
    Page pageOfRow(int row) const;

    // The items and F10: the cursor row's page, while the command is enabled.
    void showParameterHelp();
    // A double click: the page of the clicked row, whatever the items say.
    void openRow(int row);

private:
    ParameterTable& core_;
    const ProgramContext& context_;
    const Options& options_;
    ShowPage show_;
    // Missing help files and pages already reported: a double click is frequent, the box once.
    QSet<QString> reported_;
};
