#pragma once
// The "Environment Options" window: four tabs of widgets bound to the options object.
// Every change takes effect at once; closing checks the number fields and writes the
// settings. There is no OK or Cancel button.
#include <QDialog>
#include <QFrame>
#include <QHash>
#include <QPointer>
#include <functional>

class Asker;
class Options;
struct ProgramContext;
class UpDownOption;
class ColorOption;
class CheckOption;
class QCheckBox;
class QLabel;
class QPushButton;
class QTabWidget;
class UpDownEdit;
class StoreInspector;

// A colour swatch the user clicks (or double-clicks) to choose its colour.
class ColorSwatch : public QFrame {
    Q_OBJECT
public:
    ColorSwatch(ColorOption& option, bool singleClick, QWidget* parent = nullptr);
    void refresh();
    // Opens the colour dialog preset to the swatch's colour; the swatch takes a confirmed one.
    void pick();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    ColorOption& option_;
    bool singleClick_;
};

class OptionsWindow : public QDialog {
    Q_OBJECT
public:
    // Builds the window and runs its creation: language texts, the settings loaded, the
    // drive connected through connectDrive (between loading and the file association), the
    // trip and alarm options enabled for the drive type. Nothing happens after a failed
    // start-up. The options are those of the program the context describes, their checks
    // ask through `asker`; none is owned.
    OptionsWindow(ProgramContext& context, Options& options, Asker& asker,
                  std::function<void()> connectDrive = {}, QWidget* parent = nullptr);
    ~OptionsWindow() override;

    Options& options() const { return options_; }
    // The window the data store's view stands under; without one, this window's parent's.
    void setMainWindow(const QWidget* main) { mainWindow_ = main; }
    QTabWidget* pages() const { return tabs_; }
    UpDownEdit* edit(const UpDownOption& option) const;
    QCheckBox* box(const CheckOption& option) const;

    // Closing runs the checks of the number fields; a refused check keeps the window open.
    void done(int r) override;

signals:
    // The window became the active window (the main window clears its table flag).
    void activated();

protected:
    void showEvent(QShowEvent* e) override;
    bool event(QEvent* e) override;

private:
    void build();
    void ApplyLanguage();
    void syncFromOptions();
    void showDataStore();
    void fitTabs();
    QCheckBox* addCheck(CheckOption& option, const QString& caption, QWidget* parent);
    UpDownEdit* addEdit(UpDownOption& option, QWidget* parent);
    ColorSwatch* addSwatch(ColorOption& option, bool singleClick, QWidget* parent);
    QLabel* label(const char* name, const QString& text, QWidget* parent);

    ProgramContext& context_;
    Options& options_;
    // Shows the boxes of the options' checks and of a failed save.
    Asker& asker_;
    QTabWidget* tabs_ = nullptr;
    QWidget* masters_ = nullptr;
    QHash<const CheckOption*, QCheckBox*> checks_;
    QHash<const UpDownOption*, UpDownEdit*> edits_;
    QList<ColorSwatch*> swatches_;
    QHash<QString, QLabel*> labels_;
    QPushButton* factorySettingsButton = nullptr;
    QPushButton* defaultColorsButton = nullptr;
    StoreInspector* datasView_ = nullptr;
    QPointer<const QWidget> mainWindow_;
    bool syncing_ = false;
};
