// The start-up form's window: its boxes show the choice, only the user's choice refills the
// lists below it, and every way of closing commits the choice once.
#include "ui/DriveTypeDialog.h"

#include "link/CommLink.h"
#include "support/DrivesimSupport.h"
#include "support/InstalledAsker.h"
#include "support/StartupChoiceFixture.h"

#include <QAccessible>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

// A line whose search waits until the form has been seen searching: however loaded the
// machine, the search is still on its first try when the form first draws.
class GatedPort : public FakeSerialPort {
public:
    using FakeSerialPort::FakeSerialPort;
    std::atomic<bool> open{false};
    WaitResult waitReadable(int timeoutMs) override {
        while (!open)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return FakeSerialPort::waitReadable(timeoutMs);
    }
};

QStringList itemsOf(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

class TtypeTest : public StartupChoiceFixture {
protected:
    void pick(QComboBox* box, int index) {
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
};

TEST_F(TtypeTest, FirstStartShowsJapaneseFirstAndTheFirstDrive) {
    seedLanguages();
    DriveTypeDialog form(context, installedAsker(), startup());
    EXPECT_EQ(itemsOf(form.LangForm), QStringList({"Japanese", "English"}));
    EXPECT_EQ(form.LangForm->currentIndex(), 0);
    EXPECT_EQ(itemsOf(form.I_TypeForm), QStringList({"HXA1", "HXB3"}));
    EXPECT_EQ(form.I_TypeForm->currentIndex(), 0);
    EXPECT_EQ(itemsOf(form.I_CpuForm), QStringList({"V110", "V720"}));
    EXPECT_EQ(form.I_CapaForm->currentText(), "-2004");
    EXPECT_EQ(form.I_CapaForm->count(), 6);
    EXPECT_EQ(form.TypeLabel->text(), "Inverter Type-Form");
    EXPECT_EQ(form.size(), QSize(DriveTypeDialog::kWidth, DriveTypeDialog::kHeight));
    EXPECT_EQ(form.pos(), QPoint(25, 25));
    EXPECT_TRUE(form.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(TtypeTest, TheStoredDriveIsShownPreselected) {
    storeChoice("HXA1", "-4037", "V720");
    DriveTypeDialog form(context, installedAsker(), startup());
    EXPECT_EQ(form.LangForm->currentText(), "English");
    EXPECT_EQ(form.I_TypeForm->currentText(), "HXA1");
    EXPECT_EQ(form.I_CpuForm->currentText(), "V720");
    EXPECT_EQ(form.I_CapaForm->currentText(), "-4037");
}

TEST_F(TtypeTest, OnlyTheUsersChoiceOfTypeOrCpuRefillsTheListsBelow) {
    seedLanguages();
    DriveTypeDialog form(context, installedAsker(), startup());
    // Code moving the position is not a choice: the lists below stay.
    form.I_TypeForm->setCurrentIndex(1);
    EXPECT_EQ(itemsOf(form.I_CpuForm), QStringList({"V110", "V720"}));

    pick(form.I_TypeForm, 1);
    EXPECT_EQ(itemsOf(form.I_CpuForm), QStringList({"V250"}));
    EXPECT_EQ(itemsOf(form.I_CapaForm), QStringList({"-2007", "-2015", "-4015", "-4037"}));
    EXPECT_EQ(form.I_CapaForm->currentIndex(), 0);

    pick(form.I_TypeForm, 0);
    pick(form.I_CpuForm, 1);
    EXPECT_EQ(form.I_CapaForm->count(), 7);
    EXPECT_EQ(form.I_CpuForm->currentText(), "V720");
}

TEST_F(TtypeTest, OkCommitsWhatTheBoxesShow) {
    seedLanguages();
    DriveTypeDialog form(context, installedAsker(), startup());
    form.LangForm->setCurrentIndex(1);
    pick(form.I_TypeForm, 1);
    form.I_CapaForm->setCurrentIndex(3);
    QTimer::singleShot(0, &form, [&] { form.ok->click(); });
    EXPECT_TRUE(form.run());

    EXPECT_EQ(context.language.name, "English");
    EXPECT_EQ(context.drive.identity.typeName, "HXB3");
    EXPECT_EQ(context.drive.identity.formName, "-4037");
    EXPECT_EQ(context.drive.identity.cpuVersion, "V250");
    EXPECT_EQ(context.drive.identity.formCode, "13");
    EXPECT_EQ(context.drive.files.typeFolder, folder.filePath("dat/HXB3(V250)"));
    EXPECT_EQ(cpuFormsM, QStringList({"V250"}));
    EXPECT_EQ(cpuNumbersM, QStringList({"250"}));
    EXPECT_TRUE(settingsText().contains("InvType=HXB3\r\nInvForm=-4037\r\nInvCpu=V250\r\n"));
}

// The form has no cancel: Escape and the window manager's close commit like OK, once.
TEST_F(TtypeTest, EscapeCommitsLikeOkAndOnlyOnce) {
    seedLanguages();
    DriveTypeDialog form(context, installedAsker(), startup());
    pick(form.I_TypeForm, 1);
    QTimer::singleShot(0, &form, [&] {
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(&form, &esc);
    });
    EXPECT_TRUE(form.run());
    EXPECT_EQ(context.drive.identity.typeName, "HXB3");

    cpuFormsM = {"after"};
    form.close();
    form.done(QDialog::Accepted);
    EXPECT_EQ(cpuFormsM, QStringList({"after"}));
}

TEST_F(TtypeTest, AWindowManagerCloseCommits) {
    seedLanguages();
    DriveTypeDialog form(context, installedAsker(), startup());
    QTimer::singleShot(0, &form, [&] { form.close(); });
    EXPECT_TRUE(form.run());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(context.drive.identity.typeName, "HXA1");
    EXPECT_EQ(cpuFormsM, QStringList({"V110", "V720"}));
}

TEST_F(TtypeTest, NothingToOfferIsNotShownAndStoresNothing) {
    writeSettings("[Language]\r\nJapanese=0\r\nEnglish=0\r\n[Options]\r\nDF=\\none\r\n");
    prompter.answer(BoxAnswer::Ok);
    DriveTypeDialog form(context, installedAsker(), startup());
    EXPECT_TRUE(context.startupAborted);
    const QByteArray before = settingsText();
    EXPECT_FALSE(form.run());
    EXPECT_FALSE(form.isVisible());
    form.done(QDialog::Accepted);
    EXPECT_EQ(settingsText(), before);
    EXPECT_EQ(cpuFormsM, QStringList({"stale"}));
    EXPECT_EQ(prompter.texts(),
              QStringList({"インバータデータファイルが見つかりません。\nKVR260X を終了します。"}));
}

// With a link the form looks for the drive before it shows, under the busy cursor, and
// shows what it found.
TEST_F(TtypeTest, TheDriveFoundOnTheLinkIsShownPreselected) {
    writeSettings("[Language]\r\nJapanese=0\r\nEnglish=0\r\n[Default]\r\nLangNo=1\r\n"
                  "[Options]\r\nCheckLang=1\r\n");
    ManualClock clock;
    FakeSerialPort port{clock};
    CommLink link{context, port, clock, installedAsker()};
    link.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake/") + name; });
    port.existingPaths = {QStringLiteral("/dev/fake/COM2")};
    DriveModel model;
    for (const auto& [comNo, value] :
         {std::pair{"0000", 0}, {"FB91", 0}, {"FB07", 52}, {"0099", 3}, {"FE08", 250}, {"FB05", 13}})
        model.setParameter(QString::fromLatin1(comNo), value);
    SimConfig at19200;
    at19200.onlyBaud = 19200;
    DriveSimulator drive(model, at19200);
    simtest::attachDrive(port, drive);
    int requests = 0, underBusyCursor = 0;
    const auto answer = port.responder;
    port.responder = [&](const FakeSerialPort::Bytes& request) {
        ++requests;
        const QCursor* c = QGuiApplication::overrideCursor();
        if (c && c->shape() == Qt::WaitCursor)
            ++underBusyCursor;
        return answer(request);
    };

    StartupContext withLink = startup();
    withLink.link = &link;
    DriveTypeDialog form(context, installedAsker(), withLink);
    EXPECT_EQ(form.I_TypeForm->currentText(), "HXB3");
    EXPECT_EQ(form.I_CpuForm->currentText(), "V250");
    EXPECT_EQ(form.I_CapaForm->currentText(), "-4037");
    EXPECT_GT(requests, 0);
    EXPECT_EQ(underBusyCursor, requests);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(prompter.boxes().empty());
}

// Searched after the form shows: the panel follows the ports while the search runs, a close
// then only stops it, and the form says in words what the search ended with.
TEST_F(TtypeTest, ASearchAfterTheFormShowsCanBeStoppedAndEndsInWords) {
    writeSettings("[Language]\r\nJapanese=0\r\nEnglish=0\r\n[Default]\r\nLangNo=1\r\n"
                  "[Options]\r\nCheckLang=1\r\n");
    ManualClock clock;
    GatedPort port{clock};
    CommLink link{context, port, clock, installedAsker()};
    link.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake/") + name; });
    port.existingPaths = {QStringLiteral("/dev/fake/COM2"), QStringLiteral("/dev/fake/COM5")};
    StartupContext later = startup();
    later.link = &link;
    later.detectLater = true;

    for (bool stop : {false, true}) {
        SCOPED_TRACE(stop);
        port.writes.clear();
        port.open = false;
        DriveTypeDialog form(context, installedAsker(), later);
        EXPECT_TRUE(port.writes.empty()); // nothing before the form is on screen
        QStringList shown;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, &form, [&] {
            if (form.searchPanel->isVisible() && !form.searchState->text().isEmpty() && shown.isEmpty()) {
                shown << form.searchState->text();
                // Assistive tools find the panel, named, as a group holding the Stop button.
                QAccessibleInterface* panel = QAccessible::queryAccessibleInterface(form.searchPanel);
                QAccessibleInterface* button = QAccessible::queryAccessibleInterface(form.stopSearch);
                EXPECT_EQ(panel->role(), QAccessible::Grouping);
                EXPECT_EQ(panel->text(QAccessible::Name), "Searching for the inverter...");
                EXPECT_FALSE(panel->state().invisible);
                EXPECT_EQ(button->parent()->object(), form.searchPanel);
                EXPECT_EQ(button->text(QAccessible::Name), "Stop");
                EXPECT_FALSE(button->state().invisible);
                if (stop)
                    form.reject(); // Escape while searching
                port.open = true;
            }
        });
        watch.start(0);
        form.runSearch();
        EXPECT_TRUE(form.isVisible());
        EXPECT_FALSE(form.searchPanel->isVisible());
        ASSERT_FALSE(shown.isEmpty());
        // The first try: the port and its line settings.
        EXPECT_TRUE(shown.front().contains(QRegularExpression("^COM2: \\d+ baud, parity \\w+, ")))
            << shown.front().toStdString();
        EXPECT_EQ(form.outcome->text(),
                  stop ? "The search was stopped. Choose the inverter by hand."
                       : "No inverter answered on COM2, COM5. Choose the inverter by hand.");
        EXPECT_EQ(form.I_TypeForm->currentIndex(), 0);
    }
}

} // namespace
