#pragma once
// The level trigger of a triggered run: the test of the source channel's value against the
// level with the chosen slope, and the buffer of the samples taken before the trigger.
//
// The test works in whole units of 1/10000 percent of scale, so that a value exactly at the
// level is neither above nor below it whatever the multiplier: the trigger fires on the
// first sample strictly beyond the level in the slope's direction that follows a sample
// strictly on the other side. A run that starts beyond the level must first cross back;
// with "Both" the first crossing either way fires.
#include "monitor/MonitorModel.h"
#include "monitor/SampleStore.h"

#include <array>
#include <cstdint>
#include <vector>

class LevelTrigger {
public:
    enum Slope { Up = 0, Down = 1, Both = 2 };

    // level: percent of scale; multiplier and offset: the source channel's scale.
    LevelTrigger(int level, int slope, float multiplier, qint16 offset);

    // One sample's value of the source channel; true when it fires.
    bool test(double value);

    // The plotted position of a value (value x multiplier + offset) in 1/10000 percent.
    qint64 position(double value) const;

private:
    qint64 scale_;  // multiplier x 10000, rounded
    qint64 offset_; // offset x 10000
    qint64 level_;  // level x 10000
    int slope_;
    bool seen_ = false;
    bool armUp_ = true;
    bool armDown_ = true;
};

// Samples kept before the trigger: share `delayPercent` of `pointsPerChannel`, in whole
// samples (cut toward zero).
int preTriggerCount(int delayPercent, int pointsPerChannel);

// One sample of every channel as it waits in the buffer.
struct BufferedSample {
    quint32 elapsedMs = 0;
    std::array<double, kMonitorChannels> value{};
    std::array<SampleStore::PointKind, kMonitorChannels> kind{};
};

// The most recent samples, oldest first, in room taken once: at most `pre` samples before the
// one being tested, however long the wait.
class PreTriggerBuffer {
public:
    explicit PreTriggerBuffer(int pre);

    int pre() const { return pre_; }
    int size() const { return size_; }
    bool isEmpty() const { return size_ == 0; }
    // k = 0 is the oldest.
    const BufferedSample& at(int k) const;
    const BufferedSample& newest() const { return at(size_ - 1); }
    // Adds the sample being tested (the buffer then holds up to pre + 1).
    void push(const BufferedSample& s);
    // After a test that did not fire: the oldest goes when more than pre are held.
    void trim();

private:
    std::vector<BufferedSample> ring_;
    int pre_;
    int first_ = 0;
    int size_ = 0;
};
