#pragma once
// Numbered messages of the language file shown in boxes whose caption is message 0.
#include "platform/Prompter.h"
#include <QString>

class QWidget;

// Message n of the loaded language file; "" when none is loaded or n is outside it.
QString Msg(int n);
// Shows message n with the caption MsgCaption.
BoxAnswer ShowMsg(int n, BoxIcon icon = BoxIcon::Warning, BoxButtons buttons = BoxButtons::Ok,
                  QWidget* parent = nullptr);
