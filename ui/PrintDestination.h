#pragma once
// Where a print goes, for every window that prints: the program's printer (its printer
// set-up chooses it), or a PDF file. With no printer installed the user is told so plainly
// and offered a PDF file; nothing is printed when that is declined. A PDF file is printed
// into a temporary file beside it and becomes the file only once it is whole, so that a
// full disk never leaves a broken PDF in place of an existing one.
#include <QString>
#include <memory>

struct ProgramContext;
class QPrinter;
class QWidget;
namespace TextFile {
class ReplacingFile;
}

class PrintDestination {
public:
    // The texts of the no-printer box and of a PDF file that could not be written; defaults
    // when the language file lacks them.
    struct Texts {
        QString noPrinter = QStringLiteral("No printer is installed. Save the pages as a PDF file instead?");
        QString caption;
        QString diskFull = QStringLiteral("The disk is full. The file could not be written:");
        QString writeFailed = QStringLiteral("The file could not be written:");
    };

    // `pdf`: a file named beforehand (tests), printed to whatever printers exist. `printer`:
    // the program's printer; null takes the default one. `title` names the PDF offered.
    static PrintDestination choose(QPrinter* printer, const QString& pdf, const QString& title,
                                   const Texts& texts, QWidget* parent);
    // The texts of the language file's section "Print" ("NoPrinter") and its messages.
    static Texts languageTexts(const ProgramContext& context);

    PrintDestination(PrintDestination&&) noexcept;
    PrintDestination& operator=(PrintDestination&&) noexcept;
    ~PrintDestination();

    // Null when there is nowhere to print.
    QPrinter* printer() const { return printer_; }
    explicit operator bool() const { return printer_ != nullptr; }

    // The end of a print (`printed`: the pages went out without error). A PDF file replaces
    // the one of its name only when it is whole and on disk; otherwise `error` says the disk
    // is full or the file could not be written, and any earlier file stays as it was.
    bool finish(bool printed, QString* error);

private:
    PrintDestination();
    QPrinter* printer_ = nullptr;
    std::unique_ptr<QPrinter> own_;
    Texts texts_;
    QString pdfPath_;                              // the PDF file the print makes
    std::unique_ptr<TextFile::ReplacingFile> pdf_; // its temporary file while printing
};
