#pragma once
// The parameter data store: the working set (one typed record per parameter, beside the loaded drive's
// definition of the same index), the undo and redo lists, the language texts and the maintenance flags of
// a run. Needs no window; the inspection window (StoreInspector) shows it as text.
#include "core/LoadedDrive.h"
#include "core/Messages.h"
#include "core/UndoHistory.h"
#include "platform/TextGrid.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <vector>

// Columns of the working set's text view (the data-store window, the cell edge of StoreCells).
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

// How the last transfer of a parameter went; Failed marks it in the table until one goes through.
enum class LastTransfer : std::uint8_t { Clear, Failed };

// The working state of one parameter. The value and limits stay text: the value rules read text.
struct WorkingParameter {
    QString value;
    QString high, low;    // the limits as loaded: the definition's, or the values its rules name
    bool changed = false; // differs from its default
    bool toWrite = false; // edited since the drive last confirmed it
    bool hex = false;     // shown in hexadecimal
    bool blind = false;
    bool selected = false;
    bool picked = false; // taken by the running selected-transfer command
    LastTransfer lastTransfer = LastTransfer::Clear;

    bool operator==(const WorkingParameter&) const = default;
};

const QStringList& paraDatColumnNames();
const QStringList& uParaColumnNames();

class ParameterStore {
public:
    ParameterStore();

    // Loads the language file of the context as the store's creation does (its questions to the asker,
    // startupAborted, the context's captions). Does nothing while startupAborted is set.
    void loadLanguageTexts(ProgramContext& context, Asker& asker);

    // The working set: record i belongs to definition i. Until a drive type is loaded it holds room for
    // the largest one.
    int workingCount() const { return int(working_.size()); }
    void resizeWorking(int count) { working_.resize(std::size_t(std::max(count, 0))); }
    const std::vector<WorkingParameter>& workingSet() const { return working_; }
    // Record `index`; null outside the set.
    const WorkingParameter* working(int index) const;
    WorkingParameter* working(int index);

    // The text edge: a column of record `index` as the parameter files and the data-store window write
    // it (flags "1"/"0"); "" outside the set. Writing a flag takes "1" as set, any other text as clear;
    // the No column follows the index and takes no writes.
    QString workingText(int col, int index) const;
    void setWorkingText(int col, int index, const QString& text);
    // The whole set as text: the column names in row 0, record i in row i + 1.
    TextGrid workingGrid() const;

    // The values committed in the table, to take back and apply again. The table's undo and redo
    // commands and its value entry change it; a refill of the table empties it.
    UndoHistory& history() { return history_; }
    const UndoHistory& history() const { return history_; }

    // Maintenance mode (all parameters listed and written) and its master level. Unlocking sets
    // them for the run; a new parameter set may end both.
    bool maintenance() const { return maintenance_; }
    bool superMaintenance() const { return superMaintenance_; }
    // Maintenance on, and the master level too when `master`; a level already on stays on.
    void enterMaintenance(bool master);
    void leaveMaintenance();

    // The language file's "General" section: its keys in file order and their texts (message n is
    // item n). The keys are read only by the data-store window.
    const QStringList& messageKeys() const { return messageKeys_; }
    const QStringList& messages() const { return messages_; }
    void setMessages(QStringList texts) { messages_ = std::move(texts); }

    // Message n; "" for a number outside the list.
    QString Msg(int n) const;
    QString Msg(MsgId id) const { return Msg(msgNumber(id)); }

private:
    std::vector<WorkingParameter> working_;
    UndoHistory history_;
    bool maintenance_ = false;
    bool superMaintenance_ = false;
    QStringList messageKeys_;
    QStringList messages_;
};
