#pragma once
// A program of its own for one test: the program context, its data store and the options
// on them, in place of program-wide objects a test would have to reset. The store is
// empty until a test gives it messages or parameters.
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"

#include <QString>
#include <QStringList>

class TestProgram {
public:
    ProgramContext context;
    ParameterStore store;
    Options options{context};

    TestProgram() {
        context.store = &store;
        // A test never changes the desktop's file associations unless it asks to.
        options.setAssociationHandler([](bool) {});
    }
    TestProgram(const TestProgram&) = delete;
    TestProgram& operator=(const TestProgram&) = delete;

    // Message n reads "<prefix>n" for n below count; the caption is message 0.
    void setMessages(const QString& prefix, int count) {
        store.Messages.clear();
        for (int n = 0; n < count; ++n)
            store.Messages << prefix + QString::number(n);
        context.texts.caption = store.Msg(0);
    }

    // A drive type of these numbers, all of them ordinary parameters: the column-name rows,
    // one row per number in both tables (UPara's No column counted from 0), the counts and
    // the look-up index. The other cells are empty; a test fills those it needs.
    void setParameters(const QStringList& comNos) {
        const int n = static_cast<int>(comNos.size());
        store.ParaDat.setRowCount(n + 1);
        store.UPara.setRowCount(n + 1);
        store.ParaDat.setRow(0, paraDatColumnNames());
        store.UPara.setRow(0, uParaColumnNames());
        for (int i = 0; i < n; ++i) {
            store.ParaDat.setCell(PD_ComNo, i + 1, comNos[i]);
            store.UPara.setCell(UP_No, i + 1, QString::number(i));
        }
        context.ParaCountAll = n - 1;
        context.ParaCountNormal = n - 1;
        store.rebuildComNoIndex(n - 1);
    }

    // The cells of parameter `index` (table row index + 1).
    void setPara(int index, int col, const QString& text) { store.ParaDat.setCell(col, index + 1, text); }
    void setWork(int index, int col, const QString& text) { store.UPara.setCell(col, index + 1, text); }
    const QString& para(int index, int col) const { return store.ParaDat.cell(col, index + 1); }
    const QString& work(int index, int col) const { return store.UPara.cell(col, index + 1); }
};
