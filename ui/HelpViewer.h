#pragma once
// Help is HTML. A help "file" such as "KVR260X(Eng).chm" is a folder of that name holding
// index.htm and html/<topic>.htm, shown in the program's own help window.
#include <QString>

class QTextBrowser;

namespace HelpViewer {

// Shows a page of a help folder: topic "" is index.htm, otherwise a path inside the folder
// such as "html/f001.htm". Returns false, and shows nothing, when the folder or the page
// does not exist.
bool displayTopic(const QString& helpFolder, const QString& topic = QString());
// Closes every help window.
void closeAll();
// The window of the last page shown (tests), or null.
QTextBrowser* currentWindow();

} // namespace HelpViewer
