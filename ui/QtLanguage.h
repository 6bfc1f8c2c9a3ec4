#pragma once
// Qt's own texts (message-box buttons, file and print dialogs) and the formats of dates
// follow the program's language, so a Japanese desk shows no English dialog parts.
#include <QLocale>
#include <QString>

namespace QtLanguage {

// The locale of a language file's name ("English", "Japanese"); the system's own where it
// speaks that language, so its regional formats are kept.
QLocale localeFor(const QString& languageName);

// Makes the language's locale the default and loads Qt's translations of it from Qt's
// translations folder, replacing those of an earlier language. A language without them
// leaves Qt's texts in English.
void follow(const QString& languageName);

} // namespace QtLanguage
