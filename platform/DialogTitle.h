#pragma once
// Menu and button captions reused as the titles of dialogs and windows.
#include <QString>

class QFont;

// The caption without its access key: "Save &As" -> "Save As", "名前を付けて保存(&A)" ->
// "名前を付けて保存"; "&&" stays one "&". A title shows no key to press.
QString dialogTitle(const QString& caption);

// The width a window needs for its title bar to show `title` whole: the title in the bold
// face of `font` (title bars draw theirs bold) and room for the window's icon, four buttons
// and the bar's ends, each as wide as the bar is high. The window manager's own font is not
// known here.
int titleBarWidth(const QString& title, const QFont& font);
