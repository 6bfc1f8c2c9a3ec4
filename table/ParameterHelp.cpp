#include "table/ParameterHelp.h"

#include "core/Asker.h"
#include "core/Options.h"
#include "core/ProgramContext.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "table/ParameterTable.h"

ParameterHelp::ParameterHelp(ParameterTable& core, const ProgramContext& context, const Options& options,
                             ShowPage show)
    : core_(core), context_(context), options_(options), show_(std::move(show)) {
    core_.commands().setAvailable(TableCommand::ParaHelp, true);
}

QString ParameterHelp::pageOfTitle(const QString& title) {
    if (title.isEmpty() || title.contains(u'/') || title.contains(u'\\') ||
        title.contains(QLatin1String("..")))
        return QString();
    return QStringLiteral("html/") + title.toLower() + QStringLiteral(".htm");
}

ParameterHelp::Page ParameterHelp::pageOfRow(int row) const {
    if (context_.paths.parameterHelpFile.isEmpty() || core_.indexOfRow(row) < 0)
        return {};
    if (options_.hlpParameterHelp.checked())
        return {context_.paths.parameterHelpFile, QString()};
    const QString page = pageOfTitle(core_.grid().cell(TC_Title, row));
    if (page.isEmpty())
        return {};
    return {context_.paths.parameterHelpFile, page};
}

void ParameterHelp::showParameterHelp() {
    if (!core_.commands().enabled(TableCommand::ParaHelp))
        return;
    openRow(core_.cursorRow());
}

void ParameterHelp::openRow(int row) {
    const Page p = pageOfRow(row);
    if (p.helpFile.isEmpty())
        return;
    if (show_ && show_(p.helpFile, p.page))
        return;
    // Name what is missing: the whole help when its folder is gone, else the one page.
    const bool helpThere = Paths::exists(p.helpFile);
    const QString missing = helpThere ? Paths::join(Paths::normalize(p.helpFile),
                                                    p.page.isEmpty() ? QStringLiteral("index.htm") : p.page)
                                      : Paths::normalize(p.helpFile);
    if (reported_.contains(missing))
        return;
    reported_.insert(missing);
    const IniFile ini(Paths::resolvedOrAsGiven(context_.language.iniPath));
    const QString text =
        helpThere ? ini.readString(QStringLiteral("Parameter"), QStringLiteral("HelpPageMissing"),
                                   QStringLiteral("The help page %1 is not found."))
                  : ini.readString(QStringLiteral("Parameter"), QStringLiteral("ParameterHelpMissing"),
                                   QStringLiteral("The parameter help %1 is not found."));
    core_.asker().ask({text.arg(missing), context_.texts.caption, BoxIcon::Warning, BoxButtons::Ok});
}
