#include "app/Messages.h"

#include "app/Datas.h"
#include "app/Globals.h"

QString Msg(int n)
{
    const TParameters* p = globals().Parameters;
    return p ? p->Msg(n) : QString();
}

BoxAnswer ShowMsg(int n, BoxIcon icon, BoxButtons buttons, QWidget* parent)
{
    return Prompter::instance().message(Msg(n), globals().MsgCaption, icon, buttons, parent);
}
