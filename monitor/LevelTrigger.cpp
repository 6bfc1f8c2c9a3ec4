#include "monitor/LevelTrigger.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kUnits = 10000.0;
// Far beyond any plotted position, so that the products below stay inside 64 bits.
constexpr double kLimit = 1e12;

// Rounded to the nearest whole number, ties to even.
qint64 rounded(double v) {
    return qint64(std::nearbyint(std::clamp(v, -kLimit, kLimit)));
}

} // namespace

LevelTrigger::LevelTrigger(int level, int slope, float multiplier, qint16 offset)
    : scale_(rounded(double(multiplier) * kUnits)), offset_(qint64(offset) * 10000),
      level_(qint64(level) * 10000), slope_(slope) {}

qint64 LevelTrigger::position(double value) const {
    const qint64 a = rounded(value * kUnits);
    return a * scale_ / 10000 + offset_;
}

bool LevelTrigger::test(double value) {
    if (std::isnan(value))
        return false;
    const qint64 s = position(value);
    const bool above = level_ < s;
    const bool below = level_ > s;
    if (above) {
        if (!seen_)
            armUp_ = false;
        else
            armDown_ = true;
        seen_ = true;
    } else if (below) {
        if (!seen_)
            armDown_ = false;
        else
            armUp_ = true;
        seen_ = true;
    }
    if (armUp_ && above && (slope_ == Up || slope_ == Both))
        return true;
    return armDown_ && below && (slope_ == Down || slope_ == Both);
}

int preTriggerCount(int delayPercent, int pointsPerChannel) {
    return std::clamp(delayPercent, 0, 100) * std::max(pointsPerChannel, 0) / 100;
}

PreTriggerBuffer::PreTriggerBuffer(int pre)
    : ring_(std::size_t(std::max(pre, 0) + 1)), pre_(std::max(pre, 0)) {}

const BufferedSample& PreTriggerBuffer::at(int k) const {
    return ring_[std::size_t((first_ + k) % int(ring_.size()))];
}

void PreTriggerBuffer::push(const BufferedSample& s) {
    const int capacity = int(ring_.size());
    if (size_ == capacity) {
        // Only reached when trim() was skipped; the oldest makes room.
        first_ = (first_ + 1) % capacity;
        --size_;
    }
    ring_[std::size_t((first_ + size_) % capacity)] = s;
    ++size_;
}

void PreTriggerBuffer::trim() {
    if (size_ > pre_) {
        first_ = (first_ + 1) % int(ring_.size());
        --size_;
    }
}
