#pragma once
// What CommLink's two source files share (CommLink.cpp: the exchange and the operation that
// steps it; CommLinkProbe.cpp: the connect and the operations run from the event loop). Used
// only inside the link's own sources.
#include "link/CommLink.h"

#include <QtGlobal>
#include <algorithm>
#include <array>
#include <optional>

namespace commlink {

// A failed probe waits this many reply time-outs, and this long at least, for a late reply
// before the drive is taken for absent (a drive busy storing answers seconds late); a line
// that keeps bringing bytes is read for twice as long at most.
inline constexpr int kLateReplyBound = 5;
inline constexpr qint64 kLateReplyFloorUs = 5LL * 1000 * 1000;
// Repeats of a connect's probe, each after the late reply it met. A drive that answers in
// order holds every request behind a late reply, and a read behind a failure needs its sync
// too: with one reply in seven late, three repeats still left one connect in a few hundred
// without the drive.
inline constexpr int kProbeRepeats = 8;
// A request owed longer than this is taken for lost: a reply later than that could pass for
// another request's.
inline constexpr qint64 kOwedForgetUs = 60LL * 1000 * 1000;

// Whole milliseconds that cover `us`, at least one: a wait of 0 would not advance.
inline int waitMsFor(qint64 us) {
    return int(std::max<qint64>(1, (us + 999) / 1000));
}

} // namespace commlink

// A failed probe's wait for its late reply: from the failure, the bytes that came since.
struct CommLink::LateReplyWait {
    qint64 sinceUs = 0;
    qint64 lastByteUs = 0;
    bool bytes = false;
    bool connect = true; // a connect's probe: it waits seconds at least
    bool silent = false; // the wait ended without a byte
    // How long it waits without a byte.
    qint64 boundUs(qint64 quietUs) const {
        const qint64 bound = commlink::kLateReplyBound * quietUs;
        return connect ? std::max(bound, commlink::kLateReplyFloorUs) : bound;
    }
    // When the wait ends unless a byte comes: a time-out of quiet after the last byte, or the
    // bound without one.
    qint64 untilUs(qint64 quietUs) const { return bytes ? lastByteUs + quietUs : sinceUs + boundUs(quietUs); }
};

// One request on the wire: what was asked, what has come.
struct CommLink::Exchange {
    FrameRequest request;
    ExchangeOptions options;
    ExchangeResult result;
    // A clean line reads the reply's bytes from the start (kFrameBufferSize at most); a line
    // that owes replies keeps more, to find the reply behind those owed.
    std::array<std::uint8_t, 4 * kFrameBufferSize> buf{};
    int have = 0;
    int expected = 1;
    qint64 sentUs = 0;
    qint64 deadlineUs = 0; // the time-out: from the request, or from the last owed reply read
    bool over = false;     // nothing more to wait for
    ExchangeFailure failure = ExchangeFailure::None;
    bool rtsUp = false;
    bool sent = false;    // begin() has run
    bool scan = false;    // replies owed to earlier requests may come first
    int replyAt = -1;     // scan: where the reply stands in buf
    bool anyByte = false; // a byte came, the drive's or not
    bool sync = false;    // sent only to learn that the drive owes nothing alike
};

// What a caller asked of the link: one exchange, or a connect's probe with its repeats. A
// request that an owed reply could be taken for is preceded by a sync, a read whose reply
// cannot pass for it: once that is answered (or the owed one has come), the drive owes
// nothing that could.
struct CommLink::Operation {
    enum class Phase { Start, Sync, Main, AwaitLate, Done };
    Phase phase = Phase::Start;
    FrameRequest request;
    ExchangeOptions options;
    bool probe = false; // a connect's probe: repeated after a late or garbled reply
    bool background = false;
    int repeats = 0;
    bool askedAfterSilence = false; // repeated once after a wait that brought nothing
    std::optional<Exchange> sync;
    std::optional<Exchange> main;
    LateReplyWait late;
    ExchangeResult answer;
};
