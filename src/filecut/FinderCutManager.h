// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/GlobalKeyGrabber.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>

namespace glimra {

// Super+X then Super+V moves files in the file manager: while a file manager window is
// active, Super+X becomes its own cut (Ctrl+X), and the next Super+V becomes its paste
// (Ctrl+V) as long as nothing else has been copied since. Every other press of the two
// combinations reaches the focused window unchanged.
class FinderCutManager final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FinderCutManager)
public:
    using WindowClassSource = std::function<QStringList()>;
    static constexpr int kCutId = 1;
    static constexpr int kPasteId = 2;

    FinderCutManager(GlobalKeyGrabber& grabber, WindowClassSource activeWindowClass,
                     QObject* parent = nullptr);
    ~FinderCutManager() override;

    void install();
    void uninstall();
    bool isInstalled() const { return m_installed; }

    // Off lets both combinations through untouched and keeps a pending cut for later.
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);

    bool cutPending() const { return m_cutPending; }
    bool isSimulating() const { return m_simulating; }
    quint64 clipboardChangeCount() const { return m_changeCount; }

    // WM_CLASS names (any case) that count as a file manager besides the known ones.
    void setExtraFileManagerClasses(const QStringList& classes) { m_extraClasses = classes; }
    bool isFileManager(const QStringList& windowClass) const;

    // How long the file manager has to take the clipboard after our cut before we conclude
    // that it had nothing selected.
    void setCutTimeout(std::chrono::milliseconds timeout) { m_cutTimer.setInterval(timeout); }

    // The decision for one press: nothing passes it on, a combination replaces it.
    std::optional<GlobalKeyGrabber::Combination> handleKey(int id);

public Q_SLOTS:
    // Every change of the clipboard's owner or contents, by whoever made it.
    void clipboardChanged();

Q_SIGNALS:
    void stateChanged();

private:
    void applyGrabs();
    bool fileManagerInFront() const;

    GlobalKeyGrabber& m_grabber;
    WindowClassSource m_activeWindowClass;
    QStringList m_extraClasses;
    QTimer m_cutTimer;
    bool m_installed = false;
    bool m_enabled = true;
    bool m_cutPending = false;
    bool m_simulating = false;
    quint64 m_changeCount = 0;
    quint64 m_lastChangeCount = 0;
};

} // namespace glimra
