// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ServerScreenshotListModel.h"

#include "core/BackgroundJob.h"
#include "library/ScreenshotItem.h"
#include "library/ScreenshotManager.h"

#include <QDir>
#include <QFileInfo>

namespace glimra {

namespace {

// Enough for every row of a screen many times over; a preview is 160x100 pixels.
constexpr int kCachedPreviewBytes = 32 * 1024 * 1024;

QString versionKey(const QFileInfo& info)
{
    return info.absoluteFilePath() + QLatin1Char('\n') +
           QString::number(info.lastModified().toMSecsSinceEpoch()) + QLatin1Char('\n') +
           QString::number(info.size());
}

} // namespace

QString formattedSize(qint64 bytes)
{
    const double kilobytes = static_cast<double>(bytes) / 1024.0;
    if (kilobytes > 1024.0)
        return QString::asprintf("%.1f MB", kilobytes / 1024.0);
    return QString::asprintf("%.0f KB", kilobytes);
}

LocalPreviewCache::LocalPreviewCache(QObject* parent) : QObject(parent)
{
    m_pool.setMaxThreadCount(1);
    m_images.setMaxCost(kCachedPreviewBytes);
}

LocalPreviewCache::~LocalPreviewCache()
{
    m_pool.waitForDone();
}

LocalPreviewCache::Lookup LocalPreviewCache::lookup(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile())
        return {};
    const QString key = versionKey(info);
    if (const QImage* image = m_images.object(key))
        return {image->isNull() ? State::Unreadable : State::Ready, *image};
    if (!m_loading.contains(key)) {
        m_loading.insert(key);
        runInBackground(
            &m_pool, this, [path] { return decodePreview(path); },
            [this, key, path](const std::optional<QImage>& image) {
                m_loading.remove(key);
                auto* entry = new QImage(image.value_or(QImage()));
                m_images.insert(key, entry, std::max<qsizetype>(1, entry->sizeInBytes()));
                Q_EMIT loaded(path);
            });
    }
    return {State::Loading, {}};
}

ServerScreenshotListModel::ServerScreenshotListModel(ScreenshotManager* manager, QObject* parent)
    : QAbstractListModel(parent), m_manager(manager), m_previews(new LocalPreviewCache(this)),
      m_rows(manager->serverScreenshots())
{
    connect(manager, &ScreenshotManager::serverScreenshotsChanged, this,
            &ServerScreenshotListModel::reload);
    // A download or a deletion in the library may give a row its picture or take it away.
    connect(manager, &ScreenshotManager::screenshotsChanged, this,
            &ServerScreenshotListModel::refreshPreviews);
    connect(manager, &ScreenshotManager::screenshotsReplaced, this,
            &ServerScreenshotListModel::refreshPreviews);
    connect(m_previews, &LocalPreviewCache::loaded, this,
            &ServerScreenshotListModel::refreshPreviews);
}

int ServerScreenshotListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

ServerScreenshot ServerScreenshotListModel::recordAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row) : ServerScreenshot{};
}

QString ServerScreenshotListModel::localPath(int row) const
{
    const QString name = recordAt(row).originalFilename;
    // A name from the server must not lead out of the library folder.
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String("..") ||
        name == QLatin1String("."))
        return {};
    return QDir(m_manager->defaultStorageURL()).filePath(name);
}

QVariant ServerScreenshotListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.parent().isValid() || index.row() >= m_rows.size())
        return {};
    const ServerScreenshot& record = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return record.originalFilename;
    case Qt::AccessibleTextRole: {
        QStringList parts{record.originalFilename, formattedSize(record.fileSize)};
        if (!record.captureType.isEmpty())
            parts.append(record.captureType);
        if (!record.uploadedAt.isEmpty())
            parts.append(record.uploadedAt);
        return parts.join(QStringLiteral(", "));
    }
    case Qt::DecorationRole:
        return m_previews->lookup(localPath(index.row())).image;
    case RecordRole:
        return QVariant::fromValue(record);
    case SizeTextRole:
        return formattedSize(record.fileSize);
    case LocalPathRole:
        return localPath(index.row());
    case HasLocalImageRole:
        return m_previews->lookup(localPath(index.row())).state == LocalPreviewCache::State::Ready;
    default:
        return {};
    }
}

void ServerScreenshotListModel::reload()
{
    beginResetModel();
    m_rows = m_manager->serverScreenshots();
    endResetModel();
}

void ServerScreenshotListModel::refreshPreviews()
{
    if (m_rows.isEmpty())
        return;
    Q_EMIT dataChanged(index(0), index(static_cast<int>(m_rows.size()) - 1),
                       {Qt::DecorationRole, HasLocalImageRole});
}

} // namespace glimra
