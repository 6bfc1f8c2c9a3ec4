#pragma once
// The working cells and definitions as the table's own code reads and writes them: parameter
// `index` is working row index + 1. With no drive type loaded, or for a negative index (a number
// the drive type lacks), a read gives "" (or an empty definition) and a write does nothing: row 0
// holds the column names.
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"

#include <QLatin1String>
#include <QString>

namespace StoreCells {

inline const QLatin1String kOne("1");
inline const QLatin1String kZero("0");
// The changed column of an unchanged parameter.
inline const QString kNoMark = QStringLiteral("      ");

inline ParameterStore* store(const ProgramContext& context) {
    return context.store;
}

// The definition of parameter `index`; an empty one for an index the drive type lacks.
inline const ParameterDefinition& definition(const ProgramContext& context, int index) {
    return context.drive.definition(index);
}

inline const QString& work(const ProgramContext& context, int col, int index) {
    static const QString empty;
    const ParameterStore* p = store(context);
    return p && index >= 0 ? p->UPara.cell(col, index + 1) : empty;
}

inline void setWork(const ProgramContext& context, int col, int index, const QString& text) {
    if (ParameterStore* p = store(context); p && index >= 0)
        p->UPara.setCell(col, index + 1, text);
}

} // namespace StoreCells
