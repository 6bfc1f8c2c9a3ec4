#pragma once
// A recorded monitor run for the tests of its files and pictures: the selected drive QX100
// -4037 V110, the set-up a user would have made, and a sample store filled as a run fills it.
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "monitor/MonitorFile.h"
#include "monitor/SampleStore.h"

#include <QString>
#include <QStringList>

#include <cmath>

namespace monitortest {

// The selection the files are checked against, with messages "msg0".."msg99".
struct SelectedDrive {
    ParameterStore store;
    ProgramContext context;
    SelectedDrive() {
        QStringList messages;
        for (int n = 0; n < 100; ++n)
            messages << QStringLiteral("msg%1").arg(n);
        store.setMessages(messages);
        context.store = &store;
        context.drive.identity.typeName = QStringLiteral("QX100");
        context.drive.identity.formName = QStringLiteral("-4037");
        context.drive.identity.cpuVersion = QStringLiteral("V110");
        context.texts.caption = QStringLiteral("Caption");
    }
};

// The set-up of the example run: CH1 on with item 2, multiplier 0.7 (step 7) and offset 10;
// the other channels off.
inline MonitorFileHeader exampleHeader() {
    MonitorFileHeader h;
    h.typeName = QStringLiteral("QX100");
    h.formName = QStringLiteral("-4037");
    h.cpuVersion = QStringLiteral("V110");
    h.timeBase = QStringLiteral("1.0");
    h.channels[0] = {2, 7, QStringLiteral("10"), true};
    return h;
}

// The store's scales as the window applies them from a set-up.
inline void applyScales(SampleStore& s, const MonitorFileHeader& h) {
    for (int c = 0; c < SampleStore::kChannels; ++c)
        s.setScale(c, h.channels[c].multiplier(), qint16(h.channels[c].offset.toInt()));
}

// Samples every 50 ms; each channel that is on gets value(channel, p).
template <typename Value> void fillRun(SampleStore& s, const MonitorFileHeader& h, int samples, Value value) {
    s.clear();
    applyScales(s, h);
    for (int p = 0; p < samples; ++p) {
        const int at = s.appendSample(quint32(p * 50));
        for (int c = 0; c < SampleStore::kChannels; ++c)
            if (h.channels[c].on)
                s.setValue(c, at, value(c, p));
    }
}

// A smooth reading of each channel that fits a 32-bit float exactly (two decimals at most
// are not exact; quarters are).
inline double wave(int channel, int p) {
    return std::round((40 + 30 * std::sin((p + 7 * channel) / 9.0)) * 4) / 4;
}

} // namespace monitortest
