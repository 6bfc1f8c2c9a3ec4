#pragma once
// A program folder with the shipped data, a program context and options of the test's own
// for a main window made without the start-up, the scripted prompter and the user's folders
// (association, lock) redirected into the test's own folder.
#include "core/Options.h"
#include "core/ProgramContext.h"
#include "core/ProgramFolder.h"
#include "platform/IniFile.h"
#include "platform/TextFile.h"
#include "shell/MainWindow.h"
#include "shell/StartUp.h"
#include "support/ScriptedPrompter.h"
#include "support/TempProgramFolder.h"
#include "support/TestPaths.h"
#include "support/TestProgram.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class StartUpTestBase : public ::testing::Test {
protected:
    StartUpTestBase() {
        copyProgramFiles();
        for (const char* name : {"XDG_DATA_HOME", "XDG_RUNTIME_DIR"}) {
            saved.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
            qputenv(name, home.filePath(QString::fromLatin1(name)).toUtf8());
        }
        QDir().mkpath(home.filePath(QStringLiteral("XDG_RUNTIME_DIR")));
        context.store = nullptr; // a main window makes its own store
        ProgramFolder::setProgramFolder(context, folder.path());
    }
    ~StartUpTestBase() override {
        QApplication::closeAllWindows();
        QCoreApplication::processEvents();
        TextFile::setLegacyCodePage(QStringLiteral("CP1252"));
        for (const auto& s : saved) {
            if (s.wasSet)
                qputenv(s.name, s.value);
            else
                qunsetenv(s.name);
        }
    }

    // What the start-up form hands back for a choice, as its close does.
    void choose(const QString& type, const QString& cpu, const QString& form,
                const QString& language = QStringLiteral("English")) {
        choose(context, type, cpu, form, language);
    }
    // The same for a program of its own (a StartUp::Program's context).
    static void choose(ProgramContext& context, const QString& type, const QString& cpu, const QString& form,
                       const QString& language = QStringLiteral("English")) {
        context.language.name = language;
        context.language.suffix = language.left(3);
        context.language.iniPath = context.language.folder + "/" + language + ".ini";
        context.drive.identity.typeName = type;
        context.drive.identity.formName = form;
        context.drive.identity.cpuVersion = cpu;
        context.drive.files.typeFolder = context.paths.programFolder + "/dat/" + type + "(" + cpu + ")";
        context.drive.files.capacityFolder = context.drive.files.typeFolder;
        context.drive.files.infoIniPath = context.drive.files.typeFolder + "/Info.ini";
    }

    // The shipped files a start needs: languages, catalogue, help, and one drive type
    // without its parameter help pages (the other types' folders only exist).
    void copyProgramFiles() {
        const QString data = shippedDataDir();
        folder.copyTree(data + QStringLiteral("/lng"), QStringLiteral("lng"));
        folder.copyTree(data + QStringLiteral("/KVR260X(Eng).chm"), QStringLiteral("KVR260X(Eng).chm"));
        QDir().mkpath(folder.filePath(QStringLiteral("dat")));
        QFile::copy(data + QStringLiteral("/dat/Inverter.ini"),
                    folder.filePath(QStringLiteral("dat/Inverter.ini")));
        const QDir shipped(data + QStringLiteral("/dat"));
        for (const QString& type : shipped.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QDir().mkpath(folder.filePath("dat/" + type));
            if (type != QLatin1String("HXA1(V110)"))
                continue;
            const QDir from(shipped.filePath(type));
            for (const QFileInfo& f : from.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
                const QString to = folder.filePath("dat/" + type + "/" + f.fileName());
                if (f.isDir())
                    QDir().mkpath(to);
                else
                    QFile::copy(f.filePath(), to);
                QFile::setPermissions(to, QFile::permissions(to) | QFile::WriteOwner);
            }
        }
    }

    QString settingsText() const {
        QString text;
        TextFile::readText(folder.settingsIniPath(), text);
        return text;
    }

    QTemporaryDir home;
    TempProgramFolder folder;
    ScriptedPrompter prompter;
    TestProgram run;
    ProgramContext& context = run.context;
    Options& options = run.options;

private:
    struct Saved {
        const char* name;
        QByteArray value;
        bool wasSet;
    };
    std::vector<Saved> saved;
};
