#include "ui/QtLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace QtLanguage {

namespace {

const QString kTranslatorName = QStringLiteral("QtLanguageTranslator");

QLocale::Language languageNamed(const QString& name) {
    const QString wanted = name.trimmed();
    for (int l = QLocale::AnyLanguage + 1; l <= QLocale::LastLanguage; ++l) {
        const auto language = static_cast<QLocale::Language>(l);
        if (QLocale::languageToString(language).compare(wanted, Qt::CaseInsensitive) == 0)
            return language;
    }
    return QLocale::AnyLanguage;
}

} // namespace

QLocale localeFor(const QString& languageName) {
    const QLocale system = QLocale::system();
    const QLocale::Language language = languageNamed(languageName);
    // The C locale is the English of an unconfigured desk.
    const QLocale::Language spoken = system.language() == QLocale::C ? QLocale::English : system.language();
    if (language == QLocale::AnyLanguage || language == spoken)
        return system;
    return QLocale(language);
}

void follow(const QString& languageName) {
    const QLocale locale = localeFor(languageName);
    QLocale::setDefault(locale);
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    if (auto* old = app->findChild<QTranslator*>(kTranslatorName, Qt::FindDirectChildrenOnly)) {
        QCoreApplication::removeTranslator(old);
        delete old;
    }
    if (locale.language() == QLocale::English || locale.language() == QLocale::C)
        return;
    auto* translator = new QTranslator(app);
    translator->setObjectName(kTranslatorName);
    if (translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace QtLanguage
