#pragma once
// Shows what core composed through the Asker the caller handed in: the boxes core operations
// hand back and the language file's messages.
#include "core/Asker.h"
#include "core/Messages.h"

struct ProgramContext;

// Shows the language file's message with the context's caption (texts.caption).
BoxAnswer ShowMsg(Asker& asker, const ProgramContext& context, MsgId id, BoxIcon icon = BoxIcon::Warning,
                  BoxButtons buttons = BoxButtons::Ok);
