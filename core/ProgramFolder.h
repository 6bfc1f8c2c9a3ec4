#pragma once
// The program folder and what is kept of it in the settings file: the paths built from
// it, the first start's language list, the folders last used, the drive types' CPU folders.
#include "core/Asker.h"

#include <QString>
#include <QStringList>
#include <optional>

struct ProgramContext;

namespace ProgramFolder {

// The program folder and the paths built from it (language folder, settings, catalogue).
void setProgramFolder(ProgramContext& context, const QString& folder);
// A first start lists the two shipped languages in the settings file. When the settings file
// cannot be written: startupAborted, and the one error box naming the file.
std::optional<Notice> seedLanguageSection(ProgramContext& context);
// The folders last used, from the settings file (the program folder when missing).
void LoadSavedPaths(ProgramContext& context);
// The same folders back into the settings file on the way out (nothing without a settings
// file; one that cannot be written never holds the program up).
void StoreSavedPaths(const ProgramContext& context);
// The CPU versions of a drive type as the start-up form lists them: the folders of the
// data folder named "<type>(V<number>)", sorted, as names ("V110") and numbers ("110").
void cpuVersionsOf(const QString& dataFolder, const QString& typeName, QStringList& names,
                   QStringList& numbers);

} // namespace ProgramFolder
