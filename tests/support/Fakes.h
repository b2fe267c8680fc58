// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ServerScreenshot.h"
#include "core/SyncService.h"
#include "library/ScreenshotItem.h"
#include "platform/Clipboard.h"
#include "platform/FolderPicker.h"

#include "TestSupport.h"
#include <QMimeData>

#include <memory>

namespace glimra::test {

class FakeClipboard final : public Clipboard {
public:
    void setMimeData(QMimeData* data) override
    {
        current.reset(data);
        ++count;
    }
    quint64 changeCount() const override { return count; }
    QByteArray dataFor(const QString& type) const
    {
        return current ? current->data(type) : QByteArray();
    }

    std::unique_ptr<QMimeData> current;
    quint64 count = 0;
};

class FakeFolderPicker final : public FolderPicker {
public:
    std::optional<QString> chooseFolder(const QString&, const QString&) override
    {
        return nextAnswer;
    }
    std::optional<QString> nextAnswer;
};

// Writes down what the library asks of the sync, one line a call.
class RecordingSync final : public SyncService {
public:
    void uploadScreenshot(const ScreenshotItemPtr& item) override
    {
        calls.append(QStringLiteral("upload ") + QFileInfo(*item->filePath).fileName());
    }
    void loadServerScreenshots() override { calls.append(QStringLiteral("list")); }
    void performFullSync() override { calls.append(QStringLiteral("full")); }
    void downloadMissingScreenshots() override { calls.append(QStringLiteral("download")); }
    void deleteServerScreenshot(const ServerScreenshot& record) override
    {
        calls.append(QStringLiteral("delete ") + QString::number(record.id));
    }
    void replaceServerCopy(const ScreenshotItemPtr&) override {}
    void shareScreenshot(qint64 id, std::optional<qint64> lifetime, ShareDone done) override
    {
        calls.append(QStringLiteral("share %1 %2").arg(id).arg(lifetime.value_or(0)));
        done({true, QStringLiteral("https://example.org/s/%1").arg(id)});
    }
    void revokeShareLinks(qint64 id, ShareDone done) override
    {
        calls.append(QStringLiteral("unshare %1").arg(id));
        done({true, QStringLiteral("Share links revoked")});
    }
    QStringList calls;
};

} // namespace glimra::test
