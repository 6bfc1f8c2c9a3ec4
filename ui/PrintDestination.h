#pragma once
// Where a print goes, for every window that prints: the program's printer (its printer
// set-up chooses it), or a PDF file. With no printer installed the user is told so plainly
// and offered a PDF file; nothing is printed when that is declined.
#include <QString>
#include <memory>

struct ProgramContext;
class QPrinter;
class QWidget;

class PrintDestination {
public:
    // The texts of the no-printer box; defaults when the language file lacks them.
    struct Texts {
        QString noPrinter = QStringLiteral("No printer is installed. Save the pages as a PDF file instead?");
        QString caption;
    };

    // `pdf`: a file named beforehand (tests), printed to whatever printers exist. `printer`:
    // the program's printer; null takes the default one. `title` names the PDF offered.
    static PrintDestination choose(QPrinter* printer, const QString& pdf, const QString& title,
                                   const Texts& texts, QWidget* parent);
    // The texts of the language file's section "Print" ("NoPrinter") and message 0.
    static Texts languageTexts(const ProgramContext& context);

    PrintDestination(PrintDestination&&) noexcept;
    PrintDestination& operator=(PrintDestination&&) noexcept;
    ~PrintDestination();

    // Null when there is nowhere to print.
    QPrinter* printer() const { return printer_; }
    explicit operator bool() const { return printer_ != nullptr; }

private:
    PrintDestination();
    QPrinter* printer_ = nullptr;
    std::unique_ptr<QPrinter> own_;
};
