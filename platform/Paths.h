#pragma once
// Paths as the program stores them: "/" separators (a stored "\" is read as "/"), and data
// files made on Windows found even when the case of their name differs.
#include <QString>

namespace Paths {

QString normalize(const QString& stored); // "\" -> "/"
QString join(const QString& folder, const QString& name);
QString folderOf(const QString& path); // without the trailing "/"
QString fileNameOf(const QString& path);
// The path as it exists on disk: the exact name, else the first entry whose name matches
// ignoring case, component by component. Empty when neither exists.
QString resolve(const QString& path);
bool exists(const QString& path); // exists(resolve(path))
// resolve(path), else the path as given (a file that is not there yet keeps its own name).
QString resolvedOrAsGiven(const QString& path);

} // namespace Paths
