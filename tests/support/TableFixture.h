#pragma once
// The parameter table over the shipped drive type: a program folder with the shipped data,
// the English language file and the drive type HXA1 (V110), capacity -2004, loaded by the
// program's own loaders into a store (ShippedTableFixture), and the table with its value
// entry, undo, view and mark commands and find, without a window, wired as the table window
// wires them (TableFixture).
#include "core/DriveData.h"
#include "core/Messages.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "support/InstalledAsker.h"
#include "support/ScriptedPrompter.h"
#include "support/TempProgramFolder.h"
#include "support/TestPaths.h"
#include "support/TestProgram.h"
#include "table/FindSearch.h"
#include "table/ParameterTable.h"
#include "table/TableCommands.h"
#include "table/UndoRedo.h"
#include "table/ValueEntry.h"
#include "table/ViewCommands.h"

#include <QFile>
#include <gtest/gtest.h>

class ShippedTableFixture : public ::testing::Test {
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
        context.paths.programFolder = folder->path();
        context.language.folder = folder->filePath("lng");
        context.language.iniPath = folder->filePath("lng/English.ini");
        context.language.name = "English";
        context.language.suffix = "Eng";
        context.drive.files.typeFolder = context.drive.files.capacityFolder =
            folder->filePath("dat/HXA1(V110)");
        context.drive.files.infoIniPath = context.drive.files.typeFolder + "/Info.ini";
        context.paths.catalogueIni = folder->filePath("dat/Inverter.ini");
        context.drive.identity.typeName = "HXA1";
        context.drive.identity.formName = "-2004";
        context.drive.identity.cpuVersion = "V110";
        store->loadLanguageTexts(context, prompter);
        ASSERT_TRUE(LoadTypeTable(context, prompter));
        ASSERT_TRUE(LoadCapacityTable(context, prompter));
        ASSERT_TRUE(InitValueTable(context, prompter));
        context.tableView.lastIndex = context.drive.normalLastIndex;
        context.drive.quickCount = 10;
        ASSERT_TRUE(prompter.texts().isEmpty());
    }

    int index(const QString& comNo) const { return context.drive.indexOfComNo(comNo); }
    QString work(const QString& comNo, int col) const { return StoreCells::work(context, col, index(comNo)); }
    void setWork(const QString& comNo, int col, const QString& v) {
        StoreCells::setWork(context, col, index(comNo), v);
    }
    void setPara(const QString& comNo, int col, const QString& v) {
        setDefinitionText(context.drive.parameters[std::size_t(index(comNo))], col, v);
    }

    static inline TempProgramFolder* folder = nullptr;
    ScriptedPrompter prompter;
    TestProgram program;
    ProgramContext& context = program.context;
    Options& options = program.options;
    ParameterStore* const store = &program.store;
};

class TableFixture : public ShippedTableFixture {
protected:
    using Key = ValueEntry::Key;

    TableFixture() {
        QObject::connect(&entry, &ValueEntry::deleteKey, [this] { views.restoreShipmentValues(); });
    }
    void SetUp() override {
        ShippedTableFixture::SetUp();
        options.enterMovesToNextCell.setChecked(true);
        core.conversionBases() = ConversionBases{.volt = 200.0f, .ampere = 5.0f};
        refreshAll();
        core.setCursorRow(1);
    }

    // A new parameter set: the table refilled and the current/voltage command offered where
    // the capacity has bases, as the table window does it.
    void refreshAll() {
        core.refreshAll();
        commands.setEnabled(TableCommand::CVDisp, !context.drive.currentVoltNumbers.isEmpty());
    }
    void type(const QString& text) {
        for (QChar c : text)
            entry.typeCharacter(c);
    }
    void key(Key k) { entry.pressKey(k); }
    void enter() { key(Key::Enter); }
    // The cursor on a parameter's row, as a click on its value cell puts it there.
    void go(const QString& comNo) {
        const int r = rowOf(comNo);
        ASSERT_GE(r, 1) << comNo.toStdString();
        core.setCurrentCell(TC_Value, r);
        entry.cancelForMove();
        ASSERT_EQ(core.cursorRow(), r);
    }
    // Types a value into a parameter's row and commits it.
    void commit(const QString& comNo, const QString& text) {
        go(comNo);
        type(text);
        enter();
    }
    QString value(const QString& comNo) const { return work(comNo, UP_Value); }
    int cursor() const { return core.cursorRow(); }
    // The parameter numbers of the undo steps, oldest first.
    QStringList undoLines() const {
        QStringList numbers;
        for (const UndoStep& step : store->history().undoSteps())
            numbers << step.comNo;
        return numbers;
    }
    // The grid row showing a number, -1 when it is not shown.
    int rowOf(const QString& comNo) const {
        const TextGrid& g = core.grid();
        for (int r = 1; r < g.rowCount(); ++r)
            if (g.cell(TC_ComNo, r) == comNo)
                return r;
        return -1;
    }
    QString cell(int col, const QString& comNo) const { return core.grid().cell(col, rowOf(comNo)); }
    int rows() const { return core.grid().rowCount(); }
    QList<QStringList> gridRows() const {
        QList<QStringList> out;
        for (int r = 0; r < rows(); ++r)
            out.append(core.grid().row(r));
        return out;
    }

    TableCommands commands;
    ParameterTable core{context, options, commands, installedAsker()};
    UndoRedo undoRedo{core};
    ValueEntry entry{core, undoRedo};
    ViewCommands views{core};
    FindSearch find{core};
};
