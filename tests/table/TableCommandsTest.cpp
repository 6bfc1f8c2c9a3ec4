// One state per table command drives the pop-up item, the main menu's twin and the tool
// button together.
#include "table/TableCommands.h"

#include <QAction>
#include <gtest/gtest.h>

#include <memory>

using C = TableCommand;

TEST(TableCommands, OneStateDrivesAllThreeItems) {
    TableCommands c;
    QAction popup, mirror, button;
    for (QAction* a : {&popup, &mirror, &button})
        a->setCheckable(true);
    c.bindPopupItem(C::CVDisp, &popup);
    c.bindMirrorItem(C::CVDisp, &mirror);
    c.bindToolButton(C::CVDisp, &button);
    c.setAvailable(C::CVDisp, true);
    c.setTableShown(true);

    c.setChecked(C::CVDisp, true);
    EXPECT_TRUE(popup.isChecked() && mirror.isChecked() && button.isChecked());
    c.setEnabled(C::CVDisp, false);
    EXPECT_FALSE(popup.isEnabled() || mirror.isEnabled() || button.isEnabled());
    c.setEnabled(C::CVDisp, true);
    EXPECT_TRUE(popup.isEnabled() && mirror.isEnabled() && button.isEnabled());
}

TEST(TableCommands, AClickOnACheckableItemLeavesTheStateToTheHandler) {
    TableCommands c;
    QAction item;
    item.setCheckable(true);
    c.setAvailable(C::Quick, true);
    c.bindMirrorItem(C::Quick, &item);
    bool seen = true;
    QObject::connect(&item, &QAction::triggered, [&](bool on) { seen = on; });
    item.trigger();
    EXPECT_FALSE(item.isChecked());
    EXPECT_FALSE(seen);
    // A handler that switches the view on shows it on every item.
    QObject::connect(&item, &QAction::triggered, [&] { c.setChecked(C::Quick, true); });
    item.trigger();
    EXPECT_TRUE(item.isChecked());
    EXPECT_TRUE(c.checked(C::Quick));
}

TEST(TableCommands, UnavailableCommandsAndHiddenTableDisableWhatTheyShould) {
    TableCommands c;
    QAction popup, mirror, button, opener, sep, quickSep;
    c.bindPopupItem(C::Find, &popup);
    c.bindMirrorItem(C::Find, &mirror);
    c.bindToolButton(C::Find, &button);
    c.bindOpener(&opener);
    c.bindMirrorSeparator(&sep);
    c.bindSeparatorOf(C::Quick, &quickSep);
    // No handler yet: disabled everywhere, enabled state kept for later.
    EXPECT_TRUE(c.enabled(C::Find));
    EXPECT_FALSE(popup.isEnabled() || mirror.isEnabled() || button.isEnabled());
    c.setAvailable(C::Find, true);
    EXPECT_TRUE(c.popupItemEnabled(C::Find) && c.mirrorItemEnabled(C::Find));
    EXPECT_FALSE(popup.isVisible()); // Find is never in the pop-up itself
    EXPECT_FALSE(mirror.isVisible() || sep.isVisible() || button.isEnabled());
    EXPECT_TRUE(opener.isEnabled());
    c.setTableShown(true);
    EXPECT_TRUE(mirror.isVisible() && sep.isVisible() && button.isEnabled());
    EXPECT_FALSE(opener.isEnabled());

    c.setVisible(C::Quick, false);
    EXPECT_FALSE(quickSep.isVisible());
    EXPECT_FALSE(c.toolButtonVisible(C::Quick));
    EXPECT_FALSE(c.mirrorItemVisible(C::Quick));
}

TEST(TableCommands, AnItemDestroyedIsDropped) {
    TableCommands c;
    auto item = std::make_unique<QAction>();
    c.bindMirrorItem(C::Copy, item.get());
    item.reset();
    c.setTableShown(true); // must not touch the destroyed item
    c.setEnabled(C::Copy, false);
    EXPECT_FALSE(c.enabled(C::Copy));
}

TEST(TableCommands, DesignStatesBeforeAnyRefresh) {
    const TableCommands c;
    EXPECT_FALSE(c.enabled(C::Undo));
    EXPECT_FALSE(c.enabled(C::Disp));
    EXPECT_TRUE(c.enabled(C::Redo));
    EXPECT_TRUE(c.popupMenuEnabled());
    EXPECT_FALSE(c.tableShown());
}
