#pragma once
// The prompter of the tests: records every box and dialog and answers from a queue. A box the
// test did not queue an answer for fails the test (and is answered Cancel/OK so the code goes
// on). It stands on platform alone; ScriptedPrompter is the same script asked as core's Asker.
#include "platform/Prompter.h"

#include <QStringList>
#include <deque>
#include <vector>

class ScriptedDialogs : public Prompter {
public:
    struct Box {
        QString text;
        QString caption;
        BoxIcon icon;
        BoxButtons buttons;
    };

    struct FileDialog {
        bool save;
        QString title;
        QString folder;
        QString filter;
        int filterIndex;
        QString fileName;
    };

    // Installs itself; the destructor restores the widget prompter.
    ScriptedDialogs();
    ~ScriptedDialogs() override;

    // Queue the answer of the next box, the file name of the next file dialog ("" = cancel),
    // and so on. Each queue is used in order.
    void answer(BoxAnswer a) { answers_.push_back(a); }
    // chosenFilter is the 1-based entry the user "picks" (0: the one the dialog was opened with).
    void answerFile(const QString& path, int chosenFilter = 0) { files_.push_back({path, chosenFilter}); }
    void answerFont(bool ok, QFont f = QFont()) { fonts_.push_back({ok, f}); }
    void answerPrinter(bool ok) { printers_.push_back(ok); }
    void answerColor(bool ok, QColor c = QColor()) { colors_.push_back({ok, c}); }
    // Accepts any number of boxes without failing (answered with the first button).
    void allowUnexpected(bool allow = true) { allowUnexpected_ = allow; }

    const std::vector<Box>& boxes() const { return boxes_; }
    QStringList texts() const;
    int fileDialogs() const { return fileDialogs_; }
    QStringList fileFilters() const { return filters_; }
    const std::vector<FileDialog>& fileDialogRecords() const { return dialogs_; }
    void clear() {
        boxes_.clear();
        filters_.clear();
        dialogs_.clear();
    }
    // Answers still queued (a test that queued more than was asked can check this).
    size_t pendingAnswers() const {
        return answers_.size() + files_.size() + colors_.size() + fonts_.size() + printers_.size();
    }

    BoxAnswer message(const QString& text, const QString& caption, BoxIcon icon, BoxButtons buttons,
                      QWidget* parent = nullptr) override;
    QString openFile(const QString& title, const QString& folder, const QString& filter, int filterIndex = 1,
                     QWidget* parent = nullptr) override;
    QString saveFile(const QString& title, const QString& folder, const QString& filter, int filterIndex = 1,
                     const QString& fileName = QString(), QWidget* parent = nullptr) override;
    bool chooseColor(QColor& color, QWidget* parent = nullptr) override;
    bool chooseFont(QFont& font, QWidget* parent = nullptr) override;
    bool choosePrinter(QPrinter& printer, QWidget* parent = nullptr) override;

private:
    std::vector<Box> boxes_;
    std::deque<BoxAnswer> answers_;
    QString nextFile(bool save, const QString& title, const QString& folder, const QString& filter,
                     int filterIndex, const QString& fileName);

    std::deque<std::pair<QString, int>> files_;
    std::deque<std::pair<bool, QColor>> colors_;
    std::deque<std::pair<bool, QFont>> fonts_;
    std::deque<bool> printers_;
    std::vector<FileDialog> dialogs_;
    QStringList filters_;
    int fileDialogs_ = 0;
    bool allowUnexpected_ = false;
};
