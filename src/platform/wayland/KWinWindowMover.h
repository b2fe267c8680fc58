// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/WindowMover.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace glimra {

// Tiles through KWin's scripting interface. KWin runs a small script of ours that finds the
// active window and its screen's usable area and asks us, over D-Bus, where the window goes;
// our answer comes from the same rectangle rules as every other desktop's, and the script
// then moves the window. Every step is a call answered later: nothing waits on the GUI thread.
class KWinWindowMover final : public QObject, public WindowMover {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.github.glimra.Tiling")
    Q_DISABLE_COPY_MOVE(KWinWindowMover)
public:
    // scriptPath: where the script is written for KWin to read, in a folder only we can write.
    KWinWindowMover(QDBusConnection bus, QString scriptPath);
    ~KWinWindowMover() override;
    // Whether KWin answers on this bus.
    static bool isRunning(const QDBusConnection& bus);

    bool placeFocused(const Placement& place) override;
    std::optional<ActiveWindow> activeWindow() override { return std::nullopt; }
    QList<Monitor> monitors() override { return {}; }
    void unmaximize(WindowId, std::function<void()> done) override { done(); }
    void moveResize(WindowId, const QRect&, const FrameExtents&) override {}

public Q_SLOTS:
    // Called by the script: the usable area of the active window's screen in, its frame out
    // ("x y width height"), empty when no tile is waiting. The script rounds: KWin sends whole
    // numbers as D-Bus integers and others as doubles.
    Q_SCRIPTABLE QString placement(int x, int y, int width, int height);

private:
    void start();
    void finish();
    void call(const QString& path, const QString& interface, const QString& method,
              const QVariantList& args, std::function<void(const QDBusMessage&)> then);

    QDBusConnection m_bus;
    QString m_scriptPath;
    bool m_scriptWritten = false;
    bool m_busy = false;     // a script of ours is loaded or on its way
    bool m_answered = false; // the current script has asked for its placement
    bool m_refused = false;  // KWin refused to load the last script
    Placement m_waiting;
};

} // namespace glimra
