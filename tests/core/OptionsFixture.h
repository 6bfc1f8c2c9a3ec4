#pragma once
// A program folder with a settings file, a drive type's Info.ini and a data store holding
// the parameters a test names, for the options and their window.
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "support/ScriptedPrompter.h"

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
        resetGlobals();
        ProgramContext& g = globals();
        g.ProgramFolder = dir.path();
        g.SettingsIniPath = dir.filePath("KVR260X.ini");
        g.InfoIniPath = dir.filePath("Info.ini");
        g.DriveTypeName = "HX100";
        g.LanguageSuffix = "Eng";
        store = std::make_unique<ParameterStore>();
        for (int i = 0; i < 70; ++i)
            store->Messages << QString("m%1").arg(i);
        g.Parameters = store.get();
        g.MsgCaption = "m0";
        setParameters({"FC90", "FC91", "FA10", "FA11"});
        writeInfo("[HX100 Alarm (Eng)]\nA0=Overcurrent\n[HX100 Trip (Eng)]\n1=OC\n");
        opt = std::make_unique<Options>(globals());
        opt->setAssociationHandler([this](bool on) { events << (on ? "register" : "remove"); });
    }
    void TearDown() override {
        opt.reset();
        globals().Parameters = nullptr;
        if (savedXdg.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", savedXdg);
    }

    // The drive type's parameters, by communication number.
    void setParameters(const QStringList& comNos) {
        for (int i = 0; i < comNos.size(); ++i)
            store->ParaDat.setCell(PD_ComNo, i + 1, comNos[i]);
        globals().ParaCountAll = static_cast<int>(comNos.size()) - 1;
        globals().ParaCountNormal = globals().ParaCountAll;
        store->rebuildComNoIndex(globals().ParaCountAll);
    }
    static void writeFile(const QString& path, const QByteArray& text) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    static QByteArray readFile(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeInfo(const QByteArray& text) { writeFile(globals().InfoIniPath, text); }
    void writeSettings(const QByteArray& text) { writeFile(globals().SettingsIniPath, text); }
    QByteArray settings() const { return readFile(globals().SettingsIniPath); }

    QTemporaryDir dir;
    QByteArray savedXdg;
    std::unique_ptr<ParameterStore> store;
    std::unique_ptr<Options> opt;
    ScriptedPrompter prompter;
    QStringList events;
};
