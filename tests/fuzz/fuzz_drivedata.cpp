// The drive-data loaders on arbitrary files: the input up to its first zero byte is the
// drive-type file, the rest the capacity file. Every file chooser is cancelled.
#include "FuzzSupport.h"

#include "core/DriveData.h"
#include "platform/TextFile.h"

#include <QTemporaryDir>

namespace {
QTemporaryDir& folder() {
    static QTemporaryDir dir;
    return dir;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUp();
    ProgramContext& context = fuzz::context();
    context.drive.files.typeFolder = context.drive.files.capacityFolder = folder().path();
    context.drive.files.infoIniPath = folder().filePath("Info.ini");
    context.language.suffix = "Eng";
    TextFile::writeText(context.drive.files.infoIniPath,
                        "[Setup]\r\nDisp=FA\r\n[Disp CV]\r\n0001=C\r\n0002=V\r\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const qsizetype cut = bytes.indexOf('\0');
    ProgramContext& context = fuzz::context();
    context.startupAborted = false;
    context.drive.identity.typeName = "QX100";
    context.drive.identity.formName = "-4037";
    TextFile::writeBytes(folder().filePath("QX100(Eng).inv"), cut < 0 ? bytes : bytes.left(cut));
    TextFile::writeBytes(folder().filePath("QX100-4037.cap"), cut < 0 ? QByteArray() : bytes.mid(cut + 1));
    if (LoadTypeTable(fuzz::context(), fuzz::prompter()) &&
        LoadCapacityTable(fuzz::context(), fuzz::prompter()))
        InitValueTable(fuzz::context(), fuzz::prompter());
    return 0;
}
