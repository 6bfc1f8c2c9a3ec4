#pragma once
// Help is HTML shown in the program's own help window. A help "file" such as
// "KVR260X(Eng).chm" is either a compiled help file of that name or a folder of that name
// holding index.htm and html/<topic>.htm; both show their pages, pictures and links the same
// way. The window's title is the title of the page shown; Escape closes it.
#include <QString>

class QTextBrowser;

namespace HelpViewer {

// Shows a page of a help file or folder: topic "" is its contents page, otherwise a path
// inside it such as "html/f001.htm". Returns false, and shows nothing, when the help or the
// page does not exist.
bool displayTopic(const QString& helpFile, const QString& topic = QString());
// Closes every help window.
void closeAll();
// The window of the last page shown (tests), or null.
QTextBrowser* currentWindow();

} // namespace HelpViewer
