#include "table/FindSearch.h"

#include "core/Messages.h"
#include "core/ProgramContext.h"
#include "link/CoreNotices.h"
#include "table/ParameterTable.h"

namespace {
bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}
} // namespace

qsizetype findInText(const QString& text, const QString& what, qsizetype from, bool matchCase,
                     bool wholeWord) {
    if (what.isEmpty() || from < 0)
        return -1;
    const Qt::CaseSensitivity cs = matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (qsizetype pos = from; pos <= text.size();) {
        const qsizetype p = text.indexOf(what, pos, cs);
        if (p < 0)
            return -1;
        if (!wholeWord)
            return p;
        const qsizetype end = p + what.size();
        const bool startsWord = p == 0 || !isWordChar(text.at(p - 1));
        const bool endsWord = end >= text.size() || !isWordChar(text.at(end));
        if (startsWord && endsWord)
            return p;
        pos = p + 1;
    }
    return -1;
}

// ---- Search -------------------------------------------------------------------------------

FindSearch::FindSearch(ParameterTable& core) : core_(core) {
    core_.commands().setAvailable(TableCommand::Find, true);
}

void FindSearch::start() {
    findPos_ = 0;
    selectionStart = 0;
    selectionLength = 0;
}

int FindSearch::findNext(const QString& what, bool matchCase, bool wholeWord) {
    if (what.isEmpty())
        return -1;
    const QString text = core_.findBuffer().join(QLatin1Char('\n'));
    const qsizetype p = findInText(text, what, findPos_, matchCase, wholeWord);
    // Line k of the buffer is grid row k + 1.
    const int row = p < 0 ? -1 : int(QStringView(text).left(p).count(QLatin1Char('\n'))) + 1;
    if (p < 0 || row >= core_.grid().rowCount()) {
        // The position stays: every further search says the same until the dialog is opened again.
        ShowMsg(core_.asker(), core_.context(), MsgId::SearchTextNotFound, BoxIcon::Stop);
        return -1;
    }
    selectionStart = p;
    selectionLength = what.size();
    findPos_ = int(p + what.size());
    // The typed value belongs to the row being left.
    core_.CancelPendingEntry();
    core_.setCursorRow(row);
    core_.setCurrentCell(TC_Value, row);
    return row;
}
