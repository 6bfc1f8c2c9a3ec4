#include "core/UndoHistory.h"

#include <algorithm>

namespace {

void keepNewest(QList<UndoStep>& steps, int keep) {
    if (steps.size() > keep)
        steps.remove(0, steps.size() - keep);
}

} // namespace

void UndoHistory::setDepth(int depth) {
    depth_ = std::max(depth, 0);
    trimToDepth();
}

void UndoHistory::push(UndoStep step) {
    undo_.append(std::move(step));
    redo_.clear();
    trimToDepth();
}

void UndoHistory::clear() {
    undo_.clear();
    redo_.clear();
}

std::optional<UndoStep> UndoHistory::takeNewest(QList<UndoStep>& steps) {
    if (steps.isEmpty())
        return std::nullopt;
    return steps.takeLast();
}

void UndoHistory::trimToDepth() {
    keepNewest(undo_, depth_);
    keepNewest(redo_, depth_);
}
