#include "monitor/SampleWindow.h"

#include <algorithm>
#include <cmath>

void SampleWindow::reset() {
    min_ = 0;
    max_ = kRunWidth;
    extent_ = kRunWidth;
}

void SampleWindow::startRun() {
    min_ = 0;
    max_ = kRunWidth;
    triggerRingIndex_ = 0;
}

void SampleWindow::finishRun() {
    min_ = 0;
    scope_ = kScopeMax;
}

void SampleWindow::showFrom(int first) {
    max_ = static_cast<double>(first) + kRunWidth;
    min_ = first;
}

void SampleWindow::pointAdded(int index, int largestX) {
    // The pre-trigger shift makes the window of a triggered run jump back once when its first
    // post-trigger point arrives; only the view is affected.
    if (index > (max_ - triggerRingIndex_) - kLead) {
        max_ = static_cast<double>(largestX) + kLead;
        min_ = max_ - kRunWidth;
    }
    extent_ = static_cast<int>(std::trunc(max_));
    // An extent of 0 has no scope; the last one stays.
    if (extent_ == 0)
        return;
    const double percent = std::round(100.0 / extent_ * 100.0);
    // The scope field cannot go below its minimum, so it shows the least scope it can hold
    // rather than a value it would refuse when merely left.
    scope_ = static_cast<int>(std::clamp(percent, double(kScopeMin), double(kScopeMax)));
}

int SampleWindow::scopeWidth() const {
    return static_cast<int>(static_cast<qint64>(scope_) * extent_ / 100);
}

void SampleWindow::applyScope(int percent) {
    scope_ = std::clamp(percent, kScopeMin, kScopeMax);
    const int w = scopeWidth();
    max_ = min_ + w;
    if (extent_ < max_) {
        max_ = extent_;
        min_ = max_ - w;
    }
}

void SampleWindow::stepScope(bool wider, float shiftFraction) {
    scope_ = std::clamp(scope_ + (wider ? kScopeStep : -kScopeStep), kScopeMin, kScopeMax);
    const int old = static_cast<int>(std::trunc(max_ - min_));
    const int w = scopeWidth();
    const int half = (w - old) / 2;
    const double shift = std::trunc(static_cast<double>(old) * static_cast<double>(shiftFraction));
    max_ = max_ + shift + half;
    if (max_ <= extent_) {
        min_ = min_ + shift - half;
        if (min_ < 0) {
            min_ = 0;
            max_ = w + min_;
        }
    } else {
        max_ = extent_;
        min_ = max_ - w;
    }
}

bool SampleWindow::panTo(double newMin, double newMax) {
    if (newMin < 0 || newMax > extent_ || std::isnan(newMin) || std::isnan(newMax))
        return false;
    min_ = newMin;
    max_ = newMax;
    return true;
}
