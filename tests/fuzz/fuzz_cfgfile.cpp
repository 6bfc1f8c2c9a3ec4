// The configuration file's reader and its checksum check on arbitrary bytes, the check of the
// values it took against their limits, and the writer on what it left.
#include "FuzzSupport.h"

#include "core/CfgFile.h"
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
    CfgFile::Names names;
    names.fileTypeName = [](const QString& code, const QString& ident) {
        return code == QLatin1String("65") && ident == QLatin1String("1") ? QStringLiteral("QX100")
                                                                          : QStringLiteral("Err.");
    };
    names.capacityName = [](const QString&, const QString& code) {
        return code == QLatin1String("6") ? QStringLiteral("-4037") : QStringLiteral("Err.");
    };
    QStringList cnum, val;
    CfgFile::checksumMatches(lines);
    const CfgFile::ReadOutcome outcome =
        CfgFile::ReadConfigurationXml(fuzz::context(), lines, cnum, val, names, fuzz::prompter());
    ParameterFileChecks::markOutOfLimits(fuzz::context(), outcome.taken);
    for (const QString& n : cnum)
        CfgFile::LookupCfgValue(cnum, val, n);
    QByteArray out;
    CfgFile::build(CfgFile::inputFromStore(fuzz::context()), out);
    return 0;
}
