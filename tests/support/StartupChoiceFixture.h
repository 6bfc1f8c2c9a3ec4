#pragma once
// A program folder with the shipped languages and drive types (or an empty one) and a
// program context pointing into it, for the start-up form and its rules.
#include "core/ProgramContext.h"
#include "link/StartupChoice.h"
#include "platform/IniFile.h"
#include "support/ScriptedPrompter.h"
#include "support/TempProgramFolder.h"
#include "support/TestPaths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <gtest/gtest.h>

class StartupChoiceFixture : public ::testing::Test {
protected:
    explicit StartupChoiceFixture(bool shipped = true) : shipped_(shipped) {}

    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        if (shipped_) {
            ASSERT_TRUE(copyShippedChoiceData());
        }
        context.paths.programFolder = folder.path();
        context.language.folder = folder.filePath("lng");
        context.paths.settingsIni = folder.settingsIniPath();
        context.paths.catalogueIni = folder.filePath("dat/Inverter.ini");
    }
    // The settings file as the first start leaves it before the form opens.
    void seedLanguages() { writeSettings("[Language]\r\nJapanese=0\r\nEnglish=0\r\n"); }
    void writeSettings(const QByteArray& text) { folder.writeFile("KVR260X.ini", text); }
    QByteArray settingsText() const {
        QFile f(folder.settingsIniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // A stored choice as an earlier close writes it, with the options that keep it.
    void storeChoice(const QByteArray& type, const QByteArray& form, const QByteArray& cpu, int langNo = 1,
                     const QByteArray& extra = QByteArray()) {
        writeSettings(
            "[Language]\r\nJapanese=0\r\nEnglish=0\r\n[Default]\r\nLangNo=" + QByteArray::number(langNo) +
            "\r\nInvTypeNo=0\r\nInvFormNo=0\r\nInvCpuNo=0\r\nInvType=" + type + "\r\nInvForm=" + form +
            "\r\nInvCpu=" + cpu + "\r\n[Options]\r\nCheckLang=1\r\nCheckInv=1\r\n" + extra);
    }
    void makeFolder(const QString& relative) { QDir().mkpath(folder.filePath(relative)); }

    // The part of the shipped data the form reads: languages, catalogue, capacity files and
    // Info.ini (the whole tree is slow to copy for every test).
    bool copyShippedChoiceData() {
        const QDir source(shippedDataDir());
        QDirIterator it(shippedDataDir(), QDir::Files, QDirIterator::Subdirectories);
        bool ok = true;
        while (it.hasNext()) {
            const QString file = it.next();
            const QString relative = source.relativeFilePath(file);
            const bool wanted = relative.startsWith("lng/") ||
                                relative.endsWith(".cap", Qt::CaseInsensitive) ||
                                relative.endsWith(".ini", Qt::CaseInsensitive);
            if (!wanted || relative.contains(".chm/", Qt::CaseInsensitive))
                continue;
            QFile f(file);
            ok = f.open(QIODevice::ReadOnly) && !folder.writeFile(relative, f.readAll()).isEmpty() && ok;
        }
        return ok;
    }

    bool shipped_;
    ProgramContext context;
    ScriptedPrompter prompter;
    TempProgramFolder folder;
    QStringList cpuFormsM{"stale"}, cpuNumbersM{"0"};
    // A start-up whose form hands its CPU versions to the lists above.
    StartupContext startup() {
        return {false, false, [this](const QStringList& names, const QStringList& numbers) {
                    cpuFormsM = names;
                    cpuNumbersM = numbers;
                }};
    }
};

class EmptyProgramFolder : public StartupChoiceFixture {
protected:
    EmptyProgramFolder() : StartupChoiceFixture(false) {}
};
