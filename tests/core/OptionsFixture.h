#pragma once
// A program folder with a settings file, a drive type's Info.ini and a data store holding
// the parameters a test names, for the options and their window.
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "support/ScriptedPrompter.h"
#include "support/TestProgram.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

class OptionsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        savedXdg = qgetenv("XDG_DATA_HOME");
        // Nothing here may touch the user's own desktop associations.
        qputenv("XDG_DATA_HOME", dir.filePath("xdg").toUtf8());
        context.paths.programFolder = dir.path();
        context.paths.settingsIni = dir.filePath("KVR260X.ini");
        context.drive.files.infoIniPath = dir.filePath("Info.ini");
        context.drive.identity.typeName = "HX100";
        context.language.suffix = "Eng";
        program.setMessages("m", 70);
        setParameters({"FC90", "FC91", "FA10", "FA11"});
        writeInfo("[HX100 Alarm (Eng)]\nA0=Overcurrent\n[HX100 Trip (Eng)]\n1=OC\n");
        opt = std::make_unique<Options>(context);
        opt->setAssociationHandler([this](bool on) { events << (on ? "register" : "remove"); });
    }
    void TearDown() override {
        opt.reset();
        if (savedXdg.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", savedXdg);
    }

    // The drive type's parameters, by communication number.
    void setParameters(const QStringList& comNos) { program.setParameters(comNos); }
    static void writeFile(const QString& path, const QByteArray& text) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    static QByteArray readFile(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeInfo(const QByteArray& text) { writeFile(context.drive.files.infoIniPath, text); }
    void writeSettings(const QByteArray& text) { writeFile(context.paths.settingsIni, text); }
    QByteArray settings() const { return readFile(context.paths.settingsIni); }

    QTemporaryDir dir;
    QByteArray savedXdg;
    TestProgram program;
    ProgramContext& context = program.context;
    ParameterStore* const store = &program.store;
    // Options of their own, so that a test can make them anew (the program's stay unused).
    std::unique_ptr<Options> opt;
    ScriptedPrompter prompter;
    QStringList events;
};
