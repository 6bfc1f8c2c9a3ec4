#pragma once
// The prompter of the tests: records every box and answers from a queue. A box the test did
// not queue an answer for fails the test (and is answered Cancel/OK so the code goes on).
#include "platform/Prompter.h"

#include <QStringList>
#include <deque>
#include <vector>

class ScriptedPrompter : public Prompter {
public:
    struct Box {
        QString text;
        QString caption;
        BoxIcon icon;
        BoxButtons buttons;
    };

    // Installs itself; the destructor restores the previous prompter.
    ScriptedPrompter();
    ~ScriptedPrompter() override;

    // Queue the answer of the next box, the file name of the next file dialog ("" = cancel),
    // and so on. Each queue is used in order.
    void answer(BoxAnswer a) { answers_.push_back(a); }
    void answerFile(const QString& path) { files_.push_back(path); }
    void answerColor(bool ok, QColor c = QColor()) { colors_.push_back({ok, c}); }
    // Accepts any number of boxes without failing (answered with the first button).
    void allowUnexpected(bool allow = true) { allowUnexpected_ = allow; }

    const std::vector<Box>& boxes() const { return boxes_; }
    QStringList texts() const;
    int fileDialogs() const { return fileDialogs_; }
    QStringList fileFilters() const { return filters_; }
    void clear() { boxes_.clear(); filters_.clear(); }
    // Answers still queued (a test that queued more than was asked can check this).
    size_t pendingAnswers() const { return answers_.size() + files_.size(); }

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
    std::deque<QString> files_;
    std::deque<std::pair<bool, QColor>> colors_;
    QStringList filters_;
    int fileDialogs_ = 0;
    bool allowUnexpected_ = false;
};
