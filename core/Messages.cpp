#include "core/Messages.h"

#include "core/ParameterStore.h"
#include "core/ProgramContext.h"

QString Msg(MsgId id) {
    const ParameterStore* p = globals().Parameters;
    return p ? p->Msg(id) : QString();
}

BoxAnswer ShowMsg(MsgId id, BoxIcon icon, BoxButtons buttons, QWidget* parent) {
    return Prompter::instance().message(Msg(id), globals().MsgCaption, icon, buttons, parent);
}
