#pragma once
// The monitor's set-up as the monitor file and the CSV export hold it: taken from the model
// when a record is written, and given back to the model when a file is read. A file's set-up
// goes back through the model's own handlers, so it passes the checks a typed value passes.
#include "monitor/MonitorCsv.h"
#include "monitor/MonitorFile.h"

#include <QString>

class MonitorModel;

// The set-up lines of a monitor file for the model as it stands. `timeBase` and
// `errorCount` are what the chart shows of the record (the run's time label and its failed
// reads).
MonitorFileHeader monitorFileHeader(const MonitorModel& model, const QString& timeBase, int errorCount);

// A file's set-up read by MonitorFile::read given to the model: the three status options
// (current form), the Y maximum, the trigger, and the channels the file carries (item,
// multiplier, offset, on); then the channels are counted as a click on a channel box counts
// them. The older form gives the time base's position instead of the status options and the
// trigger. Nothing happens for a refused file. The samples are the store's already.
void applyMonitorFileHeader(MonitorModel& model, const MonitorFileHeader& header,
                            const MonitorFile::ReadResult& result);

// The first channel that is on and holds points: the one whose points scroll the chart.
// -1 when none does.
int scrollingChannelOf(const MonitorModel& model);

// The CSV export's set-up for the model as it stands: the drive type and form, each channel's
// item text, state and scale, the captions of the language file (section "PrintMon", messages
// 55 and 84) and the decimal comma.
MonitorCsvSetup monitorCsvSetup(const MonitorModel& model, int errorCount);
