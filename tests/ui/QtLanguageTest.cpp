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

struct DeskTexts {
    QString yes, no, fileNameLabel;
};

DeskTexts deskTexts() {
    QMessageBox box(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("q"),
                    QMessageBox::Yes | QMessageBox::No);
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const QLabel* name = dialog.findChild<QLabel*>(QStringLiteral("fileNameLabel"));
    return {box.button(QMessageBox::Yes)->text(), box.button(QMessageBox::No)->text(),
            name ? name->text() : QString()};
}

TEST(QtLanguage, AJapaneseDeskShowsQtsTextsAndDatesInJapaneseAndEnglishBringsThemBack) {
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_ja.qm")))
        GTEST_SKIP() << "Qt's translations are missing (scripts/deps.sh)";
    const QDate date(2026, 12, 7);
    QtLanguage::follow(QStringLiteral("Japanese"));
    const DeskTexts ja = deskTexts();
    EXPECT_TRUE(ja.yes.startsWith(QStringLiteral("はい"))) << ja.yes.toStdString();
    EXPECT_TRUE(ja.no.startsWith(QStringLiteral("いいえ"))) << ja.no.toStdString();
    EXPECT_TRUE(ja.fileNameLabel.contains(QStringLiteral("ファイル名"))) << ja.fileNameLabel.toStdString();
    EXPECT_EQ(QLocale().toString(date, QLocale::ShortFormat), QStringLiteral("2026/12/07"));

    QtLanguage::follow(QStringLiteral("English"));
    const DeskTexts en = deskTexts();
    EXPECT_EQ(en.yes, QStringLiteral("&Yes"));
    EXPECT_EQ(en.fileNameLabel, QStringLiteral("File &name:"));
    EXPECT_EQ(QLocale(), QtLanguage::localeFor(QStringLiteral("English")));
}

} // namespace
