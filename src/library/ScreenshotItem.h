// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

class QIODevice;

namespace glimra {

enum class SyncStatus { Local, Syncing, Synced, Failed };

// "local", "syncing", "synced", "failed": the texts the views and the command line show.
QString syncStatusText(SyncStatus status);

// One screenshot of the library. Items are shared between the manager's list and the views;
// whoever changes a field in place must tell the manager's observers.
class ScreenshotItem final {
public:
    ScreenshotItem(QImage image, QDateTime date, SyncStatus syncStatus,
                   std::optional<QString> serverId, std::optional<QString> filePath,
                   std::optional<QString> captureType);

    // Full-size pictures are not kept: two thousand 4K screenshots would need tens of
    // gigabytes. The full picture is read from the file when it is needed.
    QImage fullImage() const;

    const QUuid id;
    // The picture a new item (a capture, an import, a download) comes with. The library
    // moves it into its bounded preview store when the item joins the list, and empties it:
    // views ask ScreenshotManager::preview.
    QImage image;
    QDateTime date;
    SyncStatus syncStatus;
    std::optional<QString> serverId;
    std::optional<QString> filePath;
    std::optional<QString> captureType;
};

using ScreenshotItemPtr = std::shared_ptr<ScreenshotItem>;

// The preview covers this many pixels (an 80x50 row at device pixel ratio 2).
inline constexpr QSize kPreviewSize{160, 100};

// Decodes the picture at path into a preview; nothing when the file is not a readable image.
// Safe to call from any thread.
std::optional<QImage> decodePreview(const QString& path);
// The same from an open file; the format is told by the content.
std::optional<QImage> decodePreview(QIODevice* device);

} // namespace glimra
