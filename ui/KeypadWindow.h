#pragma once
// The keypad window: a picture of the drive's operation panel with its LED display, seven
// lamps and six keys, shown modally by the main window's "Key Pad" command. The panel's work
// is done by KeypadPanel; this window draws and routes events to it.
#include "monitor/KeypadPanel.h"

#include <QDialog>
#include <QPainterPath>
#include <QString>
#include <array>
#include <functional>
#include <memory>

class QAction;
class QEventLoop;
class QLabel;
class QLineEdit;
class QMenu;

// Draws LED characters as seven segments and a decimal point. The segment shapes come from
// the DSEG7 font when it is installed, else from plain polygons.
class LedSegments7 {
public:
    // The shapes for a digit cell of the given pixel height.
    explicit LedSegments7(int pixelSize);
    // Width of one character cell.
    qreal cellWidth() const { return cellWidth_; }
    qreal cellHeight() const { return cellHeight_; }
    // The lit segments of one character, for a cell whose top left is at `topLeft`.
    QPainterPath path(int segmentBits, QPointF topLeft) const;
    // True when the shapes come from the DSEG7 font.
    bool fromFont() const { return fromFont_; }
    // Family name of the loaded DSEG7 font ("" when it is not installed).
    static QString fontFamily();

private:
    void buildFromFont(const QString& family, int pixelSize);
    void buildPolygons(int pixelSize);
    std::array<QPainterPath, 8> segments_; // a..g, decimal point; cell origin at (0, 0)
    qreal cellWidth_ = 0;
    qreal cellHeight_ = 0;
    bool fromFont_ = false;
};

// A label in the LED font: each character is drawn by its segment code.
class LedLabel : public QWidget {
public:
    LedLabel(int pixelSize, Qt::Alignment alignment, QWidget* parent = nullptr);
    void setText(const QString& text);
    const QString& text() const { return text_; }
    void setColor(const QColor& c) { color_ = c; }
    std::function<void()> onDoubleClick;

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    LedSegments7 shapes_;
    QString text_;
    Qt::Alignment alignment_;
    QColor color_;
};

// A transparent area over a pictured key.
class KeyArea : public QWidget {
public:
    using QWidget::QWidget;
    std::function<void()> onPress, onRelease, onClick;

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
};

class KeypadWindow : public QDialog, public KeypadPanelView {
    Q_OBJECT
public:
    // The keypad of the program the context describes, with its options, on its link.
    KeypadWindow(ProgramContext& context, const Options& options, CommLink& link, QWidget* parent = nullptr);
    ~KeypadWindow() override;

    KeypadPanel& panel() { return *panel_; }

    // ---- Controls ----
    QLabel* panelImage = nullptr;
    LedLabel* FLED = nullptr;
    LedLabel* FCLabel = nullptr;
    QLabel *FRUN = nullptr, *FVEC = nullptr, *FECN = nullptr, *FMON = nullptr, *FPRG = nullptr,
           *FPC = nullptr, *FPF = nullptr;
    KeyArea *PaintBoxRunRKP = nullptr, *PaintBoxStopRKP = nullptr, *PaintBoxMonRKP = nullptr,
            *PaintBoxUpRKP = nullptr, *PaintBoxDownRKP = nullptr, *PaintBoxEntRKP = nullptr;
    QLabel* closeLabel = nullptr;
    QLabel* unitLabel = nullptr;
    QLineEdit* directInputEdit = nullptr;
    QMenu* contextMenu = nullptr;
    QAction *RKPDirectFC = nullptr, *RKPExit = nullptr, *RKPOnLine = nullptr, *RKPOffLine = nullptr;

    // Runs after the events of each pass of the panel loop (tests, benchmark).
    std::function<void()> passHook;

    // ---- KeypadPanelView ----
    void showLed(const QString& text) override;
    void showLamps(std::uint8_t bits) override;
    void showDirectText(const QString& text) override;
    void setDirectChecked(bool on) override;
    void setKeysVisible(bool on) override;
    void focusKeySink() override;
    void letEventsThrough() override;
    void waitEvents(int ms) override;
    void wake() override;
    void waitPainting(int ms) override;
    bool isShown() const override { return isVisible(); }
    void closeWindow() override;

    // Texts from the language file's section "KeyPad".
    void ApplyLanguage();
    // Every way the window ends comes here (Close, Alt+F4, the window manager).
    void done(int r) override;

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void preparePanel();
    void armAndPlace();
    void routeKey(QKeyEvent* e);
    void armStart();

    ProgramContext& context_;
    std::unique_ptr<KeypadPanel> panel_;
    std::array<QLabel*, 8> lamps_{}; // by lamp bit; bit 5 has none
    QEventLoop* waitLoop_ = nullptr; // the panel loop's wait, while it sleeps
    bool woken_ = false;
};
