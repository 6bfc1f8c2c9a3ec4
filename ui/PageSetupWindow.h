#pragma once
// The page set-up window: which header items print, the comment, the shipment column, the
// value colour, paper, orientation, margins, row height and font of the printed parameter
// list. One object for the run, shown modally; it cannot be closed while an entry fails its
// check, and every close writes the record to the settings section "Page".
//
// The record lives in the controls; pageSetup() reads it out for the reports.
#include "core/Messages.h"
#include "report/PageSetup.h"

#include <QDialog>
#include <QRect>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class PageSketch;

// What the window needs of the rest of the program; empty members are skipped.
struct PageSetupLinks {
    std::function<QRect()> mainFrame;        // placement: under this frame
    std::function<void()> clearParaTableAct; // on activation
    // A message of the language file (Caption is the caption of every box).
    std::function<QString(MsgId)> message;
    // A comment waiting to be taken over when the window is shown (the comment of a file the
    // program was started with); the hook answers it once.
    std::function<bool()> commentWaiting;
    std::function<QString()> waitingComment;
};

class PageSetupWindow : public QDialog {
    Q_OBJECT
public:
    enum Side { Top = 0, Bottom, Left, Right };

    explicit PageSetupWindow(PageSetupLinks links, QWidget* parent = nullptr);
    ~PageSetupWindow() override;

    // Creation: placement, texts of the language file, the record from the settings file
    // (margins that fail their check are reported and reset at once).
    void loadTextsAndSettings(const QString& languageIniPath, const QString& settingsIniPath,
                              const QString& languageName);

    // The record as the controls hold it, with the comment.
    report::PageSetup pageSetup() const;
    QString comment() const;
    void setComment(const QString& text);
    // The faces offered, in the machine's order.
    const QStringList& fontFamilies() const { return families_; }

    // Every check in turn; false (and the window stays) when one failed.
    bool mayClose();
    // Writes the record.
    void savePageSetup();

    // One margin's check as on leaving its edit (withFlag) or on Enter (range only, and the
    // input-error flag is left alone). False when refused.
    bool checkMargin(Side side, bool withFlag = true);
    bool checkPaper();
    bool checkCellHeight();
    bool checkFace();
    bool checkFontSize();
    void chooseValueColor();
    void setPortrait(bool portrait);
    bool inputError() const { return inputError_; }

    // The sketch's margin line of one side and paper (window coordinates) and its colour.
    QRect sketchLine(bool portrait, Side side) const;
    QColor sketchLineColor(bool portrait, Side side) const;
    bool sketchShowsPortrait() const;

    // Controls (object names as the language file and the tests know them).
    QCheckBox* dateCheck = nullptr;          // "DayPrint"
    QCheckBox* timeCheck = nullptr;          // "TimePrint"
    QCheckBox* typeFormCheck = nullptr;      // "TypeFormPrint"
    QCheckBox* pageNumberCheck = nullptr;    // "PageNoPrint"
    QCheckBox* commentCheck = nullptr;       // "CommentPrint"
    QLineEdit* commentEdit = nullptr;        // "Edit1"
    QCheckBox* shipmentCheck = nullptr;      // "DefValPrint"
    QPushButton* valueColorButton = nullptr; // "DBFontColor"
    QLabel* valueSample = nullptr;           // "Panel1"
    QRadioButton* portraitRadio = nullptr;   // "POrientP"
    QRadioButton* landscapeRadio = nullptr;  // "POrientL"
    QComboBox* paperCombo = nullptr;         // "PSize"
    std::array<QLineEdit*, 4> marginEdits{}; // "TopMarg", "BottomMarg", "LeftMarg", "RightMarg"
    QLineEdit* cellHeightEdit = nullptr;     // "DBHeight"
    QComboBox* fontCombo = nullptr;          // "DBFont"
    QComboBox* fontSizeCombo = nullptr;      // "DBFontSize"

    static constexpr int kWidth = 639, kHeight = 403;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    // Escape closes as the close box does: through the checks.
    void reject() override;

private:
    void buildControls();
    void applyTexts(const QString& languageIniPath);
    void refreshForShowing();
    void showValueColor();
    void updateCommentColor();
    bool showCheck(const report::EntryCheck& check, QWidget* field, bool withFlag);
    QString message(MsgId id) const;

    PageSetupLinks links_;
    class UnderMainWindow* placement_ = nullptr;
    PageSketch* sketch_ = nullptr;
    QStringList families_;
    QString settingsIniPath_;
    QString commentBefore_; // the comment before the last key, for the typing limit
    int valueColor_ = 0;
    bool inputError_ = false;
    bool checking_ = false;
    bool saveFailureShown_ = false;
};
