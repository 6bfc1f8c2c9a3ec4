// The monitor file's reader on arbitrary bytes. Whatever it reads must leave every sample it
// holds whole, and what it read, written again and read back, must give the same file.
#include "FuzzSupport.h"

#include "monitor/MonitorFile.h"
#include "monitor/SampleStore.h"
#include "platform/TextFile.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUp();
    return 0;
}

namespace {

bool plainFields(const MonitorFileHeader& h) {
    for (const ChannelSetup& c : h.channels)
        if (c.offset.contains(u',') || c.offset.contains(u'"'))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    fuzz::prompter().seed = data[0];
    const QStringList lines = TextFile::splitLines(TextFile::decode(
        QByteArray(reinterpret_cast<const char*>(data) + 1, int(size - 1)), TextFile::Origin::ForOthers));
    static SampleStore store;
    MonitorFileHeader header;
    const auto result = MonitorFile::read(lines, fuzz::context(), 12, fuzz::prompter(), header, store);
    if (store.lastPoint() >= store.capacity())
        __builtin_trap();
    if (!result.accepted())
        return 0;
    for (int p = 0; p <= store.lastPoint(); ++p)
        for (int c = 0; c < result.channels; ++c)
            if (header.channels[c].on != store.hasPoint(c, p))
                __builtin_trap();

    // Offsets are the edit's text: one holding the separator cannot come back as it went.
    if (!plainFields(header))
        return 0;
    header.typeName = fuzz::context().drive.identity.typeName;
    header.cpuVersion = fuzz::context().drive.identity.cpuVersion;
    const QStringList written = MonitorFile::lines(header, store);
    static SampleStore again;
    MonitorFileHeader back;
    const auto reread = MonitorFile::read(written, fuzz::context(), 12, fuzz::prompter(), back, again);
    if (reread.outcome != MonitorFile::ReadResult::Outcome::Read ||
        MonitorFile::lines(back, again) != written)
        __builtin_trap();
    return 0;
}
