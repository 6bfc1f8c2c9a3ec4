#pragma once
// The parameter data store: the working table (the definitions are the loaded drive's), the undo and redo
// lists, the language texts and the maintenance flags of a run. Needs no window; the
// inspection window (StoreInspector) shows it.
#include "core/LoadedDrive.h"
#include "core/Messages.h"
#include "platform/TextGrid.h"

#include <QString>
#include <QStringList>

// Columns of the working table UPara.
enum UParaCol {
    UP_Value = 0,
    UP_HValue,
    UP_LValue,
    UP_ChangeIndex,
    UP_WriteIndex,
    UP_HexIndex,
    UP_BlindIndex,
    UP_SelectIndex,
    UP_OneSelectIndex,
    UP_CommErrIndex,
    UP_No,
    UP_ColCount
};

struct ProgramContext;

const QStringList& paraDatColumnNames();
const QStringList& uParaColumnNames();

class ParameterStore {
public:
    ParameterStore();

    // Loads the language file of the context as the store's creation does (its questions to the asker,
    // startupAborted, the context's captions). Does nothing while startupAborted is set.
    void loadLanguageTexts(ProgramContext& context, Asker& asker);

    TextGrid UPara{UP_ColCount, 3000};

    bool MainteFlag = false;
    bool SMainteFlag = false;

    QStringList MsgSec;   // keys of the language file's "General" section, file order
    QStringList Messages; // their texts: message n is item n

    QStringList UndoComNo, UndoVal;
    QStringList RedoComNo, RedoVal;
    QString UndoEdit, RedoEdit;

    // Message n; "" for a number outside the list.
    QString Msg(int n) const;
    QString Msg(MsgId id) const { return Msg(msgNumber(id)); }
};
