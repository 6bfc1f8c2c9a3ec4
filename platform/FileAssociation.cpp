#include "platform/FileAssociation.h"

#include "platform/TextFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QXmlStreamReader>

namespace {

QString progId() {
    return QString::fromLatin1(kKvrProgId);
}

bool saveFile(const QString& path, const QByteArray& bytes) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        qWarning("File association: cannot create the folder of %s", qPrintable(path));
        return false;
    }
    QString error;
    if (!TextFile::writeBytes(path, bytes, &error)) {
        qWarning("File association: %s", qPrintable(error));
        return false;
    }
    return true;
}

// The type a shared-mime-info package gives the glob "*.kvr" (globs match ignoring case
// unless marked otherwise), or "" when it gives none.
QString kvrTypeOfPackage(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    // The system's own package is megabytes long; most never mention the extension.
    const QByteArray bytes = f.readAll();
    if (!bytes.toLower().contains("kvr"))
        return QString();
    QXmlStreamReader xml(bytes);
    QString type;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("mime-type")) {
            type = xml.attributes().value(QLatin1String("type")).toString();
        } else if (xml.name() == QLatin1String("glob")) {
            const auto attrs = xml.attributes();
            const QString pattern = attrs.value(QLatin1String("pattern")).toString();
            const bool caseSensitive = attrs.value(QLatin1String("case-sensitive")) == QLatin1String("true");
            const bool match = caseSensitive
                                   ? pattern == QLatin1String("*.kvr")
                                   : pattern.compare(QLatin1String("*.kvr"), Qt::CaseInsensitive) == 0;
            if (match)
                return type.isEmpty() ? QFileInfo(path).completeBaseName() : type;
        }
    }
    return QString();
}

// The value of key Exec in the [Desktop Entry] group of a desktop file, "" when absent.
QString execOfDesktopFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    bool inEntry = false;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
        } else if (inEntry && line.startsWith(QLatin1String("Exec"))) {
            const int eq = line.indexOf(QLatin1Char('='));
            if (eq > 0 && line.left(eq).trimmed() == QLatin1String("Exec"))
                return line.mid(eq + 1).trimmed();
        }
    }
    return QString();
}

void startIfInstalled(const QString& tool, const QString& folder) {
    const QString exe = QStandardPaths::findExecutable(tool);
    if (!exe.isEmpty())
        QProcess::startDetached(exe, {folder});
}

} // namespace

AssociationAction applyFileAssociation(FileAssociation& store, bool on, const QString& programPath) {
    const QString owner = store.owner();
    if (on) {
        if (owner.isEmpty()) {
            if (!store.write(programPath))
                return AssociationAction::None;
            store.notify();
            return AssociationAction::Registered;
        }
        // Our claim starting a program that is no longer there would open nothing.
        if (owner == progId() && store.command() != store.commandFor(programPath)) {
            if (!store.write(programPath))
                return AssociationAction::None;
            store.notify();
            return AssociationAction::Rewritten;
        }
        return AssociationAction::None;
    }
    if (owner.isEmpty())
        return AssociationAction::None;
    // Only our own entries go, even when ".kvr" belongs to another program now.
    if (!store.remove())
        return AssociationAction::None;
    store.notify();
    return AssociationAction::Removed;
}

XdgFileAssociation::XdgFileAssociation(const QString& dataHome, const QStringList& dataDirs)
    : dataHome_(dataHome), dataDirs_(dataDirs) {}

QString XdgFileAssociation::dataHome() const {
    if (!dataHome_.isEmpty())
        return dataHome_;
    const QString env = qEnvironmentVariable("XDG_DATA_HOME");
    // Relative paths in the XDG variables are ignored, as the base-directory rules say.
    if (!env.isEmpty() && QDir::isAbsolutePath(env))
        return env;
    return QDir::homePath() + QStringLiteral("/.local/share");
}

QString XdgFileAssociation::packagePath() const {
    return dataHome() + QStringLiteral("/mime/packages/") + progId() + QStringLiteral(".xml");
}

QString XdgFileAssociation::desktopPath() const {
    return dataHome() + QStringLiteral("/applications/") + progId() + QStringLiteral(".desktop");
}

QStringList XdgFileAssociation::packageFolders() const {
    QStringList dirs = dataDirs_;
    if (dirs.isEmpty()) {
        const QString env = qEnvironmentVariable("XDG_DATA_DIRS");
        dirs = env.isEmpty() ? QStringList{QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")}
                             : env.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    }
    QStringList folders{dataHome() + QStringLiteral("/mime/packages")};
    for (const QString& d : dirs)
        folders << d + QStringLiteral("/mime/packages");
    return folders;
}

QString XdgFileAssociation::owner() const {
    if (QFileInfo::exists(packagePath()))
        return progId();
    const QString ours = QFileInfo(packagePath()).fileName();
    for (const QString& folder : packageFolders()) {
        const QStringList files = QDir(folder).entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name);
        for (const QString& name : files) {
            if (name == ours)
                continue;
            const QString type = kvrTypeOfPackage(folder + QLatin1Char('/') + name);
            if (!type.isEmpty())
                return type;
        }
    }
    return QString();
}

QString XdgFileAssociation::command() const {
    return execOfDesktopFile(desktopPath());
}

QString XdgFileAssociation::commandFor(const QString& programPath) const {
    return execLine(programPath);
}

QString XdgFileAssociation::execLine(const QString& programPath) {
    // Inside a quoted argument ", `, $ and \ take a backslash, % is doubled; then the value
    // as a whole escapes its backslashes once more.
    QString quoted;
    for (const QChar c : programPath) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return QLatin1Char('"') + quoted + QStringLiteral("\" %f");
}

bool XdgFileAssociation::write(const QString& programPath) {
    if (programPath.isEmpty() || programPath.contains(QLatin1Char('\n')) ||
        programPath.contains(QLatin1Char('\r'))) {
        qWarning("File association: the program path cannot be written into a desktop entry");
        return false;
    }
    const QByteArray package = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                               "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                               "  <mime-type type=\"" +
                               QByteArray(kKvrMimeType) +
                               "\">\n"
                               "    <comment>" +
                               QByteArray(kKvrDescription) +
                               "</comment>\n"
                               "    <glob pattern=\"*.kvr\"/>\n"
                               "  </mime-type>\n"
                               "</mime-info>\n";
    const QString desktop = QStringLiteral("[Desktop Entry]\n"
                                           "Type=Application\n"
                                           "Name=%1\n"
                                           "Comment=%2\n"
                                           "Exec=%3\n"
                                           "MimeType=%4;\n"
                                           "NoDisplay=true\n"
                                           "Terminal=false\n")
                                .arg(QFileInfo(programPath).fileName(), QString::fromLatin1(kKvrDescription),
                                     execLine(programPath), QString::fromLatin1(kKvrMimeType));
    // The claim first, then the program: a claim without its entry is mended by the next
    // start, which finds the stored command differing.
    return saveFile(packagePath(), package) && saveFile(desktopPath(), desktop.toUtf8());
}

bool XdgFileAssociation::remove() {
    bool removed = false;
    for (const QString& path : {packagePath(), desktopPath()}) {
        if (!QFileInfo::exists(path))
            continue;
        if (QFile::remove(path))
            removed = true;
        else
            qWarning("File association: cannot remove %s", qPrintable(path));
    }
    return removed;
}

void XdgFileAssociation::notify() {
    if (notifier_) {
        notifier_();
        return;
    }
    startIfInstalled(QStringLiteral("update-mime-database"), dataHome() + QStringLiteral("/mime"));
    startIfInstalled(QStringLiteral("update-desktop-database"), dataHome() + QStringLiteral("/applications"));
}

AssociationAction applyFileAssociation(bool on) {
    XdgFileAssociation store;
    return applyFileAssociation(store, on, QCoreApplication::applicationFilePath());
}
