#pragma once
// The shipped drive type loaded as for the table (support/TableFixture.h); a fake main
// window that records what the table asks of it and carries menu items and tool buttons
// bound to the table's command states as the real one binds them.
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "support/InstalledAsker.h"
#include "support/ScriptedPrompter.h"
#include "support/TableFixture.h"
#include "ui/ParameterTableWindow.h"

#include <QAction>
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
        commands.setEnabled(TableCommand::CVDisp, !context_.drive.currentVoltNumbers.isEmpty());
    }
    void CheckSpSetup() override { ++spChecks; }
    Asker& asker() override { return installedAsker(); }

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

class ParaTableFixture : public ShippedTableFixture {
protected:
    void TearDown() override { table.reset(); }

    // The window, created and filled as the start-up does.
    ParameterTableWindow& createTable() {
        table = std::make_unique<ParameterTableWindow>(context, options, nullptr, host);
        table->placeAndFill();
        return *table;
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

    FakeTableHost host{context};
    std::unique_ptr<ParameterTableWindow> table;
};
