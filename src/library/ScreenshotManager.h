// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/CaptureMode.h"
#include "core/ServerScreenshot.h"
#include "core/SyncService.h"
#include "library/ScreenshotItem.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

namespace glimra {

class CaptureRunner;
class Clipboard;
class DesktopScreenshotImporter;
class FolderPicker;
class LibraryWatcher;
class PreviewStore;
class ScreenshotList;
class StatusLine;
class SyncService;

// The screenshot library as the views and the rest of the application see it: what is in
// it, the capture settings, the status line, the account's listing and every operation that
// adds, copies, imports or removes a screenshot. The work itself is done by the pieces
// beside it in this folder; the account sync is reached through a SyncService.
class ScreenshotManager final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScreenshotManager)
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY statusMessageChanged)
    Q_PROPERTY(bool autoCopyEnabled READ autoCopyEnabled WRITE setAutoCopyEnabled NOTIFY
                   autoCopyEnabledChanged)
    Q_PROPERTY(QString saveFormat READ saveFormat WRITE setSaveFormat NOTIFY saveFormatChanged)
    Q_PROPERTY(bool isLoadingServer READ isLoadingServer NOTIFY isLoadingServerChanged)
    Q_PROPERTY(
        bool isDownloadingMissing READ isDownloadingMissing NOTIFY isDownloadingMissingChanged)

public:
    using CaptureMode = glimra::CaptureMode;
    static constexpr std::chrono::milliseconds kConfirmationTime{2000};

    ScreenshotManager(Clipboard* clipboard, FolderPicker* folderPicker, QObject* parent = nullptr);
    ~ScreenshotManager() override;

    const QList<ScreenshotItemPtr>& screenshots() const;
    // True once the first load has put the library folder's pictures into the list. Their
    // previews come after, newest first; a file that turns out not to decode is dropped then.
    bool isLibraryLoaded() const { return m_libraryLoaded; }
    // Items whose first preview load has not finished.
    qsizetype previewsPending() const;
    // The item's preview if it is at hand; otherwise null, and previewLoaded follows.
    QImage preview(const ScreenshotItemPtr& item) const;

    bool autoCopyEnabled() const { return m_autoCopyEnabled; }
    void setAutoCopyEnabled(bool enabled);
    QString saveFormat() const { return m_saveFormat; }
    // "png" or "jpeg"; anything else is refused and the format stays as it was.
    void setSaveFormat(const QString& format);
    std::optional<QString> customSaveLocation() const { return m_customSaveLocation; }
    void setCustomSaveLocation(std::optional<QString> folder);

    // The library folder's path; the name is the one the views know it by.
    QString defaultStorageURL() const;
    // The folder the desktop's own screenshot tool saves to (see systemScreenshotFolder()).
    QString macScreenshotDir() const;

    QString statusMessage() const;
    void setStatusMessage(const QString& text);
    // Shows a confirmation and clears it after a while unless something else replaced it;
    // by default only the very same text counts as still shown.
    void showConfirmation(const QString& text, std::chrono::milliseconds after = kConfirmationTime,
                          std::function<bool(const QString&)> stillShown = {});

    std::function<void()> onBeforeCapture;

    void loadScreenshots();
    void startWatchingScreenshots();
    void stopWatchingScreenshots();

    void captureFullScreen() { startCapture(CaptureMode::FullScreen); }
    void captureArea() { startCapture(CaptureMode::Area); }
    void captureWindow() { startCapture(CaptureMode::Window); }
    // Starts a capture and returns its ticket; captureFinished reports the outcome under it.
    // With a delay the capture begins that many seconds later while the status line counts
    // down; a new request or cancelDelayedCapture cancels it ("Capture cancelled").
    quint64 startCapture(CaptureMode mode, int delaySeconds = 0);
    // True when a delayed capture was waiting.
    bool cancelDelayedCapture();
    // Seconds left before a delayed capture begins; 0 when none waits.
    int captureCountdown() const { return m_pending ? m_pending->secondsLeft : 0; }

    // A screenshot made in the app (an edit): it joins the list as a capture does.
    void addNewScreenshot(const ScreenshotItemPtr& item) { insertNewItem(item); }
    void copyToClipboard(const ScreenshotItemPtr& item);
    void deleteScreenshot(const ScreenshotItemPtr& item);
    void deleteScreenshots(const QList<ScreenshotItemPtr>& items);
    void selectSaveFolder();

    // For the sync: items it downloads, removes or changes in place.
    void insertItemByDate(const ScreenshotItemPtr& item);
    void removeItemsWithPaths(const QSet<QString>& paths);
    void notifyItemChanged(const ScreenshotItemPtr& item);

    // The account's screenshots and the sync's progress, as the sync last set them.
    const QList<ServerScreenshot>& serverScreenshots() const { return m_serverScreenshots; }
    void setServerScreenshots(QList<ServerScreenshot> records);
    bool isLoadingServer() const { return m_isLoadingServer; }
    void setLoadingServer(bool loading);
    bool isDownloadingMissing() const { return m_isDownloadingMissing; }
    void setDownloadingMissing(bool downloading);
    std::optional<QDateTime> lastSyncDate() const { return m_lastSyncDate; }
    void setLastSyncDate(std::optional<QDateTime> date);

    // Not owned. Until one is set, and after it is reset to null, the sync operations below
    // do nothing and every screenshot stays local. New captures and imports are handed to
    // uploadScreenshot; items loaded from the folder or inserted by the sync never are.
    void setSyncService(SyncService* service) { m_sync = service; }
    void uploadScreenshot(const ScreenshotItemPtr& item);
    void loadServerScreenshots();
    void performFullSync();
    void downloadMissingScreenshots();
    void deleteServerScreenshot(const ServerScreenshot& record);
    // A share link to the account's screenshot, or the revocation of its links, through the
    // sync; without one, done is told at once that there is no account.
    void shareServerScreenshot(qint64 serverId, std::optional<qint64> lifetimeSeconds,
                               ShareDone done);
    void revokeShareLinks(qint64 serverId, ShareDone done);
    // The item's file was written over with a new picture: its preview changes, and the
    // account's copy of it is replaced.
    void fileReplaced(const ScreenshotItemPtr& item, const QImage& preview);

Q_SIGNALS:
    // After every change of the list; the three below also name the one item concerned.
    void screenshotsChanged();
    void itemAdded(const ScreenshotItemPtr& item);
    void itemRemoved(const ScreenshotItemPtr& item);
    void itemChanged(const ScreenshotItemPtr& item);
    // The whole list changed at once (a load): views read it again.
    void screenshotsReplaced();
    void previewLoaded(const ScreenshotItemPtr& item);
    void previewsPendingChanged();
    void serverScreenshotsChanged();
    void statusMessageChanged();
    void autoCopyEnabledChanged();
    void saveFormatChanged();
    void customSaveLocationChanged();
    void lastSyncDateChanged();
    void isLoadingServerChanged();
    void isDownloadingMissingChanged();
    void libraryLoaded();
    // item is null when the capture added nothing; status then says why.
    void captureFinished(quint64 ticket, ScreenshotItemPtr item, QString status);
    void captureCountdownChanged();

private:
    void beginCapture(quint64 ticket, CaptureMode mode);
    void tickCountdown();
    void insertNewItem(const ScreenshotItemPtr& item);
    // A new item's picture goes to the preview store, which bounds the memory they take.
    void adoptPreview(const ScreenshotItemPtr& item);
    void removeFile(const ScreenshotItemPtr& item);

    Clipboard* m_clipboard;
    FolderPicker* m_folderPicker;
    SyncService* m_sync = nullptr;

    // Decodes of loads and edits, one at a time, in the order asked.
    QThreadPool m_ioPool;
    ScreenshotList* m_list;
    StatusLine* m_status;
    CaptureRunner* m_capture;
    DesktopScreenshotImporter* m_importer;
    LibraryWatcher* m_libraryWatcher;
    PreviewStore* m_previews;

    bool m_autoCopyEnabled = true;
    QString m_saveFormat = QStringLiteral("png");
    std::optional<QString> m_customSaveLocation;
    bool m_libraryLoaded = false;
    quint64 m_nextTicket = 1;
    struct PendingCapture {
        quint64 ticket;
        CaptureMode mode;
        int secondsLeft;
    };
    std::optional<PendingCapture> m_pending;
    QTimer m_countdownTimer;

    QList<ServerScreenshot> m_serverScreenshots;
    bool m_isLoadingServer = false;
    bool m_isDownloadingMissing = false;
    std::optional<QDateTime> m_lastSyncDate;
};

} // namespace glimra
