#include "ui/PrintDestination.h"

#include "core/Messages.h"
#include "core/ProgramContext.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"
#include "platform/TextFile.h"

#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStorageInfo>

namespace {

// A PDF writer ends its file with the cross-reference table's offset and "%%EOF"; a write
// that failed part-way (a full disk) leaves a file without them, or with an offset that
// points at no table.
bool pdfIsWhole(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = f.size();
    const qint64 tailAt = qMax<qint64>(0, size - 1024);
    if (!f.seek(tailAt))
        return false;
    const QByteArray tail = f.readAll().trimmed();
    if (!tail.endsWith("%%EOF"))
        return false;
    const qsizetype at = tail.lastIndexOf("startxref");
    if (at < 0)
        return false;
    bool ok = false;
    const qint64 xref = tail.mid(at + 9, tail.size() - 5 - at - 9).trimmed().toLongLong(&ok);
    if (!ok || xref < 0 || xref >= size || !f.seek(xref))
        return false;
    return f.read(4) == "xref";
}

// Too little room left on the file's disk for the writer's next block.
bool diskLooksFull(const QString& path) {
    const QStorageInfo disk(QFileInfo(path).absolutePath());
    return disk.isValid() && disk.bytesAvailable() < 64 * 1024;
}

} // namespace

PrintDestination::PrintDestination() = default;
PrintDestination::PrintDestination(PrintDestination&&) noexcept = default;
PrintDestination& PrintDestination::operator=(PrintDestination&&) noexcept = default;

PrintDestination::~PrintDestination() {
    // The program's printer names the user's file again for its next print.
    if (!pdfPath_.isEmpty() && printer_ && !own_)
        printer_->setOutputFileName(pdfPath_);
}

PrintDestination PrintDestination::choose(QPrinter* printer, const QString& pdf, const QString& title,
                                          const Texts& texts, QWidget* parent) {
    PrintDestination d;
    d.texts_ = texts;
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
        if (!file.isEmpty())
            d.own_->setOutputFormat(QPrinter::PdfFormat);
        printer = d.own_.get();
    } else if (toFile) {
        file = printer->outputFileName();
    }
    if (!file.isEmpty()) {
        auto temp = std::make_unique<TextFile::ReplacingFile>(file);
        if (!temp->isOpen()) {
            Prompter::instance().message(
                (TextFile::isDiskFull(temp->errorCode()) ? texts.diskFull : texts.writeFailed) + u'\n' + file,
                texts.caption, BoxIcon::Error, BoxButtons::Ok, parent);
            return d;
        }
        d.pdfPath_ = file;
        printer->setOutputFileName(temp->temporaryPath());
        d.pdf_ = std::move(temp);
    }
    d.printer_ = printer;
    return d;
}

bool PrintDestination::finish(bool printed, QString* error) {
    if (!pdf_)
        return printed;
    const bool whole = printed && pdfIsWhole(pdf_->temporaryPath());
    if (whole && pdf_->commit())
        return true;
    const bool full = whole ? TextFile::isDiskFull(pdf_->errorCode()) : diskLooksFull(pdfPath_);
    pdf_.reset(); // the temporary file goes; a file of that name from before stays as it was
    // Into a file, a print fails only for the file: that is what the user is told.
    if (error)
        *error = (full ? texts_.diskFull : texts_.writeFailed) + u'\n' + pdfPath_;
    return false;
}

PrintDestination::Texts PrintDestination::languageTexts(const ProgramContext& context) {
    Texts t;
    if (!context.language.iniPath.isEmpty())
        t.noPrinter = IniFile(Paths::resolvedOrAsGiven(context.language.iniPath))
                          .readString(QStringLiteral("Print"), QStringLiteral("NoPrinter"), t.noPrinter);
    if (const QString m = Msg(context, MsgId::DiskFull); !m.isEmpty())
        t.diskFull = m;
    if (const QString m = Msg(context, MsgId::WriteFailed); !m.isEmpty())
        t.writeFailed = m;
    t.caption = context.texts.caption;
    return t;
}
