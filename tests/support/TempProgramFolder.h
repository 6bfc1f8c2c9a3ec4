#pragma once
// A program folder of its own for one test: empty, or with a copy of the shipped data
// (lng/, dat/, help), removed with the object.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

class TempProgramFolder {
public:
    // withShippedData: copy the repository's data/ folder in at once.
    explicit TempProgramFolder(bool withShippedData = false);

    bool isValid() const { return dir_.isValid(); }
    // "/" separated, without a trailing "/".
    QString path() const { return dir_.path(); }
    QString filePath(const QString& relative) const { return dir_.filePath(relative); }
    QString settingsIniPath() const;

    // Copies the shipped data folder into the program folder (existing files are replaced).
    bool copyShippedData();
    // Copies the tree under `from` into the relative folder `to` ("" = the program folder).
    bool copyTree(const QString& from, const QString& to = QString());
    // Writes a file under the program folder, making its folders; returns its path.
    QString writeFile(const QString& relative, const QByteArray& bytes);
    bool removeFile(const QString& relative);

private:
    QTemporaryDir dir_;
};
