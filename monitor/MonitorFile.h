#pragma once
// The monitor data file (".mon"): the monitor's set-up and every sample of a run, as text
// lines ending in CR LF.
//
//   1 "###"               5 alarm word taken (1/0)   8 Y maximum (text)   12 trigger level
//   2 drive type name     6 trip code taken (1/0)    9 time per division  13 trigger delay
//   3 drive form name     7 trip data kept (1/0)    10 trigger channel    14 trigger on (1/0)
//   4 CPU version                                   11 trigger slope      15 failed reads
//  16 "Data1",item index x10   17 "Data2",multiplier step x10   18 "Data3",offset x10
//  19 "Data4",on x10           20.. one row per sample: time in ms, then ten values with six
//                                   decimals (the value unscaled; 0.000000 for a channel off)
//
// An older five-channel form without the "###" line is read too (never written): lines 1
// and 2 the type and form, lines 3 to 6 the set-up of CH1..CH5 in fields 1..5, and from
// line 7 on at most 495 samples.
//
// Numbers are written with a decimal point and read with either a point or a comma, never
// by the system locale.
#include "platform/TextFile.h"

#include <QString>
#include <QStringList>

#include <array>

class Asker;
class SampleStore;
class SampleWindow;
struct ProgramContext;

// One channel's set-up as the file holds it.
struct ChannelSetup {
    int itemIndex = 0;                    // position in the drive type's monitor item list
    int multiplierStep = 10;              // the "Multi." up-down, 1..100: the multiplier is step x 0.1
    QString offset = QStringLiteral("0"); // the "Offset" edit's text, 0..500 once checked
    bool on = false;

    float multiplier() const { return float(multiplierStep) * 0.1f; }
    // What the "Multi." edit shows for the step: one decimal ("0.7", "1.0", "10.0").
    QString multiplierText() const;
};

// The identity and set-up lines of a monitor file. Text fields are what the window's edits
// and labels show; the window passes them through its own checks when a file is read.
struct MonitorFileHeader {
    QString typeName, formName, cpuVersion;
    bool alarmWord = false; // the alarm word is read during runs
    bool tripCode = false;  // the trip code is read during runs
    bool tripData = false;  // the trip data are kept after a trip
    QString yMaximum = QStringLiteral("100");
    QString timeBase;       // seconds per division as the time label shows it
    int triggerChannel = 0; // 0..9 = CH1..CH10
    int triggerSlope = 0;   // 0 up, 1 down, 2 both
    QString triggerLevel = QStringLiteral("0");
    QString triggerDelay = QStringLiteral("0");
    bool triggerOn = false;
    int errorCount = 0; // failed reads of the run
    std::array<ChannelSetup, 10> channels;
    // Older form only: the time-base up-down's position; -1 in the current form.
    int timeBasePosition = -1;
};

namespace MonitorFile {

inline constexpr int kOlderChannels = 5;
inline constexpr int kOlderMaxSamples = 495;

// The lines of the file for this set-up and every sample the store holds (none before a
// run). A channel that is on writes its values unscaled, as 32-bit floats.
QStringList lines(const MonitorFileHeader& header, const SampleStore& store);
// The lines written in the code page through a temporary file and a rename: a failure
// leaves no half file. accept as TextFile::writeEncoded asks it.
bool write(const QString& path, const MonitorFileHeader& header, const SampleStore& store,
           QString* error = nullptr, const TextFile::AcceptSubstitutes& accept = {});

enum class Form { Current, Older };

struct ReadResult {
    enum class Outcome {
        Refused,    // another drive type, Cancel at another CPU version, or a bad set-up line:
                    // the store and `header` are as they were
        Read,       // set-up and every sample read
        ReadPartly, // a sample row held a bad number: the samples before it were read
    };
    Outcome outcome = Outcome::Refused;
    Form form = Form::Current;
    // Set-up channels the file carries: 10, or 5 for the older form (CH6..CH10 keep theirs).
    int channels = 10;
    // Sample rows beyond what the store holds, left out (the first ones were read).
    int rowsLeftOut = 0;
    // The file ends inside its last sample row (a save cut off): that row was left out.
    bool lastRowIncomplete = false;

    bool accepted() const { return outcome != Outcome::Refused; }
};

// Reads a monitor file of either form, already split into lines. The file is checked
// against the selected drive (`context`: type, CPU version, messages and their caption): a
// file of another type is refused with FileTypeDiffers and FileDriveNotReadable; one of another CPU version
// asks with messages 14 and 87, and only OK reads it. A number that is not one shows the conversion box: in
// the set-up lines that refuses the file; in a sample row the reading stops there, keeping the rows before
// it.
//
// Once accepted, `header` holds the file's set-up (for the older form only what it
// carries: the type and form, the Y maximum, the time-base position and CH1..CH5), an item
// index outside 0 .. itemCount - 1 selected as 0 (itemCount <= 0: not checked), a trigger
// channel or slope outside its list as 0, a multiplier step held in 1..100. The store is
// emptied and holds the samples read, channels that are off holding none; the store's
// scales are left to the caller, who applies the set-up.
//
// The writer ends every line: a last row without its line end (`lastLineEnded` false) was
// cut short and is left out, not read as a sample whose last value lost its digits.
ReadResult read(const QStringList& lines, const ProgramContext& context, int itemCount, Asker& asker,
                MonitorFileHeader& header, SampleStore& store, bool lastLineEnded = true);

// A sample row is some 130 bytes and no set-up line much longer; a line far above that is
// a damaged file, which is refused before any of it is split or shown.
inline constexpr qsizetype kMaxLineBytes = 8 * 1024;
// Whether the file's last byte ends a line (an empty file does).
bool lastLineEnded(const QString& path);

// The chart's window after a file was read: as after a run whose points arrived one by one
// on the scrolling channel (the first channel that is on; -1: none), then the whole record
// in view with a scope of 100 and no pre-trigger shift.
void showWholeRecord(SampleWindow& window, const SampleStore& store, int scrollingChannel);

// ---- Save As: the file's name and what is written ----------------------------------------

enum class SaveKind { Monitor, Csv, Bmp, Jpeg, Wmf };

// The entries of the data-file dialog (1 .mon, 2 .csv, 3 .bmp, 4 .jpg, 5 .wmf) and of the
// picture dialog of continuous recording (1 .bmp, 2 .jpg, 3 .wmf): the defaults when the
// language file lacks the key.
inline constexpr const char* kSaveFilterDefault =
    "Monitor Datas(*.mon)|*.mon|Monitor Datas(*.csv)|*.csv|Monitor Picture(*.bmp)|*.bmp|"
    "Monitor Picture(*.jpg)|*.jpg|Monitor Picture(*.wmf)|*.wmf";
inline constexpr const char* kPictureFilterDefault =
    "Monitor Picture(*.bmp)|*.bmp|Monitor Picture(*.jpg)|*.jpg|Monitor Picture(*.wmf)|*.wmf";
inline constexpr const char* kOpenFilterDefault = "Monitor Datas(*.mon)|*.mon";

// The dialog entry preset from the last file name: data-file dialog .wmf 5, .jpg 4, .bmp 3,
// .csv 2, else 1; picture dialog .wmf 3, .jpg 2, else 1 (any case).
int saveFilterIndex(const QString& lastFileName, bool picturesOnly);
// A name ending in none of the known extensions (any case) gets the chosen entry's: "trend"
// -> "trend.mon", "trend.txt" -> "trend.txt.mon"; "A.Mon" stays. The picture dialog knows
// .bmp, .jpg and .wmf only.
QString nameWithExtension(const QString& name, int filterIndex, bool picturesOnly);
// What a name (with its extension) is written as; a name without a known one is a data file.
SaveKind saveKindOf(const QString& name);

} // namespace MonitorFile
