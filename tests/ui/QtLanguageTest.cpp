// Qt's own texts and the date format follow the program's language.
#include "ui/QtLanguage.h"

#include <QDate>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

// The Yes button of a question box and the file-name label of a file dialog.
QStringList deskTexts() {
    QMessageBox box(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("q"), QMessageBox::Yes);
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    return {box.button(QMessageBox::Yes)->text(),
            dialog.findChild<QLabel*>(QStringLiteral("fileNameLabel"))->text(),
            QLocale().toString(QDate(2026, 12, 7), QLocale::ShortFormat)};
}

TEST(QtLanguage, AJapaneseDeskShowsQtsTextsAndDatesInJapaneseAndEnglishBringsThemBack) {
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_ja.qm")))
        GTEST_SKIP() << "Qt's translations are missing (scripts/deps.sh)";
    QtLanguage::follow(QStringLiteral("Japanese"));
    const QStringList ja = deskTexts();
    EXPECT_TRUE(ja[0].startsWith(QStringLiteral("はい"))) << ja[0].toStdString();
    EXPECT_TRUE(ja[1].contains(QStringLiteral("ファイル名"))) << ja[1].toStdString();
    EXPECT_EQ(ja[2], QStringLiteral("2026/12/07"));

    QtLanguage::follow(QStringLiteral("English"));
    const QStringList en = deskTexts();
    EXPECT_EQ(en[0], QStringLiteral("&Yes"));
    EXPECT_EQ(en[1], QStringLiteral("File &name:"));
    EXPECT_EQ(QLocale(), QtLanguage::localeFor(QStringLiteral("English")));
}

} // namespace
