#include "platform/Paths.h"

#include "support/TempProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
}

TEST(Paths, StoredBackslashesBecomeSlashes) {
    EXPECT_EQ(Paths::normalize("dat\\HX1(V110)\\Info.ini"), "dat/HX1(V110)/Info.ini");
    EXPECT_EQ(Paths::join("/p/", "\\lng\\English.ini"), "/p/lng/English.ini");
    EXPECT_EQ(Paths::join("", "a"), "a");
    EXPECT_EQ(Paths::folderOf("/p/dat/x.inv"), "/p/dat");
    EXPECT_EQ(Paths::folderOf("/x.inv"), "/");
    EXPECT_EQ(Paths::folderOf("x.inv"), "");
    EXPECT_EQ(Paths::fileNameOf("c:\\d\\x.inv"), "x.inv");
}

TEST(Paths, ResolveFindsNamesDifferingInCaseComponentByComponent) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("DAT/Hx1(v110)"));
    touch(dir.filePath("DAT/Hx1(v110)/INFO.INI"));
    const QString exact = dir.filePath("DAT/Hx1(v110)/INFO.INI");
    EXPECT_EQ(Paths::resolve(exact), exact);
    EXPECT_EQ(Paths::resolve(dir.filePath("dat/HX1(V110)/Info.ini")), exact);
    EXPECT_EQ(Paths::resolve(dir.path() + "\\dat\\hx1(V110)\\info.ini"), exact);
    EXPECT_TRUE(Paths::exists(dir.filePath("Dat")));
    EXPECT_TRUE(Paths::resolve(dir.filePath("dat/missing.ini")).isEmpty());
    EXPECT_FALSE(Paths::exists(dir.filePath("nope/Info.ini")));
    EXPECT_TRUE(Paths::resolve("").isEmpty());
    // A file still to be written keeps the name it was given.
    EXPECT_EQ(Paths::resolvedOrAsGiven(dir.filePath("dat/hx1(V110)/info.ini")), exact);
    EXPECT_EQ(Paths::resolvedOrAsGiven(dir.filePath("dat/missing.ini")), dir.filePath("dat/missing.ini"));
}

TEST(Paths, ExactNameWinsOverACaseVariant) {
    QTemporaryDir dir;
    touch(dir.filePath("a.ini"));
    touch(dir.filePath("A.ini"));
    EXPECT_EQ(Paths::resolve(dir.filePath("A.ini")), dir.filePath("A.ini"));
    EXPECT_EQ(Paths::resolve(dir.filePath("a.ini")), dir.filePath("a.ini"));
    // Of two variants, always the same one.
    EXPECT_EQ(Paths::resolve(dir.filePath("a.INI")), dir.filePath("A.ini"));
}

TEST(Paths, RelativePathsResolveFromTheCurrentFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("Lng"));
    touch(dir.filePath("Lng/English.ini"));
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    EXPECT_EQ(Paths::resolve("lng/english.INI"), "Lng/English.ini");
    QDir::setCurrent(saved);
}

TEST(Paths, ShippedDataCopiedToAProgramFolderIsFoundWhateverTheCase) {
    TempProgramFolder folder(true);
    ASSERT_TRUE(folder.isValid());
    EXPECT_EQ(Paths::resolve(folder.filePath("LNG/english.INI")), folder.filePath("lng/English.ini"));
    EXPECT_TRUE(Paths::exists(folder.filePath("dat/inverter.ini")));
    EXPECT_EQ(folder.writeFile("dat/New(V1)/Info.ini", "[Setup]\r\n"),
              folder.filePath("dat/New(V1)/Info.ini"));
    EXPECT_TRUE(Paths::exists(folder.filePath("DAT/new(v1)/INFO.ini")));
}

} // namespace
