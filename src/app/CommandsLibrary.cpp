// SPDX-License-Identifier: GPL-3.0-or-later
// glimra list
#include "app/AppDelegate.h"
#include "app/DateTexts.h"
#include "app/RemoteCommands.h"
#include "library/ScreenshotManager.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

namespace glimra::commands {

namespace {

QJsonValue optionalText(const std::optional<QString>& text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

QString listing(const QList<ScreenshotItemPtr>& items, bool json)
{
    // Commands are answered on the GUI thread only.
    static DateTexts dates;
    const QStringList dateTexts = dates.texts(items, QTimeZone::systemTimeZoneId());
    QString out;
    QJsonArray array;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const ScreenshotItem& item = *items.at(i);
        if (json) {
            array.append(
                QJsonObject{{QStringLiteral("path"), optionalText(item.filePath)},
                            {QStringLiteral("date"), dateTexts.at(i)},
                            {QStringLiteral("syncStatus"), syncStatusText(item.syncStatus)},
                            {QStringLiteral("serverId"), optionalText(item.serverId)},
                            {QStringLiteral("captureType"), optionalText(item.captureType)}});
        } else {
            out += dateTexts.at(i) + QLatin1Char('\t') + syncStatusText(item.syncStatus) +
                   QLatin1Char('\t') + item.filePath.value_or(QString()) + QLatin1Char('\n');
        }
    }
    return json ? QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)) : out;
}

} // namespace

void list(AppDelegate& app, const QStringList& args, const QString&,
          const RemoteControl::Reply& reply)
{
    const bool json = args.contains(QStringLiteral("--json"));
    ScreenshotManager* manager = app.screenshotManager();
    if (manager->isLibraryLoaded())
        return reply(0, listing(manager->screenshots(), json), {});
    // Still reading the folder: answer with the whole library, not a part of it.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(manager, &ScreenshotManager::libraryLoaded, manager,
                                   [connection, manager, json, reply] {
                                       QObject::disconnect(*connection);
                                       reply(0, listing(manager->screenshots(), json), {});
                                   });
}

} // namespace glimra::commands
