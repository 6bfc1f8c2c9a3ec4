#pragma once
// The samples of the last monitor run or opened monitor file: ten channels of up to 11,000
// samples, the elapsed time of each sample and each channel's scale. A channel without a
// value at some sample holds a gap there, so a failed conversion or a channel that is off
// never shifts later samples.
//
// The chart places each sample by its time: with the sampling period given, sample p stands
// at the slot its time falls in (X = position(p)), so a sample taken late after a stall of the
// drive stands at its real time, however many slots lie between it and the one before. A time smaller
// than the one before starts a new count (a triggered run counts its times from the trigger)
// one slot on. Without a period, X = p.
//
// The room is taken once, when the store is made: nothing here grows, and a write past the
// capacity is refused. A long recording therefore runs at flat memory (its file takes what
// the store cannot hold).
//
// Each point keeps the value it was given and its plotted Y (value x multiplier + offset), so
// a new scale re-plots every held point without losing precision, and the readout, the
// files and the report read the same numbers the chart shows.
#include <QtGlobal>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

class SampleStore {
public:
    static constexpr int kChannels = 10;
    static constexpr int kCapacity = 11000;

    enum class PointKind : std::uint8_t {
        Gap,           // nothing held: not drawn and read as no point
        Measured,      // a value: Y = value x multiplier + offset
        ZeroOnError,   // a failed read plotted at 0, whatever the scale
        RepeatOnError, // a failed read repeating the channel's Y before it
    };

    struct Scale {
        float multiplier = 1.0f; // 0.1 .. 10.0
        qint16 offset = 0;       // 0 .. 500, in percent of scale
    };

    // What the points of one pixel column hold, for drawing a curve of many thousand points
    // with a few lines per column. Y values are in percent of scale.
    struct ColumnSpan {
        float low = 0, high = 0;   // least and greatest Y
        float first = 0, last = 0; // Y of the first and the last sample in the column
        int firstIndex = -1;       // -1: no point falls in the column
        int lastIndex = -1;
    };

    SampleStore();

    int capacity() const { return kCapacity; }
    // Samples held: indices 0 .. size() - 1.
    int size() const { return size_; }
    // The index of the last sample held; -1 when none is.
    int lastPoint() const { return size_ - 1; }
    bool isEmpty() const { return size_ == 0; }

    // Forgets every sample; the scales stay.
    void clear();

    // A new sample at the end with its elapsed milliseconds; every channel holds a gap there
    // until it is given a point. Returns the sample's index, -1 when the store is full.
    int appendSample(quint32 elapsedMs);
    // The time of sample p. A p past the samples held makes them p + 1, the new ones gaps
    // (a triggered run writes its post-trigger samples before the ones in front of them).
    // False, and nothing changes, when p is outside 0 .. capacity - 1.
    bool setSampleTime(int p, quint32 elapsedMs);
    // 0 for a sample not held.
    quint32 sampleTime(int p) const;

    // The sampling period the times are counted in, in milliseconds; 0 or less: none, X = p.
    // Kept by clear().
    void setPeriodMs(double periodMs);
    double periodMs() const { return periodMs_; }
    // The slot sample p stands at on the chart's X axis; p itself for a sample not held.
    int position(int p) const { return p >= 0 && p < size_ ? positions_[p] : p; }
    // The held sample whose position is nearest to x (the earlier on a tie); -1 when none is held.
    int indexAt(double x) const;
    // The last held sample whose position is below x; -1 when none is.
    int lastBefore(double x) const;

    // Point p of a channel (p must be held). False for a channel or a sample outside.
    bool setValue(int channel, int p, double value);
    // A failed read at p: kind is ZeroOnError or RepeatOnError (with no point before it the
    // repeat plots 0). A gap can be set back with Gap.
    bool setErrorPoint(int channel, int p, PointKind kind);

    PointKind kind(int channel, int p) const;
    bool hasPoint(int channel, int p) const { return kind(channel, p) != PointKind::Gap; }
    // The plotted Y of a point, in percent of scale; 0 when there is no point.
    double plotted(int channel, int p) const;
    // The channel value of a point as the readout, the files and the report show it:
    // (Y - offset) / multiplier; 0 when there is no point.
    double unscaled(int channel, int p) const;
    // The highest sample index at which the channel has a point; -1 when it has none.
    int lastPointOf(int channel) const;

    Scale scale(int channel) const;
    // Every held point of the channel is plotted again with the new scale; an error point
    // keeps its rule (0 stays 0, a repeat copies the new Y before it). A multiplier outside
    // 0.1..10 or an offset outside 0..500 is held at the nearer bound.
    void setScale(int channel, float multiplier, qint16 offset);

    // The points of a channel whose X lies in [xFirst, xLast], in `out.size()` equal columns:
    // column c takes the points with c <= (X - xFirst) * columns / (xLast - xFirst) < c + 1,
    // a point exactly at xLast the last column. Every column is written. Nothing is read
    // outside the samples held; a range that is empty or reversed gives empty columns.
    void reduce(int channel, double xFirst, double xLast, std::span<ColumnSpan> out) const;

private:
    bool holds(int channel, int p) const {
        return channel >= 0 && channel < kChannels && p >= 0 && p < size_;
    }
    double scaled(int channel, double value) const;
    // Positions of samples from..size_ - 1 from their times.
    void place(int from);
    // The first held index whose position is at least x (size_ when none is).
    int firstAtOrAfter(double x) const;

    struct Channel {
        std::vector<double> value; // as given
        std::vector<double> y;     // as plotted
        std::vector<PointKind> kind;
        Scale scale;
    };
    std::array<Channel, kChannels> channels_;
    std::vector<quint32> times_;
    std::vector<int> positions_;
    double periodMs_ = 0;
    int segmentStart_ = 0; // where the count of the last placed sample began
    int size_ = 0;
};
