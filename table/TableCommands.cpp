#include "table/TableCommands.h"

#include <QAction>
#include <QSignalBlocker>

TableCommands::TableCommands() {
    // As the window is designed: nothing to undo yet, All Parameters only in the Blind view.
    s(TableCommand::Undo).enabled = false;
    s(TableCommand::Disp).enabled = false;
}

TableCommands::~TableCommands() = default;

void TableCommands::setEnabled(TableCommand c, bool on) {
    if (s(c).enabled == on)
        return;
    s(c).enabled = on;
    applyAll();
}

void TableCommands::setChecked(TableCommand c, bool on) {
    if (s(c).checked == on)
        return;
    s(c).checked = on;
    applyAll();
}

void TableCommands::setVisible(TableCommand c, bool on) {
    if (s(c).visible == on)
        return;
    s(c).visible = on;
    applyAll();
}

void TableCommands::setAvailable(TableCommand c, bool on) {
    if (s(c).available == on)
        return;
    s(c).available = on;
    applyAll();
}

void TableCommands::setTableShown(bool on) {
    if (tableShown_ == on)
        return;
    tableShown_ = on;
    applyAll();
}

void TableCommands::setPopupMenuEnabled(bool on) {
    if (popupMenuEnabled_ == on)
        return;
    popupMenuEnabled_ = on;
    applyAll();
}

bool TableCommands::hiddenInPopup(TableCommand c) {
    switch (c) {
    case TableCommand::Undo:
    case TableCommand::Redo:
    case TableCommand::DownLoad:
    case TableCommand::UpLoad:
    case TableCommand::Def:
    case TableCommand::Find:
        return true;
    default:
        return false;
    }
}

bool TableCommands::hasToolButton(TableCommand c) {
    switch (c) {
    case TableCommand::Undo:
    case TableCommand::Redo:
    case TableCommand::DownLoad:
    case TableCommand::UpLoad:
    case TableCommand::CVDisp:
    case TableCommand::Quick:
    case TableCommand::Find:
        return true;
    default:
        return false;
    }
}

bool TableCommands::popupItemVisible(TableCommand c) const {
    return s(c).visible && !hiddenInPopup(c);
}

bool TableCommands::popupItemEnabled(TableCommand c) const {
    return s(c).available && s(c).enabled;
}

bool TableCommands::mirrorItemVisible(TableCommand c) const {
    if (c == TableCommand::Quick)
        return s(c).visible;
    return tableShown_ && s(c).visible;
}

bool TableCommands::mirrorItemEnabled(TableCommand c) const {
    return s(c).available && s(c).enabled;
}

bool TableCommands::toolButtonVisible(TableCommand c) const {
    return hasToolButton(c) && (c != TableCommand::Quick || s(c).visible);
}

bool TableCommands::toolButtonEnabled(TableCommand c) const {
    if (!hasToolButton(c) || !s(c).available || !s(c).enabled)
        return false;
    return c == TableCommand::Quick || tableShown_;
}

void TableCommands::bindPopupItem(TableCommand c, QAction* item) {
    bind(Kind::Popup, c, item);
}
void TableCommands::bindMirrorItem(TableCommand c, QAction* item) {
    bind(Kind::Mirror, c, item);
}
void TableCommands::bindToolButton(TableCommand c, QAction* button) {
    bind(Kind::Button, c, button);
}
void TableCommands::bindMirrorSeparator(QAction* separator) {
    bind(Kind::MirrorSeparator, TableCommand::Undo, separator);
}
void TableCommands::bindSeparatorOf(TableCommand c, QAction* separator) {
    bind(Kind::SeparatorOf, c, separator);
}
void TableCommands::bindOpener(QAction* item) {
    bind(Kind::Opener, TableCommand::Undo, item);
}

void TableCommands::bind(Kind kind, TableCommand c, QAction* a) {
    if (!a)
        return;
    Binding b{kind, c, a};
    const bool stateful = kind == Kind::Popup || kind == Kind::Mirror || kind == Kind::Button;
    if (stateful) {
        // Qt flips a checkable item before its handler runs; the item shows the state, so
        // the flip is undone and the handler decides.
        connect(a, &QAction::toggled, this, [this, a, c](bool on) {
            if (on != s(c).checked) {
                const QSignalBlocker block(a);
                a->setChecked(s(c).checked);
            }
        });
    }
    bindings_.append(b);
    apply(b);
}

void TableCommands::apply(const Binding& b) const {
    QAction* a = b.action.data();
    if (!a)
        return;
    const TableCommand c = b.command;
    const QSignalBlocker block(a);
    switch (b.kind) {
    case Kind::Popup:
        a->setVisible(popupItemVisible(c));
        a->setEnabled(popupItemEnabled(c));
        a->setChecked(s(c).checked);
        break;
    case Kind::Mirror:
        a->setVisible(mirrorItemVisible(c));
        a->setEnabled(mirrorItemEnabled(c));
        a->setChecked(s(c).checked);
        break;
    case Kind::Button:
        a->setVisible(toolButtonVisible(c));
        a->setEnabled(toolButtonEnabled(c));
        a->setChecked(s(c).checked);
        break;
    case Kind::MirrorSeparator:
        a->setVisible(tableShown_);
        break;
    case Kind::SeparatorOf:
        a->setVisible(s(c).visible);
        break;
    case Kind::Opener:
        a->setEnabled(!tableShown_);
        break;
    }
}

void TableCommands::applyAll() {
    bindings_.removeIf([](const Binding& b) { return b.action.isNull(); });
    for (const Binding& b : std::as_const(bindings_))
        apply(b);
    emit changed();
}
