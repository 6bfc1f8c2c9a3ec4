#pragma once
// The part of the samples the chart shows: the bottom axis's range [minimum, maximum] in
// slots of the sampling period (SampleStore::position), the full extent the user may pan and zoom over, and
// the scope (the visible width in percent of the extent, the position of the scope field).
//
// The run moves it as the points arrive (pointAdded) so that the newest point stays five
// samples inside the right edge of a window 100 samples wide; afterwards the user narrows,
// widens and pans it inside 0 .. extent. Widget-free, so the run and the file reader drive
// it as the chart does.
#include <QtGlobal>

class SampleWindow {
public:
    static constexpr int kRunWidth = 100; // samples shown while a run scrolls
    static constexpr int kLead = 5;       // samples kept right of the newest point
    static constexpr int kScopeMin = 5;
    static constexpr int kScopeMax = 100;
    static constexpr int kScopeStep = 5;

    double minimum() const { return min_; }
    double maximum() const { return max_; }
    // The samples the user may pan over: the axis maximum after the last point, truncated.
    int extent() const { return extent_; }
    // The scope in percent, kScopeMin .. kScopeMax.
    int scope() const { return scope_; }
    // The pre-trigger shift of a triggered run (0 in other runs); the scroll rule uses it.
    int triggerRingIndex() const { return triggerRingIndex_; }
    void setTriggerRingIndex(int index) { triggerRingIndex_ = qMax(0, index); }

    // As made with the window: 0 .. 100, extent 100, scope 100.
    void reset();
    // At each Start: 0 .. 100 and no pre-trigger shift.
    void startRun();
    // After a run: the window starts at 0 again and the scope shows 100.
    void finishRun();
    // The window of a run that has just triggered: first .. first + 100.
    void showFrom(int first);

    // A point of the scrolling series was added at `index`; largestX is the largest X that
    // series holds. Scrolls when the point comes within five samples of the right edge, then
    // takes the extent from the axis maximum and the scope from it.
    void pointAdded(int index, int largestX);

    // A scope typed and accepted (kScopeMin .. kScopeMax; held there): the width follows and
    // the window keeps its left edge unless that would run past the extent.
    void applyScope(int percent);
    // One scope step (wider: + 5 percent, else - 5), moved by `shiftFraction` of the old width
    // (the click's distance from the plot's centre over the plot's width; 0 for a centred
    // step), then pushed back inside 0 .. extent.
    void stepScope(bool wider, float shiftFraction);

    // A pan to [newMin, newMax]: refused as a whole (false, nothing changes) when it would
    // start below 0 or end past the extent.
    bool panTo(double newMin, double newMax);

private:
    // The window width for the scope, in whole samples (truncating).
    int scopeWidth() const;

    double min_ = 0;
    double max_ = kRunWidth;
    int extent_ = kRunWidth;
    int scope_ = kScopeMax;
    int triggerRingIndex_ = 0;
};
