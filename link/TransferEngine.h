#pragma once
// The transfer engine: Parameter Import (every parameter from the drive into
// the working table), Parameter Export (every parameter of the table to the drive) and
// Parameter Comparison (read every parameter and list those that differ). One request per
// parameter in table order; a failure or difference may ask Abort/Retry/Ignore; results go
// to the parameter tables and to the result window's text.
//
// TransferEngine needs no window: it shows its progress through a WorkView.
#include "core/Messages.h"
#include "link/ProgressThrottle.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

class Asker;
class CommLink;
class Options;
class ResultText;
struct ParameterDefinition;
struct ProgramContext;

// What a result is about; a transfer job is one of the first three.
enum TransferModes : std::uint32_t {
    kModeImport = 0,
    kModeExport = 1,
    kModeComparison = 2,
    kModeInverterInfo = 3,
    kModeTripInfo = 4,
};

// One whole-table transfer: the command that owns it sets it up, the engine runs it (and keeps
// how the run went) and the result window names its result after it.
struct TransferJob {
    std::uint32_t mode = kModeImport;
    int lastParaIndex = 0; // the last parameter index the job visits (inclusive)
};

// The Abort/Retry/Ignore box of a parameter whose exchange failed: `heading`, then `second`
// followed by the parameter's title, then what each button does. Events go through after it.
enum class ParameterAnswer { Abort, Retry, Ignore };
ParameterAnswer askAbortRetryIgnore(Asker& asker, const ProgramContext& context, MsgId heading, MsgId second,
                                    const QString& title);

// After kSilentDriveExchanges silent exchanges in a row, whether the drive has gone: parameter
// index is read as the connect's probe is read (a late reply awaited, asked once more after
// silence), and only a drive that sends nothing to it is gone. A lossy line that still answers
// is not; the silent count starts again either way.
bool driveHasGone(CommLink& link, int index);

// What the engine shows; TransferWindow implements it.
class WorkView {
public:
    virtual ~WorkView() = default;
    virtual void setStatusText(const QString& text) = 0;
    virtual void setNoteText(const QString& text, bool visible) = 0;
    virtual void setProgress(int percent) = 0;
    // The ready state (Start and Cancel shown and enabled, OK hidden) or the running state
    // (Start and Cancel disabled).
    virtual void setStartCancelEnabled(bool enabled) = 0;
    virtual void showReadyButtons() = 0;
    // The outcome is shown: the note hidden (unless kept), Start and Cancel hidden, OK shown.
    virtual void showOkButton(bool keepNote) = 0;
    virtual void closeWindow() = 0;
    // Repaint now (the exchange that follows blocks the event loop).
    virtual void repaintNow() = 0;
};

// The texts of a transfer, from the language file.
struct TransferTexts {
    QString caption, start, cancel, ok; // the window's
    QString errorHeading, differenceHeading, noItem, noError, noDifference, maintenanceTitle,
        driveColumnTitle, programColumnTitle, titleColumnTitle; // the result's and the status line's
};

class TransferEngine {
public:
    TransferEngine(ProgramContext& context, const Options& options, CommLink& link);

    void setView(WorkView* view) { view_ = view; }
    // The job the next showing and Start are for (not owned; read at Start); without one they
    // do nothing. Forgets how the last run went.
    void setJob(const TransferJob* job) {
        job_ = job;
        ran_ = false;
        resultWanted_ = true;
    }
    // The result text of the job (the command's result window); may be null.
    void setResult(ResultText* result) { result_ = result; }
    // How the result is saved without showing it (the result window's Save); set by the command,
    // null for none.
    void setResultSaver(std::function<void()> save) { saveResult_ = std::move(save); }

    // At each showing: texts, the first status line, the ready state.
    void showReady();
    // Start: runs the job over parameters 0..lastParaIndex.
    void start();
    bool running() const { return running_; }
    // Start was pressed since the job was set.
    bool ran() const { return ran_; }
    // The result window is still wanted: the run was not aborted and the transfer window did
    // not show its outcome itself.
    bool resultWanted() const { return resultWanted_; }

    // The transfer window's texts, read at each showing.
    const TransferTexts& texts() const { return texts_; }
    static constexpr int kColumnWidth = 10;

    int errorCount() const { return errors_; }
    int differenceCount() const { return differences_; }

private:
    enum class Answer { Abort, Retry, Go };
    void loadTexts();
    void runImport();
    void runExport();
    void runComparison();
    // The result text saved as the options ask (the caller's saver, else the result file).
    void saveResult();
    void endOfRun();
    // The Abort/Retry/Ignore box when its option is on; Go when counted.
    Answer ask(bool enabled, MsgId heading, MsgId second, const QString& title);
    // The progress after a step, shown through the throttle: events are let through at once,
    // the bar is drawn while the next request is on the wire (drawProgress).
    void progress(int nextIndex);
    // The last progress the throttle held back, at the end of the loop.
    void showHeldProgress();
    // Draws a progress that is due and not drawn yet.
    void drawProgress();
    // A failed request (or a difference found) of parameter `index`: the Abort/Retry/Ignore
    // box with messages heading and second when `asks`, and what Ignore counts and lists.
    struct Failure {
        bool asks;
        MsgId heading;
        MsgId second;
        std::function<void()> ignored;
    };
    // Runs `request` for every parameter 0..lastParaIndex that `skipped` does not pass over,
    // with the progress after each: Retry repeats the request, Abort ends the job (aborted_).
    void eachParameter(const std::function<std::optional<Failure>(int index)>& request,
                       const std::function<bool(int index)>& skipped = {});
    // A failed exchange of an import or export: counted, and listed unless a hidden
    // maintenance parameter.
    Failure commError(int index);
    // Counts an error of parameter `index` and lists it, with `reason` when given, unless a
    // hidden maintenance parameter.
    void listError(int index, std::optional<MsgId> reason);
    QString shownTitle(int index) const;
    QString shownName(int index) const;
    void setFlag(int index, int flag);
    // `lowHalf`: the drive's side is a register holding the low 16 bits of a 32-bit value.
    QString comparisonLine(int index, std::int64_t drive, std::int64_t table, bool lowHalf) const;
    void importModelStep();

    const ParameterDefinition& definition(int index) const;
    const QString& valueCell(int index) const;

    ProgramContext& context_;
    const Options& options_;
    CommLink& link_;
    const TransferJob* job_ = nullptr;
    int lastIndex_ = 0; // the job's last index as far as the table reaches
    bool ran_ = false;
    bool resultWanted_ = true;
    WorkView* view_ = nullptr;
    ResultText* result_ = nullptr;
    std::function<void()> saveResult_;
    TransferTexts texts_;
    int errors_ = 0;
    int differences_ = 0;
    bool autoClose_ = true;
    bool running_ = false;
    bool aborted_ = false;
    ProgressThrottle progressThrottle_;
    int percent_ = 0;
    bool drawDue_ = false;
};
