#pragma once
// The value being typed into the cursor row's value cell: the keys so far and the text the
// cell showed before the first key (shown again when the entry is given up).
#include <QString>

#include <algorithm>

class PendingEntry {
public:
    bool active() const { return active_; }
    int typedCount() const { return typedCount_; }
    // The keys typed so far.
    const QString& text() const { return text_; }
    const QString& savedCellText() const { return savedCellText_; }

    // A key is taken: the first of an entry keeps the cell's text; the first after a restart
    // starts a new value.
    void type(QChar c, const QString& cellText) {
        if (!active_) {
            savedCellText_ = cellText;
            active_ = true;
        }
        if (typedCount_ == 0)
            text_.clear();
        text_.append(c);
        ++typedCount_;
    }
    // Backspace: the last key goes.
    void eraseLast() {
        if (text_.isEmpty())
            return;
        text_.chop(1);
        typedCount_ = std::max(typedCount_ - 1, 0);
    }
    // The keys are dropped; the next key starts a new value (the entry stays open).
    void restart() {
        text_.clear();
        typedCount_ = 0;
    }
    // The entry ends: committed or given up.
    void end() {
        restart();
        active_ = false;
    }

private:
    bool active_ = false;
    QString savedCellText_;
    int typedCount_ = 0;
    QString text_;
};
