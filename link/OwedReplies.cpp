#include "link/OwedReplies.h"

#include <algorithm>

namespace {

// A dead drive adds a request a time-out: enough for minutes of them.
constexpr std::size_t kMostOwed = 512;

} // namespace

void OwedReplies::add(const FrameRequest& request, qint64 sentUs, int length) {
    if (owed_.size() >= kMostOwed)
        owed_.pop_front();
    owed_.push_back({request, sentUs, length});
}

void OwedReplies::forgetOlderThan(qint64 nowUs, qint64 boundUs) {
    while (!owed_.empty() && nowUs - owed_.front().sentUs > boundUs)
        owed_.pop_front();
}

bool OwedReplies::alike(const FrameRequest& request) const {
    return std::any_of(owed_.begin(), owed_.end(),
                       [&](const Entry& e) { return RepliesAlike(protocol_, e.request, request); });
}

int OwedReplies::alikeBefore(const FrameRequest& candidate, const FrameRequest& request) const {
    const auto newest = std::find_if(owed_.rbegin(), owed_.rend(), [&](const Entry& e) {
        return RepliesAlike(protocol_, e.request, request);
    });
    return int(std::count_if(newest, owed_.rend(),
                             [&](const Entry& e) { return RepliesAlike(protocol_, e.request, candidate); }));
}

OwedReplies::Found OwedReplies::find(std::span<const std::uint8_t> bytes, const FrameRequest* current,
                                     int currentLength) const {
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        const auto rest = bytes.subspan(at);
        // The oldest owed request it can answer: the drive answers in order.
        for (std::size_t i = 0; i < owed_.size(); ++i)
            if (const int n = ReplyFrameAt(protocol_, owed_[i].request, rest, owed_[i].length); n > 0)
                return {int(at), n, false, int(i)};
        if (current)
            if (const int n = ReplyFrameAt(protocol_, *current, rest, currentLength); n > 0)
                return {int(at), n, true, -1};
    }
    return {};
}

void OwedReplies::answered(int index) {
    if (index < 0)
        return;
    const auto n = std::min<std::size_t>(owed_.size(), std::size_t(index) + 1);
    owed_.erase(owed_.begin(), owed_.begin() + std::ptrdiff_t(n));
}
