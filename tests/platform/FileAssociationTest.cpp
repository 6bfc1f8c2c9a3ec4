#include "platform/FileAssociation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Another program's claim on ".kvr", as its package would stand in a data folder.
void claimKvrForOtherProgram(const QString& dataDir) {
    writeFile(dataDir + "/mime/packages/other-viewer.xml",
              "<?xml version=\"1.0\"?>\n"
              "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
              "  <mime-type type=\"application/x-other-kvr\"><glob pattern=\"*.KVR\"/></mime-type>\n"
              "</mime-info>\n");
}

class XdgAssociation : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(system.isValid());
        store.setNotifier([this] { ++notifies; });
    }
    AssociationAction apply(bool on, const QString& program = "/opt/kvr/KVR260X") {
        return applyFileAssociation(store, on, program);
    }

    QTemporaryDir home;
    QTemporaryDir system;
    XdgFileAssociation store{home.path(), {system.path()}};
    int notifies = 0;
};

TEST_F(XdgAssociation, FirstRegistrationWritesThePackageAndTheDesktopEntryAndNotifiesOnce) {
    EXPECT_EQ(apply(true), AssociationAction::Registered);
    EXPECT_EQ(notifies, 1);
    EXPECT_EQ(store.owner(), QString(kKvrProgId));

    const QString package = readAll(home.path() + "/mime/packages/VELRODI.INV.file.xml");
    EXPECT_TRUE(package.contains("<glob pattern=\"*.kvr\"/>"));
    EXPECT_TRUE(package.contains("<comment>KALDRIX Parameter data</comment>"));
    const QString desktop = readAll(home.path() + "/applications/VELRODI.INV.file.desktop");
    EXPECT_TRUE(desktop.contains("\nExec=\"/opt/kvr/KVR260X\" %f\n"));
    EXPECT_TRUE(desktop.contains(QString("\nMimeType=") + kKvrMimeType + ";\n"));
}

TEST_F(XdgAssociation, PresentRegistrationIsNotWrittenAgain) {
    apply(true);
    const QDateTime written = QFileInfo(store.desktopPath()).lastModified();
    EXPECT_EQ(apply(true), AssociationAction::None);
    EXPECT_EQ(notifies, 1);
    EXPECT_EQ(QFileInfo(store.desktopPath()).lastModified(), written);
}

TEST_F(XdgAssociation, AnotherProgramsClaimIsNeverOverwrittenNorRemoved) {
    claimKvrForOtherProgram(system.path());
    EXPECT_EQ(store.owner(), "application/x-other-kvr");
    EXPECT_EQ(apply(true), AssociationAction::None);
    EXPECT_FALSE(QFileInfo::exists(store.packagePath()));
    EXPECT_FALSE(QFileInfo::exists(store.desktopPath()));

    EXPECT_EQ(apply(false), AssociationAction::None);
    EXPECT_TRUE(QFileInfo::exists(system.path() + "/mime/packages/other-viewer.xml"));
    EXPECT_EQ(notifies, 0);
}

TEST_F(XdgAssociation, ClaimInTheUsersOwnFolderCountsAsWell) {
    claimKvrForOtherProgram(home.path());
    EXPECT_EQ(apply(true), AssociationAction::None);
    EXPECT_FALSE(QFileInfo::exists(store.packagePath()));
}

TEST_F(XdgAssociation, RemovingDeletesOnlyOurOwnFiles) {
    writeFile(home.path() + "/applications/other.desktop", "[Desktop Entry]\n");
    apply(true);
    EXPECT_EQ(apply(false), AssociationAction::Removed);
    EXPECT_EQ(notifies, 2);
    EXPECT_FALSE(QFileInfo::exists(store.packagePath()));
    EXPECT_FALSE(QFileInfo::exists(store.desktopPath()));
    EXPECT_TRUE(QFileInfo::exists(home.path() + "/applications/other.desktop"));
    EXPECT_TRUE(store.owner().isEmpty());
    EXPECT_EQ(apply(false), AssociationAction::None);
    EXPECT_EQ(notifies, 2);
}

TEST_F(XdgAssociation, MovedProgramIsRegisteredAgainWithItsNewPath) {
    apply(true, "/opt/old/KVR260X");
    EXPECT_EQ(apply(true, "/home/user/new place/KVR260X"), AssociationAction::Rewritten);
    EXPECT_EQ(notifies, 2);
    EXPECT_EQ(store.command(), "\"/home/user/new place/KVR260X\" %f");
}

TEST_F(XdgAssociation, UncheckThenCheckInOneRunWritesTheAssociationAnew) {
    apply(true);
    apply(false);
    EXPECT_EQ(apply(true, "/usr/local/bin/KVR260X"), AssociationAction::Registered);
    EXPECT_EQ(store.command(), XdgFileAssociation::execLine("/usr/local/bin/KVR260X"));
    EXPECT_EQ(notifies, 3);
}

TEST_F(XdgAssociation, ClaimWithoutItsDesktopEntryIsMended) {
    apply(true);
    QFile::remove(store.desktopPath());
    EXPECT_EQ(apply(true), AssociationAction::Rewritten);
    EXPECT_TRUE(QFileInfo::exists(store.desktopPath()));
}

TEST_F(XdgAssociation, UnwritableDataFolderRegistersNothingAndTellsNobody) {
    writeFile(home.path() + "/mime", "a file where the folder should be");
    EXPECT_EQ(apply(true), AssociationAction::None);
    EXPECT_EQ(notifies, 0);
}

TEST(XdgExecLine, ProgramPathIsQuotedAndEscapedForTheDesktopEntryFormat) {
    EXPECT_EQ(XdgFileAssociation::execLine("/a b/KVR260X"), "\"/a b/KVR260X\" %f");
    EXPECT_EQ(XdgFileAssociation::execLine("/x$y/100%/q\"z"), "\"/x\\\\$y/100%%/q\\\\\"z\" %f");
    EXPECT_EQ(XdgFileAssociation::execLine("/back\\slash"), "\"/back\\\\\\\\slash\" %f");
}

TEST(XdgRunningProgram, UsesXdgDataHomeAndTheProgramsOwnPath) {
    QTemporaryDir home;
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    // Keep the desktop tools out of this run: with no PATH they are not found.
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", "");

    applyFileAssociation(true);
    const QString desktop = readAll(home.path() + "/applications/VELRODI.INV.file.desktop");
    EXPECT_TRUE(
        desktop.contains("Exec=" + XdgFileAssociation::execLine(QCoreApplication::applicationFilePath())));
    EXPECT_TRUE(QFileInfo::exists(home.path() + "/mime/packages/VELRODI.INV.file.xml"));
    applyFileAssociation(false);
    EXPECT_FALSE(QFileInfo::exists(home.path() + "/applications/VELRODI.INV.file.desktop"));
    EXPECT_FALSE(QFileInfo::exists(home.path() + "/mime/packages/VELRODI.INV.file.xml"));

    qputenv("PATH", savedPath);
    if (saved.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", saved);
}

TEST(XdgMimeDatabase, OurPackageIsAcceptedByTheMimeDatabaseTool) {
    const QString tool = QStandardPaths::findExecutable("update-mime-database");
    if (tool.isEmpty())
        GTEST_SKIP() << "update-mime-database is not installed";
    QTemporaryDir home;
    XdgFileAssociation store(home.path(), {home.path() + "/none"});
    ASSERT_TRUE(store.write("/opt/kvr/KVR260X"));
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", home.path());
    run.setProcessEnvironment(env);
    run.start(tool, {home.path() + "/mime"});
    ASSERT_TRUE(run.waitForFinished(30000));
    ASSERT_EQ(run.exitCode(), 0);
    EXPECT_TRUE(readAll(home.path() + "/mime/globs2").contains(QString(kKvrMimeType) + ":*.kvr"));
}

} // namespace
