// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/ScreenshotItem.h"

#include <QAbstractListModel>
#include <QList>

namespace glimra {

class ScreenshotManager;

// The library as a list model, newest first, for the views. Each change of one item touches
// its one row; the rows hold the items, never a copy of their pictures: the decoration is
// the manager's preview, asked for when a view paints the row.
class ScreenshotListModel final : public QAbstractListModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScreenshotListModel)
public:
    enum Role {
        ItemRole = Qt::UserRole + 1, // ScreenshotItemPtr
        DateRole,                    // QDateTime
        SyncStatusRole,              // "local", "syncing", "synced", "failed"
        PathRole,                    // the file's path, empty when there is none
    };

    explicit ScreenshotListModel(ScreenshotManager* manager, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    ScreenshotItemPtr itemAt(int row) const;

private:
    void reload();
    void insert(const ScreenshotItemPtr& item);
    void remove(const ScreenshotItemPtr& item);
    void refresh(const ScreenshotItemPtr& item, const QList<int>& roles);

    ScreenshotManager* m_manager;
    QList<ScreenshotItemPtr> m_rows;
};

} // namespace glimra
