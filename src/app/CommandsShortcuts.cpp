// SPDX-License-Identifier: GPL-3.0-or-later
// glimra shortcuts [--json]
#include "app/AppDelegate.h"
#include "app/RemoteCommands.h"
#include "shortcuts/HotkeyManager.h"
#include "shortcuts/HotkeySettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace glimra::commands {

void shortcuts(AppDelegate& app, const QStringList& args, const QString&,
               const RemoteControl::Reply& reply)
{
    const bool json = args.contains(QStringLiteral("--json"));
    QString out;
    QJsonArray array;
    for (const HotkeyAction& action : hotkeyActions()) {
        const HotkeyBinding binding = app.hotkeySettings()->binding(action.id);
        const bool registered = app.hotkeyManager()->isRegistered(action.id);
        const std::optional<QString> reason = app.hotkeyManager()->refusalReason(action.id);
        const QString via = app.hotkeyManager()->via(action.id);
        const QString bound = app.hotkeyManager()->boundKeys(action.id);
        const QString name = QString::fromLatin1(action.storageKey);
        if (json) {
            array.append(QJsonObject{
                {QStringLiteral("id"), action.id},
                {QStringLiteral("action"), name},
                {QStringLiteral("keyCode"), qint64(binding.keyCode)},
                {QStringLiteral("modifiers"), qint64(binding.modifiers)},
                {QStringLiteral("label"), binding.label},
                {QStringLiteral("display"), binding.displayString()},
                {QStringLiteral("registered"), registered},
                {QStringLiteral("reason"), reason ? QJsonValue(*reason) : QJsonValue()},
                {QStringLiteral("via"), via.isEmpty() ? QJsonValue() : QJsonValue(via)},
                // What the desktop's own settings show for it, where the desktop binds it.
                {QStringLiteral("desktopKeys"),
                 bound.isEmpty() ? QJsonValue() : QJsonValue(bound)}});
        } else {
            // Why a row is refused is told by --json and the settings.
            out += QStringLiteral("%1\t%2\t%3\t%4\n")
                       .arg(action.id)
                       .arg(name, binding.displayString(),
                            registered ? QStringLiteral("registered") : QStringLiteral("refused"));
        }
    }
    if (json)
        out = QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
    reply(0, out, {});
}

} // namespace glimra::commands
