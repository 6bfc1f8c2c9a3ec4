#pragma once
// The parameter data store: the definition table, the working table, the undo and redo
// lists, the language texts and the maintenance flags of a run. Needs no window; the
// inspection window (StoreInspector) shows it.
#include "core/Messages.h"
#include "platform/TextGrid.h"

#include <QHash>
#include <QString>
#include <QStringList>

// Columns of the definition table ParaDat.
enum ParaDatCol {
    PD_ComNo = 0,
    PD_DIndex,
    PD_Default,
    PD_FName,
    PD_FTitle,
    PD_Unit,
    PD_Byte,
    PD_Sign,
    PD_HIndex,
    PD_High,
    PD_LIndex,
    PD_Low,
    PD_TMul,
    PD_Mul,
    PD_Memory,
    PD_Flag,
    PD_Quick,
    PD_CurrentVoltIndex,
    PD_No,
    PD_ColCount
};
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
    void FormCreate(ProgramContext& context, Asker& asker);

    TextGrid ParaDat{PD_ColCount, 3000};
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

    // Communication numbers of the loaded drive type: every number followed by ",".
    const QString& ComNoList() const { return comNoList_; }
    // Rebuilds ComNoList and the look-up index from ParaDat rows 1..paraCountAll+1.
    void rebuildComNoIndex(int paraCountAll);
    // The parameter index of a whole four-character number, -1 when absent. O(1).
    int indexOfComNo(const QString& comNo) const;

private:
    QString comNoList_;
    QHash<QString, int> comNoIndex_;
};
