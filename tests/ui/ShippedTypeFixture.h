#pragma once
// Every shipped drive type and capacity, and the generated 2,000-parameter type beside them,
// loaded into a store by the program's own loaders as File > New loads them; the table's
// fake main window of ParameterTableFixture.h.
#include "core/StoreCells.h"
#include "ui/ParameterTableFixture.h"

#include "support/DriveTypeGenerator.h"
#include "support/InstalledAsker.h"

#include <QCoreApplication>
#include <QDir>

struct DriveTypeChoice {
    QString type, cpu, form;
    std::string name() const { return (type + "(" + cpu + ")" + form).toStdString(); }
};

// Loads a drive type of the program folder into a new store, in English, as File > New does;
// false when a loader refused it.
inline bool loadDriveType(const TempProgramFolder& folder, const DriveTypeChoice& t,
                          std::unique_ptr<ParameterStore>& store, ProgramContext& context) {
    context = ProgramContext();
    store.reset();
    context.paths.programFolder = folder.path();
    context.language.folder = folder.filePath("lng");
    context.language.iniPath = folder.filePath("lng/English.ini");
    context.language.name = "English";
    context.language.suffix = "Eng";
    context.drive.files.typeFolder = context.drive.files.capacityFolder =
        folder.filePath("dat/" + t.type + "(" + t.cpu + ")");
    context.drive.files.infoIniPath = context.drive.files.typeFolder + "/Info.ini";
    context.paths.catalogueIni = folder.filePath("dat/Inverter.ini");
    context.drive.identity.typeName = t.type;
    context.drive.identity.formName = t.form;
    context.drive.identity.cpuVersion = t.cpu;
    store = std::make_unique<ParameterStore>();
    context.store = store.get();
    Asker& asker = installedAsker();
    store->loadLanguageTexts(context, asker);
    if (!LoadTypeTable(context, asker) || !LoadCapacityTable(context, asker) ||
        !InitValueTable(context, asker))
        return false;
    context.tableView.lastIndex = context.drive.normalLastIndex;
    return true;
}

class ShippedTypeFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new TempProgramFolder(true);
        DriveTypeGenerator::Result big;
        ASSERT_TRUE(DriveTypeGenerator::write(folder->path(), {}, &big));
        bigType = {QStringLiteral("HXZ9"), QStringLiteral("V100"), QStringLiteral("-4037")};
    }
    static void TearDownTestSuite() {
        delete folder;
        folder = nullptr;
    }

    void TearDown() override {
        table.reset();
        context.store = nullptr;
        store.reset();
    }

    // Every capacity of every shipped type folder, in name order.
    static std::vector<DriveTypeChoice> shippedTypes() {
        std::vector<DriveTypeChoice> out;
        const QDir dat(shippedDataDir() + "/dat");
        for (const QString& sub : dat.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            const qsizetype open = sub.indexOf('(');
            if (open < 0 || !sub.endsWith(')'))
                continue;
            const QString type = sub.left(open), cpu = sub.mid(open + 1, sub.size() - open - 2);
            for (const QString& cap :
                 QDir(dat.filePath(sub)).entryList({type + "-*.cap"}, QDir::Files, QDir::Name))
                out.push_back({type, cpu, cap.mid(type.size(), cap.size() - type.size() - 4)});
        }
        return out;
    }

    // The type as File > New loads it, in English; false when a loader refused it.
    bool load(const DriveTypeChoice& t) {
        table.reset();
        return loadDriveType(*folder, t, store, context);
    }

    // The table window as the start-up makes it, shown.
    ParameterTableWindow& showTable() {
        table = std::make_unique<ParameterTableWindow>(context, options, tableLink(), host);
        table->placeAndFill();
        table->Show();
        QCoreApplication::processEvents();
        return *table;
    }

    int index(const QString& comNo) const { return context.drive.indexOfComNo(comNo); }
    QString work(const QString& comNo, int col) const { return StoreCells::work(context, col, index(comNo)); }

    static inline TempProgramFolder* folder = nullptr;
    static inline DriveTypeChoice bigType;
    // The drive link the table uses (none by default).
    virtual CommLink* tableLink() { return nullptr; }

    ScriptedPrompter prompter;
    ProgramContext context;
    Options options{context};
    std::unique_ptr<ParameterStore> store;
    FakeTableHost host{context};
    std::unique_ptr<ParameterTableWindow> table;
};
