// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ScreenshotListModel.h"

#include "library/ScreenshotManager.h"

#include <QFileInfo>

namespace glimra {

ScreenshotListModel::ScreenshotListModel(ScreenshotManager* manager, QObject* parent)
    : QAbstractListModel(parent), m_manager(manager), m_rows(manager->screenshots())
{
    connect(manager, &ScreenshotManager::screenshotsReplaced, this, &ScreenshotListModel::reload);
    connect(manager, &ScreenshotManager::itemAdded, this, &ScreenshotListModel::insert);
    connect(manager, &ScreenshotManager::itemRemoved, this, &ScreenshotListModel::remove);
    connect(manager, &ScreenshotManager::itemChanged, this,
            [this](const ScreenshotItemPtr& item) { refresh(item, {}); });
    connect(manager, &ScreenshotManager::previewLoaded, this,
            [this](const ScreenshotItemPtr& item) { refresh(item, {Qt::DecorationRole}); });
}

int ScreenshotListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

ScreenshotItemPtr ScreenshotListModel::itemAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row) : nullptr;
}

QVariant ScreenshotListModel::data(const QModelIndex& index, int role) const
{
    const ScreenshotItemPtr item = itemAt(index.row());
    if (!item || index.parent().isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return item->filePath ? QFileInfo(*item->filePath).fileName() : QString();
    case Qt::DecorationRole:
        return m_manager->preview(item);
    case ItemRole:
        return QVariant::fromValue(item);
    case DateRole:
        return item->date;
    case SyncStatusRole:
        return syncStatusText(item->syncStatus);
    case PathRole:
        return item->filePath.value_or(QString());
    default:
        return {};
    }
}

QHash<int, QByteArray> ScreenshotListModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(ItemRole, "item");
    names.insert(DateRole, "date");
    names.insert(SyncStatusRole, "syncStatus");
    names.insert(PathRole, "path");
    return names;
}

void ScreenshotListModel::reload()
{
    beginResetModel();
    m_rows = m_manager->screenshots();
    endResetModel();
}

void ScreenshotListModel::insert(const ScreenshotItemPtr& item)
{
    // New items go on top, so the search ends at once in the usual case.
    const qsizetype row = m_manager->screenshots().indexOf(item);
    if (row < 0 || row > m_rows.size())
        return reload();
    beginInsertRows({}, static_cast<int>(row), static_cast<int>(row));
    m_rows.insert(row, item);
    endInsertRows();
}

void ScreenshotListModel::remove(const ScreenshotItemPtr& item)
{
    const qsizetype row = m_rows.indexOf(item);
    if (row < 0)
        return;
    beginRemoveRows({}, static_cast<int>(row), static_cast<int>(row));
    m_rows.remove(row);
    endRemoveRows();
}

void ScreenshotListModel::refresh(const ScreenshotItemPtr& item, const QList<int>& roles)
{
    const qsizetype row = m_rows.indexOf(item);
    if (row < 0)
        return;
    const QModelIndex at = index(static_cast<int>(row));
    Q_EMIT dataChanged(at, at, roles);
}

} // namespace glimra
