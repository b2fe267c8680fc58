// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CaptureGeometry.h"
#include "SelectionModel.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QRasterWindow>
#include <QTimer>

#include <memory>
#include <vector>

class QScreen;

namespace glimra::capture {

class SelectionSession;

// One frameless, always-on-top window over one monitor, showing that monitor's part of the
// frozen screen. One per monitor rather than one over the whole desktop, because monitors may
// differ in pixel ratio and a window has only one. A plain window rather than a widget:
// widgets round pointer positions to whole logical pixels, which at a pixel ratio of 2 moves
// a selection edge by a device pixel.
class SelectionOverlay final : public QRasterWindow {
    Q_OBJECT
public:
    // uniformScale: 0 when device pixels are X11 root pixels (each monitor at its own ratio,
    // its corner unscaled); otherwise every logical pixel is that many device pixels, as in a
    // portal's picture of a whole Wayland layout.
    SelectionOverlay(SelectionSession& session, QScreen* screen, const QImage& frozen,
                     const QRect& desktop, qreal uniformScale);
    QPoint toDevice(QPointF local) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    SelectionSession& m_session;
    QRect m_device; // this monitor in device pixels
    qreal m_dpr;
    QPixmap m_clear;
    QPixmap m_dimmed;
};

// Runs one interactive capture on a screen that is already frozen: shows the overlays, takes
// the keyboard and pointer, and reports the chosen rectangle in device pixels.
class SelectionSession final : public QObject {
    Q_OBJECT
public:
    SelectionSession(CaptureMode mode, QImage frozen, const QRect& desktop,
                     std::vector<WindowFrame> frames, qreal uniformScale = 0);
    ~SelectionSession() override;

    void start();
    SelectionModel& model() { return m_model; }
    CaptureMode mode() const { return m_mode; }
    // Called by the overlays after they fed the model an event.
    void changed();

Q_SIGNALS:
    void selected(QRect device);
    void cancelled();
    void failed(QString reason);

private:
    void tryGrab();
    bool feedTestSelection();

    CaptureMode m_mode;
    QImage m_frozen;
    QRect m_desktop;
    qreal m_uniformScale;
    bool m_wayland;
    SelectionModel m_model;
    std::vector<std::unique_ptr<SelectionOverlay>> m_overlays;
    QTimer m_grabTimer;
    QElapsedTimer m_grabClock;
    bool m_reported = false;
};

// `image` saved to `path` with its thumbnail; the capture's exit status.
int saveCaptureImage(const QImage& image, const std::string& path);
// Runs the application until the user has chosen, then saves the chosen part of `frozen`, the
// picture of `desktop`, to `path`; the capture's exit status.
int runSelection(SelectionSession& session, const QImage& frozen, const QRect& desktop,
                 const std::string& path);

} // namespace glimra::capture
