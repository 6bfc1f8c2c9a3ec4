#pragma once
// File > Open, Save, Save As and New without the main window: the commands' logic and the
// state they keep (dialog filters, the save dialog's last name and folder, the records of
// the last configuration file, the comment pending from a start-up file). The main window
// gives what they need of it through FileCommandHost.
#include "core/CfgFile.h"
#include "core/DriveData.h"
#include "platform/TextFile.h"

#include <QList>
#include <QString>
#include <QStringList>

class Options;
struct ProgramContext;

// What the file commands use of the main window and the windows it reaches.
class FileCommandHost {
public:
    virtual ~FileCommandHost() = default;

    // Enabled states of the menu items; a tool button or shortcut acts only while its item is.
    virtual bool openEnabled() const { return true; }
    virtual bool saveAsEnabled() const { return true; }
    virtual bool newEnabled() const { return true; }
    // File > Save: the menu item ParaSaveOverWrite and the tool button ToolBsav together.
    virtual bool saveEnabled() const = 0;
    virtual void setSaveEnabled(bool on) = 0;
    virtual void setCaption(const QString& caption) = 0;
    // The page set-up's comment box, which the writer saves as the file's comment.
    virtual QString commentText() const = 0;
    virtual void setCommentText(const QString& text) = 0;
    // Before a file is written whose text holds characters its code page lacks: the user
    // is told which and that each is written as "?"; true writes the file.
    virtual bool acceptUnwritableCharacters(const QString& characters) = 0;
    // The Blind view is on (the table's Blind command is checked).
    virtual bool blindViewOn() const = 0;
    // The table rebuilds itself from the store.
    virtual void refreshTable() = 0;
    // The table's grid takes the focus when its window is open and it can.
    virtual void focusTableGrid() {}
    // The rows of the table's grid as shown, titles first, eight cells each.
    virtual QList<QStringList> tableRows() const = 0;

    // ---- New ----------------------------------------------------------------------------
    // The next failure to open the serial port is reported again.
    virtual void clearPortMessageShown() {}
    // Runs the start-up form modally with its language box disabled; it hands back the
    // drive identity through the program context and sets startupAborted when it finds nothing.
    virtual void runStartupForm() = 0;
    // Title and filter of the chooser for a missing drive-type or capacity file.
    virtual DriveFileDialog missingFileDialog() const { return {}; }
    // The communication settings are read again from the settings file.
    virtual void reloadCommSettings() {}
    // The special-setup warning may be shown once more (DrvChkAct set, DrvChkd cleared).
    virtual void rearmSpecialSetupWarning() {}
    // The monitor rebuilds its item lists from the new Info.ini and restores its set-up.
    virtual void rebuildMonitor() {}
    // The table window is shown (when its tool button is enabled) and its grid focused.
    virtual void showTable() {}
    // Quick commands and the parameter-help file follow the new drive type.
    virtual void applyDriveTypeCommands() {}
    // Ends the program (from inside the running event loop).
    virtual void quitApplication() = 0;
};

class FileCommands {
public:
    // The asker shows the commands' dialogs and boxes and answers their questions.
    FileCommands(ProgramContext& context, Options& options, FileCommandHost& host, Asker& asker);

    // File > Open, Save, Save As and New.
    void openParameterFile();
    void saveParameterFile();
    void saveParameterFileAs();
    void newParameterSet();

    // The dialog filters of the drive type ("MLD_flt" of its Info.ini offers the
    // configuration file) in the texts of the language file.
    void updateFilters();
    const QString& openFilter() const { return openFilter_; }
    const QString& saveFilter() const { return saveFilter_; }

    // Records of the last configuration file read (emptied by every Open).
    QStringList CFG_CNum;
    QStringList CFG_Val;
    // A comment from a file given at start-up waits for the page set-up.
    bool CommentsChk = false;
    QString CommentsBuff;
    bool startCommentWaiting() const { return CommentsChk; }
    // The waiting comment, handed over once.
    QString handOverStartComment() {
        CommentsChk = false;
        return CommentsBuff;
    }
    // The comment line of the file the program was started with: pending for the page
    // set-up as before, and put into its comment box at once, so that a save before the
    // page set-up is shown keeps it. lineBytes: the line as the file holds it in the code page.
    void takeStartFileComment(const QString& commentLine, const QByteArray& lineBytes = {});
    // The comment of a file read and the bytes of its line (none when read as UTF-8): saved
    // as those bytes while the comment box holds that comment.
    void keepComment(const QString& comment, const QByteArray& lineBytes);

    // How the configuration reader names a file's drive type and capacity.
    void setCfgNames(const CfgFile::Names& names) { cfgNames_ = names; }

    // The end of a successful read (File > Open or a file dropped on the table): the file
    // becomes the opened file, so that Save writes it where it lies.
    void finishOpen(const QString& folder, const QString& name, const QString& identity);

private:
    // The end of a save in the own or the configuration format.
    void finishSave(const QString& folder);
    bool write(const QString& ext, const QString& path, bool withCsv);
    void quitAfterNew();
    // Marks the values read outside their limits and shows the box listing them.
    void reportOutOfLimits(const QList<int>& taken);

    ProgramContext& context_;
    Options& options_;
    FileCommandHost& host_;
    Asker& asker_;
    CfgFile::Names cfgNames_;
    QString openFilter_;
    QString saveFilter_;
    QString saveDialogName_;   // the save dialog keeps its last file name
    QString saveDialogFolder_; // the folder Save As last gave it ("" = the platform's default)
    TextFile::KeptText readComment_;
};
