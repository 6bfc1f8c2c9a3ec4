#include "link/CoreNotices.h"

BoxAnswer ShowMsg(Asker& asker, const ProgramContext& context, MsgId id, BoxIcon icon, BoxButtons buttons) {
    return asker.ask(MsgNotice(context, id, icon, buttons));
}
