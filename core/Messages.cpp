#include "core/Messages.h"

#include "core/ParameterStore.h"
#include "core/ProgramContext.h"

QString Msg(int n) {
    const ParameterStore* p = globals().Parameters;
    return p ? p->Msg(n) : QString();
}

BoxAnswer ShowMsg(int n, BoxIcon icon, BoxButtons buttons, QWidget* parent) {
    return Prompter::instance().message(Msg(n), globals().MsgCaption, icon, buttons, parent);
}
