#pragma once
// The monitor's model over a program folder with the shipped languages and the drive types
// HXA1 (V110) and HXB3 (V250), loaded by the program's own loaders; options of its own; a
// link on the fake port with the simulated drive behind it, each reply taking replyMs on the
// manual clock.
#include "core/DriveData.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "link/CoreNotices.h"
#include "monitor/MonitorModel.h"
#include "platform/IniFile.h"
#include "support/FakeSerialPort.h"
#include "support/InstalledAsker.h"
#include "support/ScriptedPrompter.h"
#include "support/TempProgramFolder.h"
#include "support/TestPaths.h"
#include "tools/drivesim/DriveModel.h"
#include "tools/drivesim/DriveSimulator.h"

#include <QCoreApplication>
#include <QFile>
#include <gtest/gtest.h>

#include <memory>

// An activation of the monitor window, its drive steps over: they run from the event loop on a
// port that can be watched (a pseudo-terminal).
inline void activateAndWait(MonitorModel& model) {
    model.connectAndMeasure();
    while (model.activating())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

class MonitorFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new TempProgramFolder;
        const QString data = shippedDataDir();
        for (const char* f :
             {"lng/English.ini", "lng/Japanese.ini", "dat/Inverter.ini", "dat/HXA1(V110)/Info.ini",
              "dat/HXA1(V110)/HXA1(Eng).inv", "dat/HXA1(V110)/HXA1(Jap).inv", "dat/HXA1(V110)/HXA1-2004.cap",
              "dat/HXA1(V110)/HXA1-4015.cap", "dat/HXB3(V250)/Info.ini", "dat/HXB3(V250)/HXB3(Eng).inv",
              "dat/HXB3(V250)/HXB3-4015.cap"}) {
            QFile source(data + '/' + f);
            ASSERT_TRUE(source.open(QIODevice::ReadOnly)) << f;
            folder->writeFile(QString::fromLatin1(f), source.readAll());
        }
    }
    static void TearDownTestSuite() {
        delete folder;
        folder = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(folder && folder->isValid());
        QFile::remove(settingsPath());
        context.paths.programFolder = folder->path();
        context.language.folder = folder->filePath("lng");
        context.paths.settingsIni = settingsPath();
        context.paths.catalogueIni = folder->filePath("dat/Inverter.ini");
        store = std::make_unique<ParameterStore>();
        context.store = store.get();
        loadDriveType("HXA1", "V110", "-2004");
        ASSERT_TRUE(prompter.texts().isEmpty()) << prompter.texts().join('|').toStdString();

        link.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake-") + name; });
        link.setPortsFound({QStringLiteral("COM1")});
        port.responder = [this](const FakeSerialPort::Bytes& request) {
            std::vector<FakeSerialPort::Chunk> out;
            if (!driveAnswers)
                return out;
            ++requests;
            for (SimReply& r : sim.respondToWrite(request))
                out.push_back({std::move(r.bytes), replyMs});
            return out;
        };
    }

    void TearDown() override {
        model.reset();
        context.store = nullptr;
    }

    static QString settingsPath() { return folder->filePath("KVR260X.ini"); }

    // Loads a drive type into the store as the start-up does; the simulated drive follows it.
    void loadDriveType(const char* type, const char* cpu, const char* form,
                       const char* language = "English") {
        context.language.name = QString::fromLatin1(language);
        context.language.suffix = context.language.name.left(3);
        context.language.iniPath = folder->filePath("lng/" + context.language.name + ".ini");
        context.drive.identity.typeName = QString::fromLatin1(type);
        context.drive.identity.cpuVersion = QString::fromLatin1(cpu);
        context.drive.identity.formName = QString::fromLatin1(form);
        context.drive.files.typeFolder = folder->filePath("dat/" + context.drive.identity.typeName + "(" +
                                                          context.drive.identity.cpuVersion + ")");
        context.drive.files.capacityFolder = context.drive.files.typeFolder;
        context.drive.files.infoIniPath = context.drive.files.typeFolder + "/Info.ini";
        Asker& asker = installedAsker();
        store->loadLanguageTexts(context, asker);
        ASSERT_TRUE(LoadTypeTable(context, asker));
        ASSERT_TRUE(LoadCapacityTable(context, asker));
        ASSERT_TRUE(InitValueTable(context, asker));
        opts.UpdateTripAlarmOptions();
        QString error;
        ASSERT_TRUE(driveModel.load(folder->path(),
                                    {context.drive.identity.typeName, context.drive.identity.cpuVersion,
                                     context.drive.identity.formName},
                                    &error))
            << error.toStdString();
    }

    // A model made as the window's creation makes it: saved set-up erased unless kept, lists
    // built, set-up restored.
    MonitorModel& create() {
        model = std::make_unique<MonitorModel>(context, opts, link);
        model->EraseMonitorSetupUnlessKept();
        if (model->BuildMonitorItemLists())
            model->RestoreMonitorSetup();
        return *model;
    }

    int index(const char* comNo) const { return context.drive.indexOfComNo(QString::fromLatin1(comNo)); }
    QString monitorKey(const QString& key) const {
        return IniFile(settingsPath()).readString(QStringLiteral("Monitor"), key, QStringLiteral("<none>"));
    }
    void writeMonitorKeys(const QList<std::pair<QString, QString>>& keys) {
        IniFile ini(settingsPath());
        for (const auto& [k, v] : keys)
            ini.writeString(QStringLiteral("Monitor"), k, v);
        ini.flush();
    }

    static inline TempProgramFolder* folder = nullptr;
    ScriptedPrompter prompter;
    ProgramContext context;
    std::unique_ptr<ParameterStore> store;
    Options opts{context};
    ManualClock clock;
    FakeSerialPort port{clock};
    CommLink link{context, port, clock, installedAsker()};
    DriveModel driveModel;
    DriveSimulator sim{driveModel, SimConfig{}};
    bool driveAnswers = true;
    qint64 replyMs = 0;
    int requests = 0;
    std::unique_ptr<MonitorModel> model;
};
