#include "core/Messages.h"

#include "core/ParameterStore.h"
#include "core/ProgramContext.h"

#include <QStringList>

QString Msg(const ProgramContext& context, MsgId id) {
    const ParameterStore* p = context.store;
    return p ? p->Msg(id) : QString();
}

QString UnwritableCharactersQuestion(const ProgramContext& context, const QString& characters) {
    QStringList each;
    for (qsizetype i = 0; i < characters.size(); ++i) {
        const qsizetype len = characters.at(i).isHighSurrogate() && i + 1 < characters.size() ? 2 : 1;
        each << characters.mid(i, len);
        i += len - 1;
    }
    return Msg(context, MsgId::UnwritableCharacters) + u'\n' + each.join(u' ') + QStringLiteral("\n\n") +
           Msg(context, MsgId::SaveAnyway);
}

QString WriteFailureText(const ProgramContext& context, const QString& path, bool diskFull) {
    QString text = Msg(context, diskFull ? MsgId::DiskFull : MsgId::WriteFailed);
    if (text.isEmpty()) // before a language file's messages were read
        text = diskFull ? QStringLiteral("The disk is full. The file could not be written:")
                        : QStringLiteral("The file could not be written:");
    return text + u'\n' + path;
}

Notice MsgNotice(const ProgramContext& context, MsgId id, BoxIcon icon, BoxButtons buttons) {
    return {Msg(context, id), context.texts.caption, icon, buttons};
}
