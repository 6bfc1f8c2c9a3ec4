#pragma once
// The inverter information and the trip data, written into a result text.
//
// The inverter information lists identity and history values of the drive in the order and
// with the captions of the language file's section "InverterInfo": each key is a line's
// caption (its own separator included) and its value the communication number shown after
// it; the first key's value is the title, the second key's the trip data's title, and a key
// beginning with "cr" is an empty line. The trip data read every monitorable item of the
// drive type once more after a trip.
//
// Every value is read through the link's main exchange. A number the drive type lacks is
// shown as "-" and never sent. Over MODBUS-RTU a 32-bit value is not sent either: its low 16
// bits would pass for the value, so its line gives the reason instead (a bit of it is read).
#include "monitor/MonitorModel.h"

#include <QString>
#include <QStringList>

class Asker;
class CommLink;
class DriveNames;
class ResultText;
struct ProgramContext;

class InverterInfo {
public:
    // `context` gives the language file and drive catalogue paths, the selected drive type,
    // the decimal comma and the messages.
    InverterInfo(CommLink& link, DriveNames& names, const ProgramContext& context, Asker& asker);

    // Appends the inverter information to `out`: its title, then one line per key. With no
    // keys in the section, NoItemsToShow and no lines; false then. `lists` are the drive type's
    // monitor lists (the trip names of the trip history lines, the items of the trip data).
    bool readInverterInfo(ResultText& out, const MonitorItemLists& lists);
    // The trip data: the first line becomes the trip data's title (added when `out` is
    // empty), then an empty line and one line per monitorable item, "<name> : <value>".
    void readTripData(ResultText& out, const MonitorItemLists& lists);

    // The section's keys and values as the last readInverterInfo found them.
    const QStringList& keys() const { return keys_; }
    const QStringList& numbers() const { return numbers_; }

private:
    struct Reading {
        qint64 raw = 0;   // sized and signed as the parameter is
        double value = 0; // raw / Mul
    };
    Reading readParameter(int index);
    // An identity value as a signed 16-bit number; false (nothing sent) when the drive type
    // lacks it.
    bool readIdentity(const char* comNo, int& value);
    QString lineText(const QString& code, int index, const MonitorItemLists& lists);

    CommLink& link_;
    DriveNames& names_;
    const ProgramContext& context_;
    Asker& asker_;
    QStringList keys_, numbers_;

    // Identity of the drive read at the start of readInverterInfo.
    int cpu_ = 0;
    QString formCode_, typeCode_;
    QString typeName_;
    bool typeNameKnown_ = false;
    QString cpu2_;
};
