#pragma once
// Menu and button captions reused as the titles of dialogs and windows.
#include <QString>

// The caption without its access key: "Save &As" -> "Save As", "名前を付けて保存(&A)" ->
// "名前を付けて保存"; "&&" stays one "&". A title shows no key to press.
QString dialogTitle(const QString& caption);
