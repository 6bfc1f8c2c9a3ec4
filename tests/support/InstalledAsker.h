#pragma once
// The Asker the tests hand to the layers below the windows: it asks whichever prompter is
// installed at the time (a test's ScriptedPrompter, else the default), as the program's does.
#include "core/Asker.h"
#include "platform/Prompter.h"

class InstalledPrompterAsker : public Asker {
public:
    BoxAnswer ask(const Notice& n) override {
        return Prompter::instance().message(n.text, n.caption, n.icon, n.buttons);
    }
    QString chooseFile(const FileChoice& c) override {
        return Prompter::instance().openFile(c.title, c.folder, c.filter, c.filterIndex);
    }
    QString chooseSaveFile(const FileChoice& c, const QString& fileName, int* chosenFilter) override {
        Prompter& prompter = Prompter::instance();
        const QString path = prompter.saveFile(c.title, c.folder, c.filter, c.filterIndex, fileName);
        if (chosenFilter)
            *chosenFilter = prompter.lastFilterIndex();
        return path;
    }
    void letEventsThrough() override;
};

// One for the whole test program (it holds no state).
Asker& installedAsker();
