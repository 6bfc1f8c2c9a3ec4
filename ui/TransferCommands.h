#pragma once
// The main window's five transfer commands: Parameter Import, Parameter Export and
// Parameter Comparison run the transfer engine over the whole table; Selected Parameter
// Import and Export hand the table's selection to the table window. The main window's menu
// items and tool buttons call these handlers; what the commands need of the main window
// comes through TransferHost.
#include "link/DriveChecks.h"
#include "link/LinkView.h"
#include "link/TransferEngine.h"
#include "ui/ResultWindow.h"
#include "ui/TransferWindow.h"

#include <functional>
#include <memory>

class CommLink;
class Options;
struct ProgramContext;
class QDialog;
class QWidget;
class TransferWindow;

class TransferHost {
public:
    virtual ~TransferHost() = default;
    // The command's menu item is enabled (a tool button obeys its menu item).
    virtual bool commandItemEnabled(DriveCommand command) const = 0;
    // The parameter table is the active window (the selected commands act only then).
    virtual bool tableActive() const = 0;
    // The parameter table rebuilds itself from the data store (after import and export).
    virtual void refreshTable() = 0;
    // The table grid takes the focus when the table window is open and the grid can take it.
    virtual void focusTableGrid() = 0;
    // The table's own selected import and export (the latter as its menu item's handler).
    virtual void importSelected() = 0;
    virtual void exportSelected() = 0;
    // The window the transfer and result windows belong to (not their Qt parent).
    virtual QWidget* ownerWindow() = 0;
    // Shows a modal window and returns when it closes. Tests replace it.
    virtual int showModal(QDialog& dialog);
};

// A host made of functions, for wiring the commands to a main window without deriving
// from TransferHost. An empty function does nothing (and an item without one counts as
// enabled).
class TransferHostHooks : public TransferHost {
public:
    std::function<bool(DriveCommand)> itemEnabled;
    std::function<bool()> tableIsActive;
    std::function<void()> refresh, focusGrid, selectedImport, selectedExport;
    std::function<QWidget*()> owner;

    explicit TransferHostHooks(std::function<bool()> tableActive) : tableIsActive(std::move(tableActive)) {}
    bool commandItemEnabled(DriveCommand c) const override { return !itemEnabled || itemEnabled(c); }
    bool tableActive() const override { return tableIsActive(); }
    void refreshTable() override { call(refresh); }
    void focusTableGrid() override { call(focusGrid); }
    void importSelected() override { call(selectedImport); }
    void exportSelected() override { call(selectedExport); }
    QWidget* ownerWindow() override { return owner ? owner() : nullptr; }

private:
    static void call(const std::function<void()>& f) {
        if (f)
            f();
    }
};

class TransferCommands {
public:
    // The checks are the program's one DriveChecks (the main window's activation uses it too);
    // links are the main window's for the transfer and result windows. Nothing is owned.
    TransferCommands(ProgramContext& context, const Options& options, CommLink& link, TransferHost& host,
                     DriveChecks& checks, const MainWindowLinks& links);
    ~TransferCommands();

    void importAll();      // Parameter Import
    void exportAll();      // Parameter Export
    void compareAll();     // Parameter Comparison
    void importSelected(); // Selected Parameter Import
    void exportSelected(); // Selected Parameter Export

    // True while one of the five commands runs (its modal windows included). The main
    // window's activation check must not reconnect in the middle of one.
    static bool running();

    // The transfer window, made once and kept.
    TransferWindow& workBar() { return *workBar_; }
    // The whole-table job of the command in progress (or the last one).
    TransferJob& job() { return job_; }
    // Start was pressed in the transfer window of the command in progress.
    bool transferActive() const;
    const TransferJob& job() const { return job_; }

private:
    void runWholeTable(DriveCommand command);
    void runSelected(DriveCommand command);

    ProgramContext& context_;
    const Options& options_;
    CommLink& link_;
    TransferHost& host_;
    DriveChecks& checks_;
    const MainWindowLinks& links_;
    TransferJob job_;
    std::unique_ptr<TransferWindow> workBar_;
};
