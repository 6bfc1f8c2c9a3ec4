#pragma once
// A program of its own for one test: the program context, its data store and the options
// on them, in place of program-wide objects a test would have to reset. The store is
// empty until a test gives it messages or parameters.
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"

#include <QString>
#include <QStringList>

// Definitions of these numbers, every other field empty.
inline std::vector<ParameterDefinition> definitionsOf(const QStringList& comNos) {
    std::vector<ParameterDefinition> rows(std::size_t(comNos.size()));
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i].comNo = comNos[qsizetype(i)];
    return rows;
}

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
        QStringList messages;
        for (int n = 0; n < count; ++n)
            messages << prefix + QString::number(n);
        store.setMessages(messages);
        context.texts.caption = store.Msg(0);
    }

    // A drive type of these numbers, all of them ordinary parameters: one definition per number
    // (the other fields empty; a test fills those it needs) and one working record per number.
    void setParameters(const QStringList& comNos) {
        const int n = static_cast<int>(comNos.size());
        store.resizeWorking(n);
        context.drive.setParameters(definitionsOf(comNos), n - 1);
    }

    // The definition of parameter `index`, and the working cells (table row index + 1).
    ParameterDefinition& definition(int index) { return context.drive.parameters[std::size_t(index)]; }
    void setPara(int index, int col, const QString& text) { setDefinitionText(definition(index), col, text); }
    void setWork(int index, int col, const QString& text) { StoreCells::setWork(context, col, index, text); }
    QString work(int index, int col) const { return StoreCells::work(context, col, index); }
};
