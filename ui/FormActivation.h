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
    // How often what is held while the link waits for the drive looks again.
    static constexpr int kHeldRetryMs = 20;
    // Watches `form` for as long as it exists.
    static void watch(QWidget* form, std::function<void()> handler);
    // The window that last became active among the program's windows (tests).
    static QWidget* lastActiveForm();
    // Told of every such change, whichever window it is, for as long as owner exists.
    static void observe(QObject* owner, std::function<void(QWidget*)> observer);
    // Runs `handler` when another of the program's windows becomes active after `form` was
    // the active one (boxes and file dialogs do not count), for as long as form exists.
    static void watchDeactivation(QWidget* form, std::function<void()> handler);
    // While `held` answers true the activation handlers wait, and run once it answers false:
    // for as long as owner exists. An activation that comes while the link waits for the drive
    // in the event loop must not talk to the drive under that exchange.
    static void holdWhile(QObject* owner, std::function<bool()> held);
};
