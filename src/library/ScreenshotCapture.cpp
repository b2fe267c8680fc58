// SPDX-License-Identifier: GPL-3.0-or-later
// The capture half of ScreenshotManager: starting captures, the countdown of a delayed one,
// and adding what a capture made.
#include "library/ScreenshotManager.h"

#include "library/CaptureRunner.h"
#include "library/DesktopScreenshotImporter.h"
#include "library/LibraryPaths.h"
#include "library/ScreenshotList.h"

namespace glimra {

namespace {

QString countdownText(int secondsLeft)
{
    return QStringLiteral("Capturing in %1...").arg(secondsLeft);
}

} // namespace

quint64 ScreenshotManager::startCapture(CaptureMode mode, int delaySeconds)
{
    // A new request replaces one still counting down, as a second press of the key would.
    cancelDelayedCapture();
    const quint64 ticket = m_nextTicket++;
    if (delaySeconds <= 0) {
        beginCapture(ticket, mode);
        return ticket;
    }
    m_pending = PendingCapture{ticket, mode, delaySeconds};
    setStatusMessage(countdownText(delaySeconds));
    m_countdownTimer.start();
    Q_EMIT captureCountdownChanged();
    return ticket;
}

bool ScreenshotManager::cancelDelayedCapture()
{
    if (!m_pending)
        return false;
    const quint64 ticket = m_pending->ticket;
    m_pending.reset();
    m_countdownTimer.stop();
    setStatusMessage(kCaptureCancelled);
    Q_EMIT captureCountdownChanged();
    Q_EMIT captureFinished(ticket, nullptr, kCaptureCancelled);
    return true;
}

void ScreenshotManager::tickCountdown()
{
    if (!m_pending)
        return;
    if (--m_pending->secondsLeft > 0) {
        setStatusMessage(countdownText(m_pending->secondsLeft));
        Q_EMIT captureCountdownChanged();
        return;
    }
    const PendingCapture due = *m_pending;
    m_pending.reset();
    m_countdownTimer.stop();
    Q_EMIT captureCountdownChanged();
    beginCapture(due.ticket, due.mode);
}

void ScreenshotManager::beginCapture(quint64 ticket, CaptureMode mode)
{
    // The popover closes only now, so that a countdown shows in it and it is never captured.
    if (onBeforeCapture)
        onBeforeCapture();
    setStatusMessage(CaptureRunner::progressText(mode));
    const QString folder = m_customSaveLocation.value_or(libraryFolder());
    m_importer->pause();
    m_capture->start(mode, folder, m_saveFormat,
                     [this, ticket, mode](const CaptureRunner::Outcome& outcome) {
                         m_importer->resume();
                         if (outcome.failure) {
                             setStatusMessage(*outcome.failure);
                             Q_EMIT captureFinished(ticket, nullptr, *outcome.failure);
                         } else if (!outcome.preview) {
                             // Something that is no picture: nothing to add.
                             Q_EMIT captureFinished(ticket, nullptr, statusMessage());
                         } else {
                             auto item = std::make_shared<ScreenshotItem>(
                                 *outcome.preview, QDateTime::currentDateTime(), SyncStatus::Local,
                                 std::nullopt, outcome.path, captureTypeText(mode));
                             insertNewItem(item);
                             Q_EMIT captureFinished(ticket, item, QString());
                         }
                     });
}

void ScreenshotManager::insertNewItem(const ScreenshotItemPtr& item)
{
    adoptPreview(item);
    m_list->prepend(item);
    setStatusMessage(QString());
    if (m_autoCopyEnabled)
        copyToClipboard(item);
    uploadScreenshot(item);
}

} // namespace glimra
