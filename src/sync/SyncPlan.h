// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a sync decides, kept apart from every network and file object so that tests can
// drive each decision with plain values.

#include "core/ServerScreenshot.h"
#include "library/ScreenshotItem.h"

#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace glimra::sync {

// One record of a listing; nothing when "id" is not an integer or "filename" not a string.
// A missing "original_filename" falls back to "filename".
std::optional<ServerScreenshot> decodeServerScreenshot(const QJsonObject& object);
// The records that decode, in the server's order.
QList<ServerScreenshot> decodeServerScreenshots(const QList<QJsonObject>& objects);

// Whether a name from the server may become a file of the library folder: one plain,
// visible name the file system can hold. Anything else could write or delete outside the
// folder, or hide among the folder's own hidden files.
bool isSafeLibraryName(const QString& name);

struct SyncPlan {
    // Local items the server has no copy of, in list order.
    QList<ScreenshotItemPtr> uploads;
    // Records the library folder has no file for, in listing order; one per name.
    QList<ServerScreenshot> downloads;
};

// Copies are matched by file name only. folderNames are all entries of the library folder,
// hidden ones included: a name that is taken in any way is never downloaded. Only items
// still local are uploaded, so an upload in flight or one that failed is not sent again.
SyncPlan planSync(const QSet<QString>& folderNames, const QList<ScreenshotItemPtr>& items,
                  const QList<ServerScreenshot>& records);

// "Downloaded 1 screenshot from server", "Downloaded 3 screenshots from server".
QString downloadSummary(int added);

} // namespace glimra::sync
