#include "core/Messages.h"

#include "core/ParameterStore.h"
#include "core/ProgramContext.h"

QString Msg(const ProgramContext& context, MsgId id) {
    const ParameterStore* p = context.Parameters;
    return p ? p->Msg(id) : QString();
}

QString WriteFailureText(const ProgramContext& context, const QString& path, bool diskFull) {
    return Msg(context, diskFull ? MsgId::DiskFull : MsgId::WriteFailed) + u'\n' + path;
}

BoxAnswer ShowMsg(const ProgramContext& context, MsgId id, BoxIcon icon, BoxButtons buttons,
                  QWidget* parent) {
    return Prompter::instance().message(Msg(context, id), context.MsgCaption, icon, buttons, parent);
}
