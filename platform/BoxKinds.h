#pragma once
// The kinds of a message box: what it shows and which answers it offers.

enum class BoxIcon { None, Warning, Error, Stop, Information, Question };
// YesNoDefaultNo: a question whose safe answer is No (Enter and a box without windows give No).
enum class BoxButtons { Ok, OkCancel, YesNo, YesNoCancel, AbortRetryIgnore, YesNoDefaultNo };
enum class BoxAnswer { Ok, Cancel, Yes, No, Abort, Retry, Ignore };
