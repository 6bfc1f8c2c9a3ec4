#pragma once
// Registration of the program's own parameter files (".kvr") with the desktop, so that
// opening such a file starts the program with the file as its one argument.
//
// On a freedesktop system the claim on ".kvr" is a shared-mime-info package with the glob
// "*.kvr" and the program is a desktop entry for that type, both in the user's own data
// folder ($XDG_DATA_HOME). Nothing outside that folder is ever written, another program's
// claim on ".kvr" is left alone, and removing deletes only our own two files.
#include <QString>
#include <QStringList>
#include <functional>

// The identity of our file type and its description; fixed, so that an association made by an
// earlier run still matches.
inline constexpr const char* kKvrProgId = "VELRODI.INV.file";
inline constexpr const char* kKvrDescription = "KALDRIX Parameter data";
inline constexpr const char* kKvrMimeType = "application/x-velrodi-inv-file";

// Where the association lives; the rule below needs no more than this.
class FileAssociation {
public:
    virtual ~FileAssociation() = default;
    // Who claims ".kvr": empty for nobody, kKvrProgId for this program, else the other
    // program's type.
    virtual QString owner() const = 0;
    // The start command of our registration as stored, and as it would be stored for a
    // program at programPath; they differ after the program moved.
    virtual QString command() const = 0;
    virtual QString commandFor(const QString& programPath) const = 0;
    // Writes our claim and our start command. False (with a warning logged) on failure.
    virtual bool write(const QString& programPath) = 0;
    // Deletes our own entries; true when anything was deleted.
    virtual bool remove() = 0;
    // Tells the desktop that associations changed.
    virtual void notify() = 0;
};

enum class AssociationAction { None, Registered, Rewritten, Removed };

// Brings the association in line with the option: on registers ".kvr" unless some program
// already claims it (rewriting our own claim when it names another program path); off
// removes our own entries. The desktop is told once when anything changed.
AssociationAction applyFileAssociation(FileAssociation& store, bool on, const QString& programPath);

class XdgFileAssociation : public FileAssociation {
public:
    // dataHome empty: $XDG_DATA_HOME, else ~/.local/share, taken when used. dataDirs are the
    // system folders searched for other programs' claims ($XDG_DATA_DIRS when empty).
    explicit XdgFileAssociation(const QString& dataHome = QString(),
                                const QStringList& dataDirs = QStringList());

    QString owner() const override;
    QString command() const override;
    QString commandFor(const QString& programPath) const override;
    bool write(const QString& programPath) override;
    bool remove() override;
    void notify() override;

    // Replaces the default notification (update-mime-database and update-desktop-database,
    // started in the background when installed).
    void setNotifier(std::function<void()> notifier) { notifier_ = std::move(notifier); }

    QString dataHome() const;
    QString packagePath() const; // <dataHome>/mime/packages/VELRODI.INV.file.xml
    QString desktopPath() const; // <dataHome>/applications/VELRODI.INV.file.desktop

    // The Exec value of a desktop entry starting programPath with one file: the path quoted
    // and escaped as the desktop entry format requires, then " %f".
    static QString execLine(const QString& programPath);

private:
    QStringList packageFolders() const;
    QString dataHome_;
    QStringList dataDirs_;
    std::function<void()> notifier_;
};

// The rule for the running program: the user's XDG folders and the program's own path.
// Failures are logged, never shown.
AssociationAction applyFileAssociation(bool on);
