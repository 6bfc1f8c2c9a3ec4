// The own parameter file's reader on arbitrary bytes, with every option set the callers use,
// and the check of the values it took against their limits.
#include "FuzzSupport.h"

#include "core/ParameterFileChecks.h"
#include "platform/TextFile.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    fuzz::prompter().seed = data[0];
    const QStringList lines = TextFile::splitLines(TextFile::decode(
        QByteArray(reinterpret_cast<const char*>(data) + 1, int(size - 1)), TextFile::Origin::ForOthers));
    ParaFile::ReadOptions options;
    if (data[0] & 0x80) { // the start with a file argument
        options.acceptShortForms = false;
        options.markerCheck = false;
        options.identityChecks = false;
        options.askOnUnknownNumber = false;
    }
    const ParaFile::ReadOutcome outcome = ParaFile::read(fuzz::context(), lines, fuzz::prompter(), options);
    ParameterFileChecks::markOutOfLimits(fuzz::context(), outcome.taken);
    ParaFile::buildLines(fuzz::context(), QString::fromUtf8("c"), fuzz::context().tableView.blindOn,
                         data[0] & 1);
    return 0;
}
