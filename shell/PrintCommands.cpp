// The main window's printing: the printer check of the first show, Page Setup, Print and
// Printer Setup.
#include "shell/MainWindow.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "link/CoreNotices.h"
#include "platform/Prompter.h"
#include "ui/PageSetupWindow.h"
#include "ui/ParameterPrintWindow.h"

#include <QPrinter>
#include <QPrinterInfo>

namespace {

// The printers the system lists, each name cut before its first ".".
QStringList printerNames() {
    QStringList names;
    for (const QString& n : QPrinterInfo::availablePrinterNames()) {
        const qsizetype dot = n.indexOf(u'.');
        names << (dot >= 0 ? n.left(dot) : n);
    }
    return names;
}

} // namespace

void MainWindow::FillPrinterList() {
    if (!options().checkPrinters.checked())
        return;
    cbPrinter = printerNames();
    noPrinter_ = cbPrinter.isEmpty();
    setPrintCommandsEnabled(!noPrinter_);
    if (monitorHooks.SetPrintEnabled)
        monitorHooks.SetPrintEnabled(!noPrinter_);
}

void MainWindow::setPrintCommandsEnabled(bool on) {
    on = on && !noPrinter_;
    for (MainCommand c : {MainCommand::PageSetup, MainCommand::PrinterSetup, MainCommand::Print}) {
        item(c)->setEnabled(on);
        if (QAction* b = button(c))
            b->setEnabled(on);
    }
}

void MainWindow::pageSetup() {
    if (!pageSetupWindow)
        return;
    pageSetupWindow->exec();
    if (printer)
        printer->setPageOrientation(pageSetupWindow->pageSetup().portrait ? QPageLayout::Portrait
                                                                          : QPageLayout::Landscape);
}

void MainWindow::printParameters() {
    if (printWindow)
        printWindow->showAndPreview();
}

void MainWindow::printerSetup() {
    cbPrinter = printerNames();
    if (cbPrinter.isEmpty() || !printer)
        return;
    if (!printer->isValid()) {
        ShowMsg(context(), MsgId::CannotConnect, BoxIcon::Warning, BoxButtons::Ok, this);
        return;
    }
    Prompter::instance().choosePrinter(*printer, this);
}
