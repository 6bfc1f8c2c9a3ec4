#pragma once
// What the drive may still owe the link: the requests that went out and whose replies have
// not been seen, oldest first. A drive answers its requests one at a time and in order, a
// reply possibly far later than the link waits for it, or never. So a reply that comes is
// the oldest owed request's or a later one's, and every request before the one it answers
// is done with. The list may name requests that are in fact done (a reply lost or garbled);
// it never misses one that is owed, so a reply is taken for a request only when no owed
// request's reply could look the same.
#include "protocol/FrameCodec.h"

#include <QtGlobal>
#include <deque>
#include <span>

class OwedReplies {
public:
    struct Entry {
        FrameRequest request;
        qint64 sentUs = 0;
        int length = 0; // of its reply, when not ExpectedReplyLength
    };

    explicit OwedReplies(Protocol protocol = Protocol::Inverter) : protocol_(protocol) {}

    bool empty() const { return owed_.empty(); }
    int size() const { return int(owed_.size()); }
    Protocol protocol() const { return protocol_; }

    // Forgets everything: a new line, or a good reply (which the drive sent after all the
    // replies it owed before it).
    void clear(Protocol protocol) {
        owed_.clear();
        protocol_ = protocol;
    }
    // A request went out and its reply did not come (whole and good) in time.
    void add(const FrameRequest& request, qint64 sentUs, int length = 0);
    // Requests sent more than boundUs before nowUs are taken for lost.
    void forgetOlderThan(qint64 nowUs, qint64 boundUs);
    // A reply owed to an earlier request would pass every check of a reply to `request`.
    bool alike(const FrameRequest& request) const;
    // How many owed requests alike `candidate` went out before the newest one alike `request`.
    int alikeBefore(const FrameRequest& candidate, const FrameRequest& request) const;

    // The earliest whole reply in `bytes` that answers `current` (when given) or an owed
    // request. `length` 0: none stands there yet.
    struct Found {
        int at = 0;
        int length = 0;
        bool current = false; // the reply is current's: no owed reply could look the same
        int owedIndex = -1;   // else the first owed request it can answer
    };
    Found find(std::span<const std::uint8_t> bytes, const FrameRequest* current, int currentLength = 0) const;
    // A reply found for owed request `index`: it and every request before it are done with.
    void answered(int index);

private:
    Protocol protocol_;
    std::deque<Entry> owed_;
};
