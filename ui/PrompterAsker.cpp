#include "ui/PrompterAsker.h"

#include "platform/Prompter.h"
#include "platform/PumpEvents.h"

BoxAnswer showNotice(const Notice& notice, QWidget* parent) {
    return Prompter::instance().message(notice.text, notice.caption, notice.icon, notice.buttons, parent);
}

BoxAnswer ShowMsg(const ProgramContext& context, MsgId id, BoxIcon icon, BoxButtons buttons,
                  QWidget* parent) {
    return showNotice(MsgNotice(context, id, icon, buttons), parent);
}

BoxAnswer PrompterAsker::ask(const Notice& notice) {
    return showNotice(notice);
}

QString PrompterAsker::chooseFile(const FileChoice& choice) {
    return Prompter::instance().openFile(choice.title, choice.folder, choice.filter, choice.filterIndex);
}

QString PrompterAsker::chooseSaveFile(const FileChoice& choice, const QString& fileName, int* chosenFilter) {
    Prompter& prompter = Prompter::instance();
    const QString path =
        prompter.saveFile(choice.title, choice.folder, choice.filter, choice.filterIndex, fileName);
    if (chosenFilter)
        *chosenFilter = prompter.lastFilterIndex();
    return path;
}

void PrompterAsker::letEventsThrough() {
    PumpEvents();
}
