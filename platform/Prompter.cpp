#include "platform/Prompter.h"

#include <QFileInfo>

#include <cstdio>

namespace {

Prompter* installed = nullptr;
Prompter* fallback = nullptr;

struct FilterEntry {
    QString description;
    QStringList patterns;
};

std::vector<FilterEntry> parseFilter(const QString& pipeFilter) {
    std::vector<FilterEntry> out;
    const QStringList parts = pipeFilter.split(u'|');
    // A description without its pattern at the end is dropped, as the system dialog does.
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        FilterEntry e;
        e.description = parts[i].trimmed();
        for (const QString& p : parts[i + 1].split(u';', Qt::SkipEmptyParts)) {
            const QString pattern = p.trimmed();
            if (!pattern.isEmpty())
                e.patterns << (pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern);
        }
        if (e.patterns.isEmpty())
            e.patterns << QStringLiteral("*");
        out.push_back(e);
    }
    return out;
}

QString qtEntry(const FilterEntry& e) {
    // Qt reads the patterns from the last parenthesised group, so a description that
    // already shows them ("Data (*.kvr)") loses that group and gets the real one.
    QString desc = e.description;
    if (desc.endsWith(u')')) {
        const qsizetype open = desc.lastIndexOf(u'(');
        if (open >= 0)
            desc = desc.left(open).trimmed();
    }
    const QString patterns = e.patterns.join(u' ');
    return desc.isEmpty() ? patterns : desc + QStringLiteral(" (") + patterns + u')';
}

} // namespace

BoxAnswer firstButtonAnswer(BoxButtons b) {
    switch (b) {
    case BoxButtons::Ok:
    case BoxButtons::OkCancel:
        return BoxAnswer::Ok;
    case BoxButtons::YesNo:
    case BoxButtons::YesNoCancel:
        return BoxAnswer::Yes;
    case BoxButtons::YesNoDefaultNo:
        return BoxAnswer::No;
    case BoxButtons::AbortRetryIgnore:
        return BoxAnswer::Abort;
    }
    return BoxAnswer::Ok;
}

namespace {

// Without a window system (a command-line use) the text still reaches the user.
class StderrPrompter : public Prompter {
public:
    BoxAnswer message(const QString& text, const QString& caption, BoxIcon, BoxButtons buttons,
                      QWidget*) override {
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
        return firstButtonAnswer(buttons);
    }
    QString openFile(const QString&, const QString&, const QString&, int, QWidget*) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&, int, const QString&, QWidget*) override {
        return {};
    }
    bool chooseColor(QColor&, QWidget*) override { return false; }
    bool chooseFont(QFont&, QWidget*) override { return false; }
    bool choosePrinter(QPrinter&, QWidget*) override { return false; }
};

} // namespace

Prompter& Prompter::instance() {
    static StderrPrompter stderrPrompter;
    if (installed)
        return *installed;
    return fallback ? *fallback : stderrPrompter;
}

void Prompter::setDefault(Prompter* p) {
    fallback = p;
}

void Prompter::install(Prompter* p) {
    installed = p;
}

QString qtFilterFromPipeFilter(const QString& pipeFilter) {
    QStringList entries;
    for (const FilterEntry& e : parseFilter(pipeFilter))
        entries << qtEntry(e);
    return entries.join(QStringLiteral(";;"));
}

QString qtFilterEntry(const QString& pipeFilter, int index) {
    const auto entries = parseFilter(pipeFilter);
    if (entries.empty())
        return QString();
    if (index < 1 || index > static_cast<int>(entries.size()))
        index = 1;
    return qtEntry(entries[static_cast<size_t>(index - 1)]);
}

QString filterEntrySuffix(const QString& pipeFilter, int index) {
    const auto entries = parseFilter(pipeFilter);
    if (index < 1 || index > static_cast<int>(entries.size()))
        return QString();
    const QStringList& patterns = entries[static_cast<size_t>(index - 1)].patterns;
    if (patterns.size() != 1 || !patterns[0].startsWith(QLatin1String("*.")))
        return QString();
    const QString suffix = patterns[0].mid(2);
    if (suffix.isEmpty() || suffix.contains(u'*') || suffix.contains(u'?'))
        return QString();
    return suffix;
}
