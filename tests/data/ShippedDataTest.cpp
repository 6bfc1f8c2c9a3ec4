// The program folder we ship: every file read and held to the rules the loaders rely on.
#include "ShippedDataChecks.h"
#include "support/TestPaths.h"

#include "platform/IniFile.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

QString lng(const char* name) {
    return shippedDataDir() + QStringLiteral("/lng/") + QLatin1String(name);
}

std::vector<QString> typeFolders() {
    std::vector<QString> folders;
    const QDir dat(shippedDataDir() + QStringLiteral("/dat"));
    for (const QString& d : dat.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        folders.push_back(dat.filePath(d));
    return folders;
}

int position(const IniFile& ini, const QStringList& keys, const char* code) {
    for (int i = 0; i < keys.size(); ++i)
        if (ini.readString(QStringLiteral("InverterInfo"), keys[i]) == QLatin1String(code))
            return i;
    return -1;
}

} // namespace

TEST(ShippedData, LanguageFilesHoldTheNumberedMessagesAndTheSameKeys) {
    const QStringList problems = DataChecks::checkLanguagePair(lng("English.ini"), lng("Japanese.ini"));
    EXPECT_TRUE(problems.isEmpty()) << problems.join(u'\n').toStdString();
}

TEST(ShippedData, TextsWithEdgeBlanksKeepThemWhenRead) {
    const IniFile en(lng("English.ini"));
    EXPECT_EQ(en.readString(QStringLiteral("General"), QStringLiteral("Message2")), QStringLiteral("File: "));
    EXPECT_EQ(en.readString(QStringLiteral("General"), QStringLiteral("Message55")), QStringLiteral(" KB"));
    EXPECT_EQ(en.readString(QStringLiteral("General"), QStringLiteral("Message79")),
              QStringLiteral("Connected inverter : "));
    EXPECT_TRUE(en.readString(QStringLiteral("Options"), QStringLiteral("Label22"))
                    .startsWith(QLatin1String("  Please")));
    // The unchanged mark of the table is six blanks: the changed mark is as wide.
    EXPECT_EQ(en.readString(QStringLiteral("General"), QStringLiteral("Message31")).size(), 6);
}

TEST(ShippedData, CatalogueAndEveryDriveTypeFolderAreConsistent) {
    const QStringList problems = DataChecks::checkProgramFolder(shippedDataDir());
    EXPECT_TRUE(problems.isEmpty()) << problems.join(u'\n').toStdString();
}

TEST(ShippedData, InverterInformationLinesNameParametersOfEveryDriveType) {
    for (const char* file : {"English.ini", "Japanese.ini"}) {
        const IniFile ini(lng(file));
        const QStringList keys = ini.keys(QStringLiteral("InverterInfo"));
        for (const QString& folder : typeFolders()) {
            const QString dirName = QDir(folder).dirName();
            const QString type = dirName.left(dirName.lastIndexOf(QLatin1String("(V")));
            QStringList problems;
            const auto rows =
                DataChecks::readTypeFile(folder + u'/' + type + QStringLiteral("(Eng).inv"), problems);
            QStringList coms;
            for (const QStringList& r : rows)
                coms << r[0];
            for (int i = 2; i < keys.size(); ++i) {
                if (keys[i].startsWith(QLatin1String("cr")))
                    continue;
                const QString code = ini.readString(QStringLiteral("InverterInfo"), keys[i]);
                EXPECT_TRUE(coms.contains(code))
                    << file << " " << code.toStdString() << " not in " << dirName.toStdString();
            }
            // The capacity line is named through the type name read on an earlier line.
            EXPECT_LT(position(ini, keys, "FB07"), position(ini, keys, "FB05")) << file;
        }
    }
}

TEST(ShippedData, OffersTheTypesTheProgramTreatsSpecially) {
    const IniFile catalogue(shippedDataDir() + QStringLiteral("/dat/Inverter.ini"));
    EXPECT_TRUE(catalogue.valueExists(QStringLiteral("Type"), QStringLiteral("HXB3")));
    bool custom = false, twoVersions = false;
    QStringList seen;
    for (const QString& folder : typeFolders()) {
        const QString d = QDir(folder).dirName();
        const QString type = d.left(d.lastIndexOf(QLatin1String("(V")));
        custom |= d.mid(d.lastIndexOf(QLatin1String("(V")) + 2).chopped(1).toInt() >= 700;
        twoVersions |= seen.contains(type);
        seen << type;
    }
    EXPECT_TRUE(custom) << "no drive type with a CPU version of 700 or above";
    EXPECT_TRUE(twoVersions) << "no drive type with two CPU versions";
}
