#pragma once
// The working set's cells as text, and the definitions, by parameter index. With no store, or for an
// index outside the set (a number the drive type lacks), a read gives "" (or an empty definition) and a
// write does nothing.
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"

#include <QString>

#include <type_traits>
#include <utility>

namespace StoreCells {

// The changed column of an unchanged parameter.
inline const QString kNoMark = QStringLiteral("      ");

inline ParameterStore* store(const ProgramContext& context) {
    return context.store;
}

// The definition of parameter `index`; an empty one for an index the drive type lacks.
inline const ParameterDefinition& definition(const ProgramContext& context, int index) {
    return context.drive.definition(index);
}

// The working record of parameter `index`; null outside the set or with no store.
inline const WorkingParameter* record(const ProgramContext& context, int index) {
    const ParameterStore* p = store(context);
    return p ? p->working(index) : nullptr;
}

inline WorkingParameter* editRecord(const ProgramContext& context, int index) {
    ParameterStore* p = store(context);
    return p ? p->working(index) : nullptr;
}

// The working record of parameter `index` to read; a clear one outside the set.
inline const WorkingParameter& at(const ProgramContext& context, int index) {
    static const WorkingParameter none;
    const WorkingParameter* w = record(context, index);
    return w ? *w : none;
}

// The value text of parameter `index`; "" outside the set.
inline const QString& value(const ProgramContext& context, int index) {
    static const QString none;
    const WorkingParameter* w = record(context, index);
    return w ? w->value : none;
}

// Sets the value text of parameter `index`; nothing outside the set.
inline void setValue(const ProgramContext& context, int index, const QString& text) {
    if (WorkingParameter* w = editRecord(context, index))
        w->value = text;
}

// Sets one field of parameter `index`, e.g. set(context, i, &WorkingParameter::toWrite, false);
// nothing outside the set.
template <class T>
inline void set(const ProgramContext& context, int index, T WorkingParameter::*field,
                std::type_identity_t<T> to) {
    if (WorkingParameter* w = editRecord(context, index))
        w->*field = std::move(to);
}

inline QString work(const ProgramContext& context, int col, int index) {
    const ParameterStore* p = store(context);
    return p ? p->workingText(col, index) : QString();
}

inline void setWork(const ProgramContext& context, int col, int index, const QString& text) {
    if (ParameterStore* p = store(context))
        p->setWorkingText(col, index, text);
}

} // namespace StoreCells
