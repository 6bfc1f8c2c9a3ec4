#pragma once
// The windows' way to show what the layers below composed: through the program's prompter.
// The layers below ask through the Asker they are handed; the shell hands them this one.
#include "link/CoreNotices.h"

class QWidget;

BoxAnswer showNotice(const Notice& notice, QWidget* parent = nullptr);
// Shows the language file's message with the context's caption (texts.caption).
BoxAnswer ShowMsg(const ProgramContext& context, MsgId id, BoxIcon icon = BoxIcon::Warning,
                  BoxButtons buttons = BoxButtons::Ok, QWidget* parent = nullptr);

// The program's Asker, made once by the shell and handed to every window and library that
// asks: boxes and file dialogs through the prompter (over the active window), events let
// through by the event loop.
class PrompterAsker : public Asker {
public:
    BoxAnswer ask(const Notice& notice) override;
    QString chooseFile(const FileChoice& choice) override;
    QString chooseSaveFile(const FileChoice& choice, const QString& fileName, int* chosenFilter) override;
    void letEventsThrough() override;
};
