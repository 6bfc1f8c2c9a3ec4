#pragma once
// What CommLink's two source files share (CommLink.cpp: the exchange; CommLinkProbe.cpp: the
// connect and the exchanges taken from the event loop): an exchange on its way and a failed
// probe's wait for its late reply. Used only inside the link's own sources.
#include "link/CommLink.h"

#include <QtGlobal>
#include <algorithm>
#include <array>
#include <optional>

namespace commlink {

// A line that never falls quiet is read for at most this many reply time-outs; the next
// request then goes out and its reply's check decides. A failed probe waits as long for a
// late reply before the drive is taken for absent.
inline constexpr int kQuietDrainBound = 5;
// Repeats of a connect's probe, each after the late reply it met.
inline constexpr int kProbeRepeats = 3;

// Whole milliseconds that cover `us`, at least one: a wait of 0 would not advance.
inline int waitMsFor(qint64 us) {
    return int(std::max<qint64>(1, (us + 999) / 1000));
}

} // namespace commlink

struct CommLink::LateReplyWait {
    qint64 sinceUs = 0;
    qint64 lastByteUs = 0;
    bool bytes = false;
    // When the wait ends unless a byte comes: a time-out of quiet after the last byte, or
    // commlink::kQuietDrainBound time-outs without one.
    qint64 untilUs(qint64 quietUs) const {
        return bytes ? lastByteUs + quietUs : sinceUs + commlink::kQuietDrainBound * quietUs;
    }
};

// The wait for a quiet line before the next request, after a failure that brought bytes: what
// comes is read away until nothing has come for a reply time-out, for commlink::kQuietDrainBound
// time-outs at most.
struct CommLink::QuietWait {
    qint64 quietUs = 0;
    qint64 giveUpAtUs = 0;
    qint64 quietUntilUs = 0;
};

// One exchange on its way: what was asked, what has come.
struct CommLink::Exchange {
    FrameRequest request;
    ExchangeOptions options;
    ExchangeResult result;
    std::array<std::uint8_t, kFrameBufferSize> buf{};
    int have = 0;
    int expected = 1;
    qint64 sentUs = 0;
    bool over = false; // nothing more to wait for
    ExchangeFailure failure = ExchangeFailure::None;
    bool rtsUp = false;
    bool sent = false; // begin() has run
    // A background probe's repeat: the failed probe's answer, and while set the wait for its
    // late reply before the repeat goes out.
    std::optional<ExchangeResult> failedProbe;
    int repeats = 0;
    std::optional<LateReplyWait> lateWait;
    // A background exchange's wait for a quiet line before its request goes out, and whether
    // it is over (the request then goes out without waiting again).
    std::optional<QuietWait> quietWait;
    bool lineQuiet = false;
};
