#pragma once
// What every fuzz target needs: a core application, a prompter that answers each box with
// a button chosen by the input (never a real window), and a small drive type in the store.
#include "core/Asker.h"
#include "core/ParaFile.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "platform/Prompter.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace fuzz {

class AnsweringPrompter : public Prompter, public Asker {
public:
    // Answers cycle through this byte's bits so that both branches of each question run.
    std::uint8_t seed = 0;
    BoxAnswer message(const QString&, const QString&, BoxIcon, BoxButtons buttons, QWidget*) override {
        const bool first = (seed >> (count++ % 8)) & 1u;
        switch (buttons) {
        case BoxButtons::Ok:
            return BoxAnswer::Ok;
        case BoxButtons::OkCancel:
            return first ? BoxAnswer::Ok : BoxAnswer::Cancel;
        case BoxButtons::YesNo:
        case BoxButtons::YesNoDefaultNo:
            return first ? BoxAnswer::Yes : BoxAnswer::No;
        case BoxButtons::YesNoCancel:
            return first ? BoxAnswer::Yes : (count & 1 ? BoxAnswer::No : BoxAnswer::Cancel);
        case BoxButtons::AbortRetryIgnore:
            return BoxAnswer::Abort;
        }
        return BoxAnswer::Ok;
    }
    QString openFile(const QString&, const QString&, const QString&, int, QWidget*) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&, int, const QString&, QWidget*) override {
        return {};
    }
    bool chooseColor(QColor&, QWidget*) override { return false; }
    bool chooseFont(QFont&, QWidget*) override { return false; }
    bool choosePrinter(QPrinter&, QWidget*) override { return false; }
    BoxAnswer ask(const Notice& n) override { return message(n.text, n.caption, n.icon, n.buttons, nullptr); }
    QString chooseFile(const FileChoice&) override { return {}; }
    QString chooseSaveFile(const FileChoice&, const QString&, int*) override { return {}; }
    void letEventsThrough() override {}
    unsigned count = 0;
};

inline AnsweringPrompter& prompter() {
    static AnsweringPrompter p;
    return p;
}

// The program context every input is read into: one per process, as the program has one.
inline ProgramContext& context() {
    static ProgramContext c;
    return c;
}

// Once per process: the application object, the prompter and a drive type QX100 -4037 V110
// whose parameters include the special-setup markers, a capacity parameter, a default chain
// and limits (one of them another parameter's value).
inline void setUp() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static ParameterStore store;
    Prompter::install(&prompter());
    ProgramContext& programContext = context();
    programContext.drive.identity.typeName = "QX100";
    programContext.drive.identity.formName = "-4037";
    programContext.drive.identity.cpuVersion = "V110";
    programContext.drive.identity.typeCode = "65";
    programContext.drive.identity.formCode = "6";
    programContext.drive.identity.cpuNumber = "105";
    programContext.drive.capacityNumbers = QStringList{"0001"};
    programContext.drive.capacityFollowers = QStringList{"A012"};
    QStringList messages;
    for (int i = 0; i < 120; ++i)
        messages << QString("M%1").arg(i);
    store.setMessages(messages);
    const char* const numbers[][3] = {{"0000", "0", "3"},    {"0001", "0", "600"}, {"0099", "0", "1"},
                                      {"0105", "0", "4096"}, {"0998", "0", "1"},   {"0999", "0", "2"},
                                      {"A012", "1", "0001"}, {"C000", "0", "-5"},  {"FB72", "0", "0"}};
    const int n = int(std::size(numbers));
    store.resizeWorking(n);
    std::vector<ParameterDefinition> rows(std::size_t(n), ParameterDefinition{});
    for (int i = 0; i < n; ++i) {
        ParameterDefinition& d = rows[std::size_t(i)];
        d.comNo = numbers[i][0];
        setDefinitionText(d, PD_DIndex, numbers[i][1]);
        d.defaultText = numbers[i][2];
        // Fixed limits, and for "0105" limits that follow the Value of "0001".
        const bool follows = i == 3;
        d.highRule = follows ? 1 : 0;
        d.high = follows ? "0001" : "1000";
        d.lowRule = follows ? -1 : 0;
        d.low = follows ? "0001" : "-10";
    }
    programContext.drive.setParameters(std::move(rows), n - 1);
    programContext.store = &store;
    ParaFile::resetValuesToDefaults(programContext);
}

} // namespace fuzz
