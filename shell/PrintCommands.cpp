// The main window's printing: the printer check of the first show, Page Setup, Print and
// Printer Setup.
#include "shell/MainWindow.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "platform/Prompter.h"
#include "ui/PageSetupWindow.h"
#include "ui/ParameterPrintWindow.h"
#include "ui/PrompterAsker.h"

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
    installedPrinters_ = printerNames();
    noPrinter_ = installedPrinters_.isEmpty();
    setPrintCommandsEnabled(!noPrinter_);
    if (monitorHooks_.setPrintEnabled)
        monitorHooks_.setPrintEnabled(!noPrinter_);
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
    if (!pageSetupWindow_)
        return;
    pageSetupWindow_->exec();
    if (printer_)
        printer_->setPageOrientation(pageSetupWindow_->pageSetup().portrait ? QPageLayout::Portrait
                                                                            : QPageLayout::Landscape);
}

void MainWindow::printParameters() {
    if (printWindow_)
        printWindow_->showAndPreview();
}

void MainWindow::printerSetup() {
    installedPrinters_ = printerNames();
    if (installedPrinters_.isEmpty() || !printer_)
        return;
    if (!printer_->isValid()) {
        ShowMsg(context(), MsgId::CannotConnect, BoxIcon::Warning, BoxButtons::Ok, this);
        return;
    }
    Prompter::instance().choosePrinter(*printer_, this);
}
