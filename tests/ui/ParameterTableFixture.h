#pragma once
// A program folder with the shipped data, the English language file and the drive type
// HXA1 (V110), capacity -2004, loaded by the program's own loaders into a store; a fake main
// window that records what the table asks of it and carries menu items and tool buttons
// bound to the table's command states as the real one binds them.
#include "core/DriveData.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "link/CoreNotices.h"
#include "support/ScriptedPrompter.h"
#include "support/TempProgramFolder.h"
#include "support/TestPaths.h"
#include "support/TestProgram.h"
#include "ui/ParameterTableWindow.h"

#include <QAction>
#include <QFile>
#include <gtest/gtest.h>

#include <map>
#include <memory>

class FakeTableHost : public TableWindowHost {
public:
    explicit FakeTableHost(const ProgramContext& context) : context_(context) {
        using C = TableCommand;
        for (int i = 0; i < kTableCommandCount; ++i) {
            const auto c = C(i);
            auto* item = new QAction(&owner);
            item->setCheckable(true);
            mirror[c] = item;
            commands.bindMirrorItem(c, item);
            if (TableCommands::hasToolButton(c)) {
                auto* b = new QAction(&owner);
                b->setCheckable(c == C::CVDisp || c == C::Quick);
                button[c] = b;
                commands.bindToolButton(c, b);
            }
        }
        commands.bindMirrorSeparator(mirrorSeparator);
        commands.bindOpener(tableItem);
        commands.bindOpener(tableButton);
        commands.bindSeparatorOf(TableCommand::Quick, quickSeparator);
    }

    TableCommands& tableCommands() override { return commands; }
    QRect mainFrameGeometry() const override { return frame; }
    void setParaTableAct(bool on) override { paraTableAct = on; }
    void UpdateCurrentVoltageCommands() override {
        ++cvUpdates;
        commands.setEnabled(TableCommand::CVDisp, !context_.ListBuff.isEmpty());
    }
    void CheckSpSetup() override { ++spChecks; }

    QObject owner;
    TableCommands commands;
    std::map<TableCommand, QAction*> mirror, button;
    QAction* mirrorSeparator = new QAction(&owner);
    QAction* tableItem = new QAction(&owner);
    QAction* tableButton = new QAction(&owner);
    QAction* quickSeparator = new QAction(&owner);
    QRect frame{0, 0, 639, 51};
    bool paraTableAct = false;
    int cvUpdates = 0;
    int spChecks = 0;

private:
    const ProgramContext& context_;
};

class ParaTableFixture : public ::testing::Test {
protected:
    // Only what the table reads is copied: the language files and one drive type.
    static void SetUpTestSuite() {
        folder = new TempProgramFolder;
        const QString data = shippedDataDir();
        for (const char* f : {"lng/English.ini", "dat/Inverter.ini", "dat/HXA1(V110)/Info.ini",
                              "dat/HXA1(V110)/HXA1(Eng).inv", "dat/HXA1(V110)/HXA1-2004.cap"}) {
            QFile source(data + '/' + f);
            ASSERT_TRUE(source.open(QIODevice::ReadOnly)) << f;
            folder->writeFile(f, source.readAll());
        }
    }
    static void TearDownTestSuite() {
        delete folder;
        folder = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(folder && folder->isValid());
        ProgramContext& g = context;
        g.ProgramFolder = folder->path();
        g.LanguageFolder = folder->filePath("lng");
        g.LanguageIniPath = folder->filePath("lng/English.ini");
        g.LanguageName = "English";
        g.LanguageSuffix = "Eng";
        g.TypeFolder = g.CapacityFolder = folder->filePath("dat/HXA1(V110)");
        g.InfoIniPath = g.TypeFolder + "/Info.ini";
        g.CatalogueIniPath = folder->filePath("dat/Inverter.ini");
        g.DriveTypeName = "HXA1";
        g.DriveFormName = "-2004";
        g.DriveCpuVersion = "V110";
        PrompterAsker asker;
        store->FormCreate(g, asker);
        ASSERT_TRUE(LoadTypeTable(g, asker));
        ASSERT_TRUE(LoadCapacityTable(g, asker));
        ASSERT_TRUE(InitValueTable(g, asker));
        g.RowsInUse = g.ParaCountNormal;
        g.QuickCount = 10;
        ASSERT_TRUE(prompter.texts().isEmpty());
    }

    void TearDown() override { table.reset(); }

    // The drive link the table's selected transfers use (none by default).
    virtual CommLink* tableLink() { return nullptr; }

    // The window, created and filled as the start-up does.
    ParameterTableWindow& createTable() {
        table = std::make_unique<ParameterTableWindow>(context, options, tableLink(), host);
        table->FormCreate();
        return *table;
    }

    int index(const QString& comNo) const { return store->indexOfComNo(comNo); }
    QString work(const QString& comNo, int col) const { return store->UPara.cell(col, index(comNo) + 1); }
    void setWork(const QString& comNo, int col, const QString& v) {
        store->UPara.setCell(col, index(comNo) + 1, v);
    }
    void setPara(const QString& comNo, int col, const QString& v) {
        store->ParaDat.setCell(col, index(comNo) + 1, v);
    }
    // The grid row showing a number, -1 when it is not shown.
    int rowOf(const QString& comNo) const {
        const TextGrid& g = table->cells();
        for (int r = 1; r < g.rowCount(); ++r)
            if (g.cell(TC_ComNo, r) == comNo)
                return r;
        return -1;
    }
    QString cell(int col, const QString& comNo) const { return table->cells().cell(col, rowOf(comNo)); }
    int rows() const { return table->cells().rowCount(); }

    static inline TempProgramFolder* folder = nullptr;
    ScriptedPrompter prompter;
    TestProgram program;
    ProgramContext& context = program.context;
    Options& options = program.options;
    ParameterStore* const store = &program.store;
    FakeTableHost host{context};
    std::unique_ptr<ParameterTableWindow> table;
};
