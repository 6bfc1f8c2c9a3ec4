#include "ui/PrintDestination.h"

#include "core/ProgramContext.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"

#include <QPrinter>
#include <QPrinterInfo>

PrintDestination::PrintDestination() = default;
PrintDestination::PrintDestination(PrintDestination&&) noexcept = default;
PrintDestination& PrintDestination::operator=(PrintDestination&&) noexcept = default;
PrintDestination::~PrintDestination() = default;

PrintDestination PrintDestination::choose(QPrinter* printer, const QString& pdf, const QString& title,
                                          const Texts& texts, QWidget* parent) {
    PrintDestination d;
    QString file = pdf;
    // A printer made where none is installed is a PDF printer without a file: that is no
    // destination either.
    const bool toFile =
        printer && printer->outputFormat() == QPrinter::PdfFormat && !printer->outputFileName().isEmpty();
    if (file.isEmpty() && !toFile && QPrinterInfo::availablePrinterNames().isEmpty()) {
        // No printer: say so, and offer a PDF file rather than a print that goes nowhere.
        const BoxAnswer a = Prompter::instance().message(texts.noPrinter, texts.caption, BoxIcon::Warning,
                                                         BoxButtons::YesNo, parent);
        if (a != BoxAnswer::Yes)
            return d;
        file = Prompter::instance().saveFile(title, QString(), QStringLiteral("PDF (*.pdf)|*.pdf"), 1,
                                             title + QStringLiteral(".pdf"), parent);
        if (file.isEmpty())
            return d;
    }
    if (!file.isEmpty() || !printer) {
        d.own_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        if (!file.isEmpty()) {
            d.own_->setOutputFormat(QPrinter::PdfFormat);
            d.own_->setOutputFileName(file);
        }
        printer = d.own_.get();
    }
    d.printer_ = printer;
    return d;
}

PrintDestination::Texts PrintDestination::languageTexts(const ProgramContext& g) {
    Texts t;
    if (!g.LanguageIniPath.isEmpty())
        t.noPrinter = IniFile(Paths::resolvedOrAsGiven(g.LanguageIniPath))
                          .readString(QStringLiteral("Print"), QStringLiteral("NoPrinter"), t.noPrinter);
    t.caption = g.MsgCaption;
    return t;
}
