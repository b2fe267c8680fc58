#pragma once

#include "core/CaptureMode.h"
#include "core/ServerScreenshot.h"
#include "library/LibraryListing.h"
#include "library/ScreenshotItem.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QThreadPool>

#include <functional>
#include <optional>

namespace glimra {

class Clipboard;
class DirectoryWatcher;
class FolderPicker;
class KeychainHelper;
class NetworkManager;

// The screenshot library: what is in it, the capture settings, the status line, and every
// operation that adds, copies, imports or removes a screenshot.
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

    ScreenshotManager(Clipboard* clipboard, FolderPicker* folderPicker, QObject* parent = nullptr);
    ~ScreenshotManager() override;

    const QList<ScreenshotItemPtr>& screenshots() const { return m_screenshots; }
    const QList<ServerScreenshot>& serverScreenshots() const { return m_serverScreenshots; }
    bool isLoadingServer() const { return m_isLoadingServer; }
    QString statusMessage() const { return m_statusMessage; }
    bool autoCopyEnabled() const { return m_autoCopyEnabled; }
    void setAutoCopyEnabled(bool enabled);
    QString saveFormat() const { return m_saveFormat; }
    // "png" or "jpeg"; anything else is refused and the format stays as it was.
    void setSaveFormat(const QString& format);
    std::optional<QString> customSaveLocation() const { return m_customSaveLocation; }
    void setCustomSaveLocation(std::optional<QString> folder);
    std::optional<QDateTime> lastSyncDate() const { return m_lastSyncDate; }
    bool isDownloadingMissing() const { return m_isDownloadingMissing; }

    // True once the first load has put the library folder's pictures into the list.
    bool isLibraryLoaded() const { return m_libraryLoaded; }

    void setNetworkManager(NetworkManager* network) { m_networkManager = network; }
    void setKeychain(KeychainHelper* keychain) { m_keychain = keychain; }
    std::function<void()> onBeforeCapture;

    QString defaultStorageURL() const;
    QString macScreenshotDir() const;

    void loadScreenshots();
    void startWatchingScreenshots();
    void stopWatchingScreenshots();

    void captureFullScreen() { startCapture(CaptureMode::FullScreen); }
    void captureArea() { startCapture(CaptureMode::Area); }
    void captureWindow() { startCapture(CaptureMode::Window); }
    // Starts a capture and returns its ticket; captureFinished reports the outcome under it.
    quint64 startCapture(CaptureMode mode);

    void copyToClipboard(const ScreenshotItemPtr& item);
    void deleteScreenshot(const ScreenshotItemPtr& item);
    void deleteScreenshots(const QList<ScreenshotItemPtr>& items);
    void selectSaveFolder();

    void uploadScreenshot(const ScreenshotItemPtr& item);
    void deleteServerScreenshot(const ServerScreenshot& record);
    void performFullSync();

Q_SIGNALS:
    void screenshotsChanged();
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

private:
    void setStatusMessage(const QString& text);
    // Shows a confirmation and clears it after a while, unless something else has replaced it.
    void showConfirmation(const QString& text, std::function<bool(const QString&)> stillShown);
    void insertNewItem(const ScreenshotItemPtr& item);
    void removeFile(const ScreenshotItemPtr& item);
    QString savePath(const QString& extension);
    QString captureTool() const;

    void snapshotStorageModDates();
    void checkForNewScreenshots();
    void checkForModifiedScreenshots();
    void importScreenshot(const QString& sourcePath);

    Clipboard* m_clipboard;
    FolderPicker* m_folderPicker;
    NetworkManager* m_networkManager = nullptr;
    KeychainHelper* m_keychain = nullptr;

    QList<ScreenshotItemPtr> m_screenshots;
    QList<ServerScreenshot> m_serverScreenshots;
    bool m_isLoadingServer = false;
    QString m_statusMessage;
    bool m_autoCopyEnabled = true;
    QString m_saveFormat = QStringLiteral("png");
    std::optional<QString> m_customSaveLocation;
    std::optional<QDateTime> m_lastSyncDate;
    bool m_isDownloadingMissing = false;
    bool m_libraryLoaded = false;

    DirectoryWatcher* m_screenshotDirWatcher = nullptr;
    DirectoryWatcher* m_storageDirWatcher = nullptr;
    QHash<QString, QDateTime> m_knownFileModDates;
    QSet<QString> m_knownDesktopFiles;
    // System screenshots that did not decode, with how they looked then.
    QHash<QString, FileStamp> m_unreadyDesktopFiles;

    QSet<QString> m_reservedPaths; // capture targets whose tool has not finished yet
    quint64 m_nextTicket = 1;
    // File moves and decodes of imports and edits, one at a time and in the order asked for.
    QThreadPool m_ioPool;
};

} // namespace glimra
