#pragma once
// Invariants of a program folder's data: language files, drive catalogue and drive-type
// folders. Each check returns the problems it found as readable lines (empty = sound), so a
// failing test names every fault at once.
#include <QString>
#include <QStringList>
#include <vector>

namespace DataChecks {

// One drive-type file line split as the drive-type loader splits it: quotes group, a pair of
// quotes gives an apostrophe, blanks stay.
QStringList splitTypeLine(const QString& line);

// The parameters of a drive-type file: 17 columns per row (Quick "0" when the line has 16
// fields; "#", "1", "-" for empty TMul, Mul, Memory). Problems with the lines go to problems.
std::vector<QStringList> readTypeFile(const QString& path, QStringList& problems);

// A four-character communication number; "file:line" for a problem's place.
bool isComNo(const QString& s);
QString where(const QString& path, int line);

// A help folder's links, pictures and contents page.
QStringList helpFolderProblems(const QString& folder);

// The communication numbers every drive type must hold.
QStringList requiredComNos();

QStringList checkLanguageFile(const QString& path);
// Both files hold the same sections with the same keys (captions of "InverterInfo" aside).
QStringList checkLanguagePair(const QString& englishPath, const QString& japanesePath);

// One folder <type>(<cpu>) against the catalogue.
QStringList checkDriveTypeFolder(const QString& folder, const QString& cataloguePath);

// dat/Inverter.ini and every drive-type folder of a program folder.
QStringList checkProgramFolder(const QString& programFolder);

} // namespace DataChecks
