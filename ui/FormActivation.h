#pragma once
#include <QObject>
#include <QWidget>
#include <functional>

// Runs a window's activation handler the way the program's windows expect it: only when
// the active window of this program changes to that window from another of its windows (a
// closed dialog included), not when the user comes back from another program and not after
// a message box or file dialog closes. The handler runs queued after the activation and
// never inside itself (a box it shows re-activates the window when it closes).
class FormActivation {
public:
    // Watches `form` for as long as it exists.
    static void watch(QWidget* form, std::function<void()> handler);
    // The window that last became active among the program's windows (tests).
    static QWidget* lastActiveForm();
    // Told of every such change, whichever window it is, for as long as owner exists.
    static void observe(QObject* owner, std::function<void(QWidget*)> observer);
    // Runs `handler` when another of the program's windows becomes active after `form` was
    // the active one (boxes and file dialogs do not count), for as long as form exists.
    static void watchDeactivation(QWidget* form, std::function<void()> handler);
    // Every activation handler is handed to `defer`, which runs it now or later (the link runs
    // it once the line is free: an activation that comes while the link waits for the drive in
    // the event loop must not talk to the drive under that exchange); for as long as owner
    // exists.
    using Deferral = std::function<void(std::function<void()> handler)>;
    static void deferWith(QObject* owner, Deferral defer);
};
