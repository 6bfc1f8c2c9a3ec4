#pragma once
// The main window as the file commands see it: it records what they ask of it.
#include "core/FileCommands.h"
#include "core/ProgramContext.h"

#include <QStringList>
#include <functional>

class FakeMain : public FileCommandHost {
public:
    explicit FakeMain(const ProgramContext& context) : context_(context) {}
    bool saveEnabled() const override { return save; }
    void setSaveEnabled(bool on) override { save = on; }
    void setCaption(const QString& c) override { caption = c; }
    QString commentText() const override { return comment; }
    void setCommentText(const QString& t) override { comment = t; }
    bool acceptUnwritableCharacters(const QString& c) override {
        events << "unwritable " + c;
        return acceptUnwritable;
    }
    bool blindViewOn() const override { return context_.tableView.blindOn; }
    void refreshTable() override { events << "refresh"; }
    void focusTableGrid() override { events << "focus"; }
    QList<QStringList> tableRows() const override { return rows; }
    void clearPortMessageShown() override { events << "port"; }
    void runStartupForm() override {
        events << "startup";
        if (startup)
            startup();
    }
    void reloadCommSettings() override { events << "comms"; }
    void rearmSpecialSetupWarning() override { events << "drvchk"; }
    void rebuildMonitor() override { events << "monitor"; }
    void showTable() override { events << "table"; }
    void applyDriveTypeCommands() override { events << "quick"; }
    void quitApplication() override { events << "quit"; }
    DriveFileDialog missingFileDialog() const override { return chooser; }

    bool save = false;
    QString caption = "KVR260X QX100-4037 (CPU Ver.V110)";
    QString comment;
    bool acceptUnwritable = true;
    QStringList events;
    QList<QStringList> rows{{"Title", "No.", "Name", "Value", "Low", "High", "Unit", "Change"}};
    std::function<void()> startup;
    DriveFileDialog chooser;

private:
    const ProgramContext& context_;
};
