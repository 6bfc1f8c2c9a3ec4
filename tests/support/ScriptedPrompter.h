#pragma once
// The tests' scripted dialogs asked as core's Asker too: what an operation asks goes through
// the same script (boxes and file dialogs); letting events through is counted.
#include "core/Asker.h"
#include "support/ScriptedDialogs.h"

class ScriptedPrompter : public ScriptedDialogs, public Asker {
public:
    BoxAnswer ask(const Notice& n) override { return message(n.text, n.caption, n.icon, n.buttons); }
    QString chooseFile(const FileChoice& c) override {
        return openFile(c.title, c.folder, c.filter, c.filterIndex);
    }
    QString chooseSaveFile(const FileChoice& c, const QString& fileName, int* chosenFilter) override {
        const QString path = saveFile(c.title, c.folder, c.filter, c.filterIndex, fileName);
        if (chosenFilter)
            *chosenFilter = lastFilterIndex();
        return path;
    }
    void letEventsThrough() override { ++eventsLetThrough_; }
    int eventsLetThrough() const { return eventsLetThrough_; }

private:
    int eventsLetThrough_ = 0;
};
