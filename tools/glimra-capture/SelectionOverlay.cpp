// SPDX-License-Identifier: GPL-3.0-or-later
#include "SelectionOverlay.h"

#include "CaptureGeometry.h"
#include "CaptureThumbnail.h"
#include "ImageFile.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <cstdio>

namespace glimra::capture {

namespace {

// A held shortcut key keeps the window manager's or hot-key daemon's passive grab active
// until it is released, so the first grab attempts may fail; give the user that long.
constexpr int kGrabRetryMs = 20;
constexpr int kGrabGiveUpMs = 2000;
const QColor kAccent(0x3d, 0xae, 0xe9);
const QColor kDim(0, 0, 0, 128);

} // namespace

namespace {

QRect scaledRect(const QRect& logical, qreal scale)
{
    return QRect(QPoint(qRound(logical.x() * scale), qRound(logical.y() * scale)),
                 QSize(qRound(logical.width() * scale), qRound(logical.height() * scale)));
}

} // namespace

SelectionOverlay::SelectionOverlay(SelectionSession& session, QScreen* screen, const QImage& frozen,
                                   const QRect& desktop, qreal uniformScale)
    : m_session(session),
      m_device(uniformScale > 0 ? scaledRect(screen->geometry(), uniformScale)
                                : deviceRect({screen->geometry(), screen->devicePixelRatio()})),
      m_dpr(uniformScale > 0 ? uniformScale : screen->devicePixelRatio())
{
    setFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint |
             Qt::Tool);
    setCursor(Qt::CrossCursor);
    setTitle(QStringLiteral("glimra-capture"));
    setScreen(screen);
    setGeometry(screen->geometry());

    // Both versions are made once, so painting during a drag only copies pixels.
    QImage part = frozen.copy(deviceToImage(m_device, desktop));
    if (part.size() != m_device.size()) {
        // A monitor reaching past the root window (should not happen) shows black there.
        QImage full(m_device.size(), QImage::Format_RGB32);
        full.fill(Qt::black);
        QPainter(&full).drawImage(0, 0, part);
        part = full;
    }
    m_clear = QPixmap::fromImage(part);
    QImage dimmed = part;
    QPainter(&dimmed).fillRect(dimmed.rect(), kDim);
    m_dimmed = QPixmap::fromImage(dimmed);
    m_clear.setDevicePixelRatio(m_dpr);
    m_dimmed.setDevicePixelRatio(m_dpr);
}

QPoint SelectionOverlay::toDevice(QPointF local) const
{
    return localToDevice(local, m_device.topLeft(), m_dpr);
}

void SelectionOverlay::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawPixmap(0, 0, m_dimmed);

    const QRect highlight = m_session.model().highlight();
    const QRect visible = highlight.intersected(m_device);
    if (visible.isEmpty())
        return;
    const QRectF local = deviceToLocal(visible, m_device.topLeft(), m_dpr);
    p.drawPixmap(local, m_clear, QRectF(visible.topLeft() - m_device.topLeft(), visible.size()));

    // The outline sits just outside the rectangle, so every pixel inside it is one the image
    // will hold; at the monitor's edge (a maximised window) it moves in to stay visible.
    p.setPen(QPen(kAccent, 2));
    p.setBrush(Qt::NoBrush);
    const QRectF inner = QRectF(QPointF(), size()).adjusted(1, 1, -1, -1);
    p.drawRect(deviceToLocal(highlight, m_device.topLeft(), m_dpr)
                   .adjusted(-1, -1, 1, 1)
                   .intersected(inner));

    // The size in device pixels is what the saved image will measure.
    const QString text =
        QStringLiteral("%1 \u00d7 %2").arg(highlight.width()).arg(highlight.height());
    QFont font = p.font();
    font.setBold(true);
    p.setFont(font);
    const QSize textSize = p.fontMetrics().size(Qt::TextSingleLine, text) + QSize(12, 6);
    const QRect labelDevice = sizeLabelRect(
        highlight, QSize(qRound(textSize.width() * m_dpr), qRound(textSize.height() * m_dpr)),
        m_device);
    const QRectF label = deviceToLocal(labelDevice, m_device.topLeft(), m_dpr);
    if (!label.intersects(QRectF(QPointF(), size())))
        return;
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 190));
    p.drawRoundedRect(label, 4, 4);
    p.setPen(Qt::white);
    p.drawText(label, Qt::AlignCenter, text);
}

void SelectionOverlay::mouseMoveEvent(QMouseEvent* event)
{
    m_session.model().move(toDevice(event->position()));
    m_session.changed();
}

void SelectionOverlay::mousePressEvent(QMouseEvent* event)
{
    m_session.model().press(toDevice(event->position()), event->button());
    m_session.changed();
}

void SelectionOverlay::mouseReleaseEvent(QMouseEvent* event)
{
    m_session.model().release(toDevice(event->position()), event->button());
    m_session.changed();
}

void SelectionOverlay::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        m_session.model().cancel();
        m_session.changed();
    }
}

SelectionSession::SelectionSession(CaptureMode mode, QImage frozen, const QRect& desktop,
                                   std::vector<WindowFrame> frames, qreal uniformScale)
    : m_mode(mode), m_frozen(std::move(frozen)), m_desktop(desktop), m_uniformScale(uniformScale),
      m_wayland(QGuiApplication::platformName().startsWith(QLatin1String("wayland"))),
      m_model(mode, desktop, std::move(frames))
{
    m_grabTimer.setInterval(kGrabRetryMs);
    connect(&m_grabTimer, &QTimer::timeout, this, &SelectionSession::tryGrab);
}

SelectionSession::~SelectionSession() = default;

void SelectionSession::start()
{
    for (QScreen* screen : QGuiApplication::screens()) {
        m_overlays.push_back(
            std::make_unique<SelectionOverlay>(*this, screen, m_frozen, m_desktop, m_uniformScale));
        // A Wayland desktop places windows itself; full screen is the way to cover an output.
        if (m_wayland)
            m_overlays.back()->showFullScreen();
        else
            m_overlays.back()->show();
    }
    if (m_overlays.empty()) {
        Q_EMIT failed(QStringLiteral("no screens to show the selection on"));
        return;
    }
    // The pointer starts wherever it is; show the window under it before the first move.
    // (A Wayland client learns where the pointer is only when it enters its window.)
    if (m_mode == CaptureMode::Window && !m_wayland) {
        const QPoint pointer = QCursor::pos();
        std::vector<Monitor> monitors;
        for (QScreen* screen : QGuiApplication::screens())
            monitors.push_back({screen->geometry(), screen->devicePixelRatio()});
        m_model.move(logicalToDevice(monitors, pointer));
    }
    m_overlays.front()->raise();
    m_overlays.front()->requestActivate();
    m_grabClock.start();
    m_grabTimer.start();
    tryGrab();
}

void SelectionSession::tryGrab()
{
    if (feedTestSelection())
        return;
    // Wayland has no grabs: the focused full-screen overlay gets the keys anyway.
    if (m_wayland) {
        m_grabTimer.stop();
        return;
    }
    QWindow* window = m_overlays.front().get();
    // Grabs need a viewable window; until the first expose they are refused like a busy grab.
    if (window && window->isExposed() && window->setKeyboardGrabEnabled(true) &&
        window->setMouseGrabEnabled(true)) {
        m_grabTimer.stop();
        return;
    }
    if (window)
        window->setKeyboardGrabEnabled(false);
    if (m_grabClock.elapsed() > kGrabGiveUpMs) {
        m_grabTimer.stop();
        if (!m_reported) {
            m_reported = true;
            Q_EMIT failed(QStringLiteral("another program holds the keyboard or pointer"));
        }
    }
}

// GLIMRA_CAPTURE_TEST_SELECTION="X1,Y1,X2,Y2" (global logical coordinates) drags from the
// first point to the second once every overlay is on screen, as a pointer would, so that tests
// on desktops without a pointer still go through the overlays' mapping. False until done.
bool SelectionSession::feedTestSelection()
{
    const QList<QByteArray> numbers = qgetenv("GLIMRA_CAPTURE_TEST_SELECTION").split(',');
    if (numbers.size() != 4)
        return false;
    for (const auto& overlay : m_overlays) {
        if (!overlay->isExposed())
            return true; // keep polling
    }
    const auto device = [&](int x, int y) {
        const QPoint point(x, y);
        for (const auto& overlay : m_overlays) {
            if (overlay->geometry().contains(point))
                return overlay->toDevice(point - overlay->geometry().topLeft());
        }
        return point;
    };
    const QPoint from = device(numbers[0].toInt(), numbers[1].toInt());
    const QPoint to = device(numbers[2].toInt(), numbers[3].toInt());
    m_grabTimer.stop();
    m_model.move(from);
    m_model.press(from, Qt::LeftButton);
    m_model.move(to);
    m_model.release(to, Qt::LeftButton);
    changed();
    return true;
}

void SelectionSession::changed()
{
    for (const auto& overlay : m_overlays)
        overlay->update();
    if (m_reported)
        return;
    switch (m_model.outcome()) {
    case SelectionModel::Outcome::Pending:
        return;
    case SelectionModel::Outcome::Done:
        m_reported = true;
        Q_EMIT selected(m_model.result());
        return;
    case SelectionModel::Outcome::Cancelled:
        m_reported = true;
        Q_EMIT cancelled();
        return;
    }
}

int saveCaptureImage(const QImage& image, const std::string& path)
{
    const PixelView pixels{image.constBits(), image.width(), image.height(), image.bytesPerLine()};
    const std::string error = saveCapture(pixels, path);
    if (!error.empty()) {
        std::fprintf(stderr, "glimra-capture: %s\n", error.c_str());
        return kExitError;
    }
    writeCaptureThumbnail(pixels, path);
    return kExitSaved;
}

int runSelection(SelectionSession& session, const QImage& frozen, const QRect& desktop,
                 const std::string& path)
{
    int status = kExitCancelled;
    QObject::connect(&session, &SelectionSession::selected, qApp, [&](QRect device) {
        status = saveCaptureImage(frozen.copy(deviceToImage(device, desktop)), path);
        qApp->exit();
    });
    QObject::connect(&session, &SelectionSession::cancelled, qApp, [] { qApp->exit(); });
    QObject::connect(&session, &SelectionSession::failed, qApp, [&](const QString& reason) {
        std::fprintf(stderr, "glimra-capture: %s\n", reason.toLocal8Bit().constData());
        status = kExitError;
        qApp->exit();
    });
    session.start();
    qApp->exec();
    return status;
}

} // namespace glimra::capture
