#include "core/ParameterFileDrop.h"

#include "core/FileCommands.h"
#include "core/Messages.h"
#include "core/ParaFile.h"
#include "core/ParameterFileChecks.h"
#include "core/ProgramContext.h"
#include "platform/CommandGuard.h"
#include "platform/Paths.h"
#include "platform/WaitCursor.h"

namespace {

// The drop's own boxes, like the reader's, let window messages through once answered.
void tellAndLetEventsThrough(Asker& asker, const ProgramContext& context, MsgId message) {
    asker.ask(MsgNotice(context, message, BoxIcon::Warning, BoxButtons::Ok));
    asker.letEventsThrough();
}

bool hasParameterFileName(const QString& name) {
    const QString ext = name.right(4).toUpper();
    return ext == QLatin1String(".KVR") || ext == QLatin1String(".DAT");
}

} // namespace

ParameterFileDrop::ParameterFileDrop(FileCommands& commands, FileCommandHost& host, ProgramContext& context,
                                     Asker& asker)
    : commands_(commands), host_(host), context_(context), asker_(asker) {}

QStringList ParameterFileDrop::localFiles(const QList<QUrl>& urls) {
    QStringList paths;
    paths.reserve(urls.size());
    for (const QUrl& url : urls)
        paths << (url.isLocalFile() ? url.toLocalFile() : QString());
    return paths;
}

ParameterFileDrop::Outcome ParameterFileDrop::load(const QStringList& paths) {
    // The boxes below let messages through, and with them a second drop; it waits its turn
    // no more than a second File > Open would.
    CommandGuard guard("ParameterFileDrop");
    if (guard.busy() || paths.isEmpty())
        return Outcome::Refused;
    if (paths.size() > 1) {
        tellAndLetEventsThrough(asker_, context_, MsgId::DropOneFile);
        return Outcome::Refused;
    }
    const QString& path = paths.front();
    const QString folder = Paths::folderOf(path);
    const QString name = Paths::fileNameOf(path);
    if (path.isEmpty() || !hasParameterFileName(name)) {
        tellAndLetEventsThrough(asker_, context_, MsgId::DataIncorrect);
        return Outcome::Refused;
    }

    // As File > Open: the folder is where the next dialog starts, and a comment still waiting
    // from a start-up file gives way to this file's. The opened file's name and folder change
    // only once the file is loaded, so that Save never writes a file that was refused.
    context_.recent.openFolder = folder;
    commands_.CommentsChk = false;
    QStringList lines;
    QList<QByteArray> lineBytes;
    std::optional<Notice> refusal;
    {
        WaitCursor wait;
        refusal = ParameterFileChecks::readLines(context_, path, lines, &lineBytes);
    }
    if (refusal) {
        asker_.ask(*refusal);
        return Outcome::Refused;
    }
    const ParaFile::Header header = ParaFile::parseHeader(lines);
    // A header cut short would be read as empty lines: refuse it before anything changes.
    if (header.form == ParaFile::Form::None || lines.size() < header.firstDataLine) {
        tellAndLetEventsThrough(asker_, context_, MsgId::DataIncorrect);
        return Outcome::Refused;
    }

    ParaFile::ReadOptions options;
    options.markerCheck = false;
    options.letEventsThroughAfterBoxes = true;
    const ParaFile::ReadOutcome r = ParaFile::read(context_, lines, asker_, options);
    if (r.result != ParaFile::ReadResult::Loaded)
        return Outcome::Refused;
    host_.setCommentText(r.comment);
    commands_.keepComment(r.comment, lineBytes.value(r.header.commentAt));
    if (const std::optional<Notice> outside = ParameterFileChecks::markOutOfLimits(context_, r.taken))
        asker_.ask(*outside);
    commands_.finishOpen(folder, name, r.header.type + r.header.driveForm);
    return Outcome::Loaded;
}
