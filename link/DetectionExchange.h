#pragma once
// The start-up detection's exchange: the link's own (CommLink::exchange) with a fixed reply
// time, no station byte, the default MODBUS address, no block read and the link icon left alone.
#include "link/CommLink.h"

#include <QString>
#include <cstdint>

// Options of the search's probes at the MODBUS silent interval `frameGapMs` of the speed in
// use: any answer there means a drive.
inline ExchangeOptions detectionOptions(bool modbus, int frameGapMs, int replyTimeMs) {
    ExchangeOptions o;
    o.protocol = modbus ? Protocol::Modbus : Protocol::Inverter;
    o.replyTimeoutMs = replyTimeMs;
    o.frameGapMs = frameGapMs;
    o.icon = IconMode::None;
    o.searching = true;
    return o;
}

// A detection request; `omitFirstByte` for the repeat that follows a failed probe.
inline FrameRequest detectionRequest(const QString& comNo, char kind, std::int64_t value,
                                     bool omitFirstByte) {
    FrameRequest r;
    r.comNo = comNo;
    r.kind = kind;
    r.value = value;
    r.allowBlockRead = false;
    r.omitFirstByte = omitFirstByte;
    return r;
}
