#include "monitor/SampleStore.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kMinMultiplier = 0.1f;
constexpr float kMaxMultiplier = 10.0f;
constexpr qint16 kMaxOffset = 500;

} // namespace

SampleStore::SampleStore() : times_(kCapacity, 0), positions_(kCapacity, 0) {
    for (Channel& c : channels_) {
        c.value.assign(kCapacity, 0.0);
        c.y.assign(kCapacity, 0.0);
        c.kind.assign(kCapacity, PointKind::Gap);
    }
}

void SampleStore::clear() {
    size_ = 0;
}

int SampleStore::appendSample(quint32 elapsedMs) {
    const int p = size_;
    return setSampleTime(p, elapsedMs) ? p : -1;
}

bool SampleStore::setSampleTime(int p, quint32 elapsedMs) {
    if (p < 0 || p >= kCapacity)
        return false;
    // Slots taken anew hold gaps: a cleared store keeps the old contents behind size_.
    for (int q = size_; q <= p; ++q) {
        times_[q] = 0;
        for (Channel& c : channels_)
            c.kind[q] = PointKind::Gap;
    }
    const int placedBefore = size_;
    size_ = std::max(size_, p + 1);
    times_[p] = elapsedMs;
    // A time written anew may start or end a count: place every sample again then.
    place(p < placedBefore ? 0 : placedBefore);
    return true;
}

void SampleStore::setPeriodMs(double periodMs) {
    periodMs_ = periodMs > 0 && std::isfinite(periodMs) ? periodMs : 0;
    place(0);
}

void SampleStore::place(int from) {
    if (from <= 0) {
        from = 0;
        segmentStart_ = 0;
    }
    for (int p = from; p < size_; ++p) {
        if (p == 0 || periodMs_ <= 0) {
            positions_[p] = p == 0 ? 0 : positions_[p - 1] + 1;
            continue;
        }
        if (times_[p] < times_[p - 1])
            segmentStart_ = p;
        // Slots counted from the start of the count; never two samples in one slot, which
        // the millisecond of a time cut short could otherwise make.
        const int start = segmentStart_;
        const double slots = std::floor(times_[p] / periodMs_) - std::floor(times_[start] / periodMs_);
        const int base = start == p ? positions_[p - 1] + 1 : positions_[start];
        positions_[p] =
            std::max(positions_[p - 1] + 1, static_cast<int>(std::min<double>(base + slots, 1 << 30)));
    }
}

int SampleStore::firstAtOrAfter(double x) const {
    const auto end = positions_.begin() + size_;
    return static_cast<int>(
        std::lower_bound(positions_.begin(), end, x, [](int pos, double v) { return pos < v; }) -
        positions_.begin());
}

int SampleStore::indexAt(double x) const {
    if (size_ == 0 || std::isnan(x))
        return -1;
    const int after = firstAtOrAfter(x);
    if (after >= size_)
        return size_ - 1;
    if (after == 0)
        return 0;
    return x - positions_[after - 1] <= positions_[after] - x ? after - 1 : after;
}

int SampleStore::lastBefore(double x) const {
    if (std::isnan(x))
        return -1;
    return firstAtOrAfter(x) - 1;
}

quint32 SampleStore::sampleTime(int p) const {
    return p >= 0 && p < size_ ? times_[p] : 0;
}

double SampleStore::scaled(int channel, double value) const {
    // The product is taken in extended precision and held as a double, as the plotted Y
    // always was, so that the same sample gives the same Y whichever path wrote it.
    const Scale& s = channels_[channel].scale;
    return static_cast<double>(static_cast<long double>(value) * static_cast<long double>(s.multiplier) +
                               static_cast<long double>(s.offset));
}

bool SampleStore::setValue(int channel, int p, double value) {
    if (!holds(channel, p))
        return false;
    Channel& c = channels_[channel];
    c.value[p] = value;
    c.y[p] = scaled(channel, value);
    c.kind[p] = PointKind::Measured;
    return true;
}

bool SampleStore::setErrorPoint(int channel, int p, PointKind kind) {
    if (!holds(channel, p) || kind == PointKind::Measured)
        return false;
    Channel& c = channels_[channel];
    c.kind[p] = kind;
    c.value[p] = 0.0;
    c.y[p] = 0.0;
    if (kind == PointKind::RepeatOnError) {
        for (int q = p - 1; q >= 0; --q) {
            if (c.kind[q] != PointKind::Gap) {
                c.y[p] = c.y[q];
                break;
            }
        }
    }
    return true;
}

SampleStore::PointKind SampleStore::kind(int channel, int p) const {
    return holds(channel, p) ? channels_[channel].kind[p] : PointKind::Gap;
}

double SampleStore::plotted(int channel, int p) const {
    return hasPoint(channel, p) ? channels_[channel].y[p] : 0.0;
}

double SampleStore::unscaled(int channel, int p) const {
    if (!hasPoint(channel, p))
        return 0.0;
    const Scale& s = channels_[channel].scale;
    return (channels_[channel].y[p] - s.offset) / s.multiplier;
}

int SampleStore::lastPointOf(int channel) const {
    if (channel < 0 || channel >= kChannels)
        return -1;
    const Channel& c = channels_[channel];
    for (int p = size_ - 1; p >= 0; --p) {
        if (c.kind[p] != PointKind::Gap)
            return p;
    }
    return -1;
}

SampleStore::Scale SampleStore::scale(int channel) const {
    return channel >= 0 && channel < kChannels ? channels_[channel].scale : Scale{};
}

void SampleStore::setScale(int channel, float multiplier, qint16 offset) {
    if (channel < 0 || channel >= kChannels)
        return;
    Channel& c = channels_[channel];
    // Held inside the range the settings allow, so that reading a value back never divides
    // by zero whatever a file or a caller handed in.
    c.scale.multiplier =
        std::isnan(multiplier) ? 1.0f : std::clamp(multiplier, kMinMultiplier, kMaxMultiplier);
    c.scale.offset = std::clamp<qint16>(offset, 0, kMaxOffset);
    double previous = 0.0;
    for (int p = 0; p < size_; ++p) {
        switch (c.kind[p]) {
        case PointKind::Gap:
            continue;
        case PointKind::Measured:
            c.y[p] = scaled(channel, c.value[p]);
            break;
        case PointKind::ZeroOnError:
            c.y[p] = 0.0;
            break;
        case PointKind::RepeatOnError:
            c.y[p] = previous;
            break;
        }
        previous = c.y[p];
    }
}

void SampleStore::reduce(int channel, double xFirst, double xLast, std::span<ColumnSpan> out) const {
    std::fill(out.begin(), out.end(), ColumnSpan{});
    const int columns = static_cast<int>(out.size());
    if (columns == 0 || channel < 0 || channel >= kChannels || !(xLast > xFirst) || size_ == 0 ||
        xFirst > positions_[size_ - 1] || xLast < 0)
        return;
    const int pBegin = firstAtOrAfter(xFirst);
    const int pEnd = firstAtOrAfter(std::nextafter(xLast, HUGE_VAL)) - 1;
    if (pBegin > pEnd)
        return;
    const double perSample = columns / (xLast - xFirst);
    const Channel& c = channels_[channel];
    for (int p = pBegin; p <= pEnd; ++p) {
        if (c.kind[p] == PointKind::Gap)
            continue;
        const int col = std::clamp(static_cast<int>((positions_[p] - xFirst) * perSample), 0, columns - 1);
        ColumnSpan& s = out[col];
        const float y = static_cast<float>(c.y[p]);
        if (s.firstIndex < 0) {
            s.low = s.high = s.first = y;
            s.firstIndex = p;
        } else {
            s.low = std::min(s.low, y);
            s.high = std::max(s.high, y);
        }
        s.last = y;
        s.lastIndex = p;
    }
}
