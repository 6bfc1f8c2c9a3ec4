// The maintenance-mode window: its texts, a masked field of ten characters, Enter running the
// check exactly once, staying open after a refusal and closing once unlocked.
#include "ui/MaintenanceDialog.h"

#include "link/MaintenanceMode.h"
#include "platform/DialogTitle.h"
#include "support/TestPaths.h"
#include "support/TransferFixture.h"

#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace transfertest;

namespace {

class MaintenanceDialogTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(rig.loaded);
        rig.prompter.allowUnexpected();
        rig.context.language.iniPath = shippedDataDir() + QStringLiteral("/lng/English.ini");
    }
    void type(const QString& text) {
        dialog.passwordEdit->setText(text);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(dialog.passwordEdit, &enter);
    }
    int accessWrites() const {
        int n = 0;
        for (const std::string& w : rig.writesSince(0))
            n += w == "P FB91 100" ? 1 : 0;
        return n;
    }

    TransferRig rig{SimProtocol::Inverter};
    Options options{rig.context};
    MaintenanceMode mode{*rig.link, options, rig.context};
    MaintenanceDialog dialog{mode};
};

TEST_F(MaintenanceDialogTest, ShowsItsTextsAndAMaskedFieldOfTenCharacters) {
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Maintenance Mode");
    EXPECT_EQ(dialog.promptLabel->text(), "Input Password.");
    EXPECT_TRUE(dialog.promptLabel->font().bold());
    EXPECT_EQ(dialog.okButton->text(), "OK");
    EXPECT_EQ(dialog.cancelButton->text(), "Cancel");
    EXPECT_EQ(dialog.passwordEdit->maxLength(), 10);
    EXPECT_EQ(dialog.passwordEdit->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(dialog.passwordEdit->text().isEmpty());
    // The master's word is there to be typed, never to be seen.
    EXPECT_FALSE(dialog.passwordsBox->isVisible());
    EXPECT_EQ(dialog.masterLabel->text(), "Pulvex");
    EXPECT_EQ(dialog.pos(), QPoint((640 - dialog.width()) / 2, 480 - (dialog.height() + 402) / 2));
}

// The window is wide enough for its whole title in the title bar ("メンテナンスモード" came
// out "メンテナ… モード").
TEST_F(MaintenanceDialogTest, TheTitleHasRoomInEitherLanguage) {
    for (const char* language : {"English", "Japanese"}) {
        rig.context.language.iniPath = shippedDataDir() + QStringLiteral("/lng/%1.ini").arg(language);
        dialog.show();
        EXPECT_GE(dialog.width(), titleBarWidth(dialog.windowTitle(), dialog.font())) << language;
        dialog.hide();
    }
}

TEST_F(MaintenanceDialogTest, EnterRunsTheCheckOnceAndTheWindowStaysAfterARefusal) {
    dialog.show();
    type(QStringLiteral("wrong"));
    EXPECT_EQ(rig.prompter.texts(), QStringList({"m59"}));
    EXPECT_TRUE(dialog.isVisible());

    rig.prompter.clear();
    type(QStringLiteral("(QWKM)"));
    EXPECT_EQ(rig.prompter.texts(), QStringList({"m57"}));
    EXPECT_EQ(accessWrites(), 1);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(rig.store.maintenance());
}

TEST_F(MaintenanceDialogTest, TheMastersWordUnlocksTheMasterLevel) {
    dialog.show();
    type(dialog.masterLabel->text());
    EXPECT_TRUE(rig.store.superMaintenance());
    EXPECT_TRUE(options.mastersTabVisible());
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(MaintenanceDialogTest, ShowingAgainEmptiesTheField) {
    dialog.show();
    dialog.passwordEdit->setText(QStringLiteral("abc"));
    dialog.cancelButton->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    dialog.show();
    EXPECT_TRUE(dialog.passwordEdit->text().isEmpty());
    EXPECT_TRUE(rig.prompter.texts().isEmpty());
}

} // namespace
