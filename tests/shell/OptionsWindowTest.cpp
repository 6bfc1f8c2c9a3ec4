#include "core/OptionsFixture.h"

#include "platform/IniFile.h"
#include "shell/OptionsWindow.h"
#include "shell/StoreInspector.h"
#include "support/InstalledAsker.h"
#include "ui/UpDownEdit.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>

namespace {

class OptionsWindowTest : public OptionsFixture {
protected:
    void TearDown() override {
        window.reset();
        OptionsFixture::TearDown();
    }
    OptionsWindow& open() {
        window =
            std::make_unique<OptionsWindow>(context, *opt, installedAsker(), [this] { events << "connect"; });
        return *window;
    }
    // Typing replaces the field's text as a user's edit does.
    static void type(UpDownEdit* e, const QString& text) {
        e->selectAll();
        e->insert(text);
    }
    QLabel* label(const char* name) const { return window->findChild<QLabel*>(name); }

    std::unique_ptr<OptionsWindow> window;
};

TEST_F(OptionsWindowTest, CreationShowsTheLoadedOptionsInLanguageTextsWithTheMastersTabHidden) {
    writeSettings("[Options]\r\nUndoMax=20\r\nMonMode3=1\r\nMonMode4=1\r\nMonMode2Multi=250\r\n");
    context.language.iniPath = dir.filePath("Test.ini");
    writeFile(context.language.iniPath, "[Options]\r\nForm=Optionen\r\nTab2=Datei\r\nCheck21=EEPROM\r\n"
                                        "Label91=Zeit\r\n");
    OptionsWindow& w = open();
    EXPECT_EQ(events, QStringList({"connect", "register"}));
    EXPECT_EQ(w.windowTitle(), "Optionen");
    EXPECT_EQ(w.pages()->tabText(1), "Datei");
    EXPECT_EQ(w.pages()->tabText(2), "Key Pad/Monitoring");
    EXPECT_EQ(w.box(opt->exportToEeprom)->text(), "EEPROM");
    EXPECT_EQ(label("Label16")->text(), "Zeit");
    EXPECT_EQ(label("Label_MonInv1")->text(), "RUN:[Shift]+[F9]");
    EXPECT_EQ(label("Label_MonInv2")->text(), "STOP:[F9]");
    EXPECT_FALSE(w.pages()->isTabVisible(3));
    EXPECT_EQ(w.pages()->currentIndex(), 0);

    EXPECT_EQ(w.edit(opt->undoDepth)->text(), "20");
    EXPECT_EQ(w.edit(opt->freeUnitFactor)->text(), "2.50");
    EXPECT_FALSE(w.edit(opt->freeUnitFactor)->isEnabled());
    EXPECT_TRUE(w.edit(opt->continuousRecordMinutes)->isEnabled());
    EXPECT_TRUE(w.box(opt->checkDriveTypeAndCapacity)->isChecked());
    // Continuous monitoring greys the RUN/STOP option; its labels show with its mark.
    EXPECT_FALSE(w.box(opt->monitorRunStopControl)->isEnabled());
    EXPECT_TRUE(w.box(opt->monitorRunStopControl)->isChecked());
    EXPECT_FALSE(label("Label_MonInv1")->isHidden());
    EXPECT_FALSE(label("Label_MonInv1")->isEnabled());
}

TEST_F(OptionsWindowTest, NothingIsLoadedOrConnectedAfterAFailedStartUp) {
    context.startupAborted = true;
    writeSettings("[Options]\r\nUndoMax=20\r\n");
    OptionsWindow& w = open();
    EXPECT_TRUE(events.isEmpty());
    EXPECT_EQ(w.edit(opt->undoDepth)->text(), "10");
}

TEST_F(OptionsWindowTest, RefusedEntryKeepsTheWindowOpenAndTheCloseBoxAndEscapeAlike) {
    OptionsWindow& w = open();
    w.show();
    UpDownEdit* undoEdit = w.edit(opt->undoDepth);
    type(undoEdit, "abc");
    EXPECT_EQ(opt->undoDepth.text(), "abc");
    prompter.answer(BoxAnswer::Ok);
    w.close();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(prompter.texts(), QStringList{"m67"});

    type(undoEdit, "150");
    prompter.answer(BoxAnswer::Ok);
    w.reject();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(undoEdit->text(), "100");
    EXPECT_FALSE(QFileInfo::exists(context.paths.settingsIni));

    w.close();
    EXPECT_FALSE(w.isVisible());
    IniFile ini(context.paths.settingsIni);
    EXPECT_EQ(ini.readInteger("Options", "UndoMax", 0), 100);
    EXPECT_EQ(prompter.boxes().size(), 2u);
}

TEST_F(OptionsWindowTest, SettingsThatCannotBeWrittenAreReportedOnceAndTheWindowClosesAnyway) {
    // A file where the settings folder should be: no user, root included, can write there.
    writeFile(dir.filePath("blocked"), "x");
    context.paths.settingsIni = dir.filePath("blocked/KVR260X.ini");
    OptionsWindow& w = open();
    w.show();
    prompter.answer(BoxAnswer::Ok);
    w.close();
    EXPECT_FALSE(w.isVisible());
    w.show();
    w.close();
    EXPECT_FALSE(w.isVisible());
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_TRUE(prompter.boxes()[0].text.contains(context.paths.settingsIni));
}

TEST_F(OptionsWindowTest, EnterChecksTheFieldAndPressesNoButton) {
    OptionsWindow& w = open();
    w.show();
    opt->undoDepth.setPosition(50);
    UpDownEdit* factorEdit = w.edit(opt->freeUnitFactor);
    w.box(opt->useFreeUnit)->click();
    ASSERT_TRUE(factorEdit->isEnabled());
    type(factorEdit, "0.29");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(factorEdit, &enter);
    EXPECT_EQ(opt->freeUnitFactor.position(), 29);
    EXPECT_EQ(opt->freeUnitFactorText(), "0.29");
    EXPECT_EQ(opt->undoDepth.position(), 50);
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(OptionsWindowTest, FieldsWithoutACheckTakeWhatWasTypedAtClose) {
    OptionsWindow& w = open();
    opt->setMastersTabVisible(true);
    w.show();
    type(w.edit(opt->readTimeMargin), "70");
    type(w.edit(opt->timedTestReads), "x");
    w.close();
    EXPECT_EQ(opt->readTimeMargin.position(), 70);
    EXPECT_EQ(opt->timedTestReads.position(), 5);
    EXPECT_EQ(w.edit(opt->timedTestReads)->text(), "5");
}

TEST_F(OptionsWindowTest, ArrowsMoveThePositionByTheStep) {
    OptionsWindow& w = open();
    w.edit(opt->ledBlinkInterval)->stepBy(+1);
    EXPECT_EQ(opt->ledBlinkInterval.position(), 265);
    w.edit(opt->continuousRecordMinutes)->stepBy(-1);
    EXPECT_EQ(opt->continuousRecordMinutes.position(), 110);
}

TEST_F(OptionsWindowTest, ClickedBoxesRunTheirRulesAndTheOtherWidgetsFollow) {
    OptionsWindow& w = open();
    w.box(opt->showComparisonResult)->click();
    EXPECT_FALSE(opt->showComparisonResult.checked());
    EXPECT_TRUE(w.box(opt->showComparisonMessage)->isChecked());
    w.box(opt->showComparisonResult)->click();
    EXPECT_FALSE(w.box(opt->saveTransferResult)->isEnabled());

    events.clear();
    w.box(opt->registerFileType)->click();
    EXPECT_EQ(events, QStringList{"remove"});

    // Code changing an option shows at once.
    opt->continuousMonitoring.setChecked(true);
    EXPECT_TRUE(w.box(opt->continuousMonitoring)->isChecked());
    EXPECT_TRUE(w.edit(opt->continuousSampleSeconds)->isEnabled());
    EXPECT_TRUE(label("Label17")->isEnabled());
}

TEST_F(OptionsWindowTest, DriveTypeWithoutTripParameterGreysTheTripOptionsAtEveryShowing) {
    setParameters({"FC91", "FA10", "FA11"});
    OptionsWindow& w = open();
    w.show();
    EXPECT_FALSE(w.box(opt->monitorShowsTrips)->isEnabled());
    EXPECT_FALSE(w.box(opt->monitorShowsTripData)->isEnabled());
    EXPECT_TRUE(w.box(opt->monitorShowsTrips)->isChecked());
    EXPECT_TRUE(w.box(opt->monitorShowsAlarms)->isEnabled());
    w.close();
    setParameters({"FC90", "FC91", "FA10", "FA11"});
    w.show();
    EXPECT_TRUE(w.box(opt->monitorShowsTripData)->isEnabled());
}

TEST_F(OptionsWindowTest, SwatchesOpenTheColourDialogPresetToTheirColour) {
    OptionsWindow& w = open();
    opt->setMastersTabVisible(true);
    EXPECT_TRUE(w.pages()->isTabVisible(3));
    auto* swatch = w.findChild<ColorSwatch*>("PNCellC");
    ASSERT_TRUE(swatch);
    prompter.answerColor(true, QColor(10, 20, 30));
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(swatch, &dbl);
    EXPECT_EQ(opt->otherValueCellColor.value(), 0x1E140A);
    EXPECT_EQ(swatch->palette().color(QPalette::Window), QColor(10, 20, 30));

    // The selected-text swatch opens on a single click; a cancelled dialog changes nothing.
    prompter.answerColor(false);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(w.findChild<ColorSwatch*>("PSlctTextC"), &press);
    EXPECT_EQ(opt->selectedTextColor.value(), 0xFFFFFF);

    w.findChild<QPushButton*>("DefBtn")->click();
    EXPECT_EQ(swatch->palette().color(QPalette::Window), QColor(0xFF, 0xFF, 0xE0));
}

TEST_F(OptionsWindowTest, BufferTableShowsTheDataStoreUnderTheMainWindowAndClosingItUnchecksTheOption) {
    OptionsWindow& w = open();
    // The options window has no parent; the view still stands under the main window.
    QWidget main;
    main.setGeometry(40, 30, 639, 60);
    main.show();
    w.setMainWindow(&main);
    opt->setMastersTabVisible(true);
    w.box(opt->showBufferTable)->click();
    StoreInspector* view = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* v = qobject_cast<StoreInspector*>(top); v && v->isVisible())
            view = v;
    ASSERT_TRUE(view);
    EXPECT_EQ(view->frameGeometry().topLeft(), main.frameGeometry().bottomLeft() + QPoint(0, 1));
    view->close();
    EXPECT_FALSE(opt->showBufferTable.checked());
    EXPECT_FALSE(w.box(opt->showBufferTable)->isChecked());
}

} // namespace
