// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ServerScreenshot.h"

#include <QAbstractListModel>
#include <QCache>
#include <QImage>
#include <QList>
#include <QSet>
#include <QThreadPool>

namespace glimra {

class ScreenshotManager;

// A size as the server list shows it: "%.0f KB" up to 1024 KB, "%.1f MB" beyond.
QString formattedSize(qint64 bytes);

// Previews of files in the library folder for rows that only know a file name. A file is
// decoded on a worker thread once per modification time; painting asks and never waits.
class LocalPreviewCache final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LocalPreviewCache)
public:
    enum class State { Missing, Loading, Unreadable, Ready };
    struct Lookup {
        State state = State::Missing;
        QImage image;
    };

    explicit LocalPreviewCache(QObject* parent = nullptr);
    ~LocalPreviewCache() override;

    // What is known about the file now; starts a decode when the file is there but its
    // current version has not been read yet.
    Lookup lookup(const QString& path);

Q_SIGNALS:
    void loaded(const QString& path);

private:
    QThreadPool m_pool;
    // An unreadable file is kept as a null image, so it is not decoded again until it changes.
    QCache<QString, QImage> m_images;
    QSet<QString> m_loading;
};

// The account's screenshots as the manager last listed them, one row per record, with the
// preview of the library file of the same name when there is one.
class ServerScreenshotListModel final : public QAbstractListModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ServerScreenshotListModel)
public:
    enum Role {
        RecordRole = Qt::UserRole + 1, // ServerScreenshot
        SizeTextRole,                  // formattedSize of the record
        LocalPathRole,                 // where its library copy would be
        HasLocalImageRole,             // that copy exists and reads as a picture
    };

    explicit ServerScreenshotListModel(ScreenshotManager* manager, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    ServerScreenshot recordAt(int row) const;
    QString localPath(int row) const;

private:
    void reload();
    void refreshPreviews();

    ScreenshotManager* m_manager;
    LocalPreviewCache* m_previews;
    QList<ServerScreenshot> m_rows;
};

} // namespace glimra

Q_DECLARE_METATYPE(glimra::ServerScreenshot)
