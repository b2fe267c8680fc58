// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/SyncPlan.h"

#include "core/JsonMembers.h"
#include "sync/Protocol.h"

#include <QFile>
#include <QFileInfo>

#include <climits>

namespace glimra::sync {

namespace {

using L = QLatin1StringView;

// NAME_MAX of every Linux file system a home folder lives on.
constexpr qsizetype kMaxNameBytes = NAME_MAX;

} // namespace

std::optional<ServerScreenshot> decodeServerScreenshot(const QJsonObject& object)
{
    const std::optional<qint64> id = integerMember(object, L("id"));
    const std::optional<QString> filename = stringMember(object, L("filename"));
    if (!id || !filename)
        return std::nullopt;
    return ServerScreenshot{
        *id,
        *filename,
        stringMember(object, L("original_filename")).value_or(*filename),
        integerMember(object, L("file_size")).value_or(0),
        stringMember(object, L("capture_type")).value_or(QString()),
        stringMember(object, L("uploaded_at")).value_or(QString()),
        decodeShareLinks(object.value(L("shares"))),
    };
}

QList<ServerScreenshot> decodeServerScreenshots(const QList<QJsonObject>& objects)
{
    QList<ServerScreenshot> records;
    records.reserve(objects.size());
    for (const QJsonObject& object : objects) {
        if (std::optional<ServerScreenshot> record = decodeServerScreenshot(object))
            records.append(std::move(*record));
    }
    return records;
}

bool isSafeLibraryName(const QString& name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')) || name.contains(QLatin1Char('/')) ||
        name.contains(QChar(0)))
        return false;
    // The bytes the file system stores; a name that does not survive the trip would land
    // under another name than the one matched.
    const QByteArray encoded = QFile::encodeName(name);
    return encoded.size() <= kMaxNameBytes && QFile::decodeName(encoded) == name;
}

SyncPlan planSync(const QSet<QString>& folderNames, const QList<ScreenshotItemPtr>& items,
                  const QList<ServerScreenshot>& records)
{
    SyncPlan plan;
    QSet<QString> onServer;
    for (const ServerScreenshot& record : records)
        onServer.insert(record.originalFilename);
    for (const ScreenshotItemPtr& item : items) {
        if (item->syncStatus == SyncStatus::Local && item->filePath &&
            !onServer.contains(QFileInfo(*item->filePath).fileName()))
            plan.uploads.append(item);
    }
    QSet<QString> planned;
    for (const ServerScreenshot& record : records) {
        const QString& name = record.originalFilename;
        if (!isSafeLibraryName(name) || folderNames.contains(name) || planned.contains(name))
            continue;
        planned.insert(name);
        plan.downloads.append(record);
    }
    return plan;
}

QString downloadSummary(int added)
{
    return QStringLiteral("Downloaded %1 screenshot%2 from server")
        .arg(added)
        .arg(added == 1 ? QString() : QStringLiteral("s"));
}

} // namespace glimra::sync
