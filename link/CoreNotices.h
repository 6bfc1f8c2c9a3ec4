#pragma once
// Shows what core composed, with the program's prompter: the boxes core operations hand
// back and the questions they ask on the way. Every layer above core reports through here.
#include "core/Asker.h"
#include "core/Messages.h"

class QWidget;
struct ProgramContext;

BoxAnswer showNotice(const Notice& notice, QWidget* parent = nullptr);
// In order; an empty list shows nothing.
void showNotices(const QList<Notice>& notices);
// Shows the language file's message with the context's caption (texts.caption).
BoxAnswer ShowMsg(const ProgramContext& context, MsgId id, BoxIcon icon = BoxIcon::Warning,
                  BoxButtons buttons = BoxButtons::Ok, QWidget* parent = nullptr);

// The Asker of the windows: boxes and file dialogs through the prompter, events let through
// by the event loop.
class PrompterAsker : public Asker {
public:
    BoxAnswer ask(const Notice& notice) override;
    QString chooseFile(const FileChoice& choice) override;
    QString chooseSaveFile(const FileChoice& choice, const QString& fileName, int* chosenFilter) override;
    void letEventsThrough() override;
};
