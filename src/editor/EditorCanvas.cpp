// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/EditorCanvas.h"

#include "editor/MarkRenderer.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <utility>

namespace glimra::editor {

namespace {

constexpr qreal kHandle = 10; // the resize handle's side, in view pixels

} // namespace

EditorCanvas::EditorCanvas(QImage picture, qreal scale, QWidget* parent)
    : QWidget(parent), m_picture(picture.convertToFormat(QImage::Format_RGB32)),
      m_scale(scale > 0 ? scale : 1)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Picture"));
    setZoom(1 / m_scale);
}

void EditorCanvas::setTool(Tool tool, MarkKind kind)
{
    m_tool = tool;
    m_kind = kind;
    setCursor(tool == Tool::Select ? Qt::ArrowCursor : Qt::CrossCursor);
    if (tool != Tool::Select && m_selected >= 0) {
        m_selected = -1;
        update();
    }
}

void EditorCanvas::setMarkStyle(const QColor& color, qreal width, qreal fontSize)
{
    m_color = color;
    m_width = width;
    m_fontSize = fontSize;
    if (m_selected < 0)
        return;
    MarkDocument next = document();
    Mark& mark = next.marks[m_selected];
    mark.color = color;
    mark.width = width;
    mark.fontSize = fontSize;
    commit(std::move(next));
}

void EditorCanvas::undo()
{
    if (m_history.undo()) {
        m_selected = -1;
        rebuildView();
        Q_EMIT documentChanged();
    }
}

void EditorCanvas::redo()
{
    if (m_history.redo()) {
        m_selected = -1;
        rebuildView();
        Q_EMIT documentChanged();
    }
}

void EditorCanvas::deleteSelected()
{
    if (m_selected < 0)
        return;
    MarkDocument next = document();
    next.marks.removeAt(m_selected);
    m_selected = -1;
    commit(std::move(next));
}

void EditorCanvas::setZoom(qreal zoom)
{
    m_zoom = std::clamp(zoom, 0.02, 8.0);
    setFixedSize((QSizeF(m_picture.size()) * m_zoom).toSize().expandedTo(QSize(1, 1)));
    rebuildView();
}

void EditorCanvas::commit(MarkDocument next)
{
    m_history.apply(std::move(next));
    if (m_selected >= document().marks.size())
        m_selected = -1;
    rebuildView();
    Q_EMIT documentChanged();
}

void EditorCanvas::rebuildView(int leaveOut)
{
    MarkDocument shown = document();
    shown.crop.reset(); // shown dimmed instead, so that it can still be changed
    if (leaveOut >= 0 && leaveOut < shown.marks.size())
        shown.marks.removeAt(leaveOut);
    const QImage full = renderDocument(m_picture, shown, m_scale);
    const qreal ratio = devicePixelRatioF();
    const QSize target = (QSizeF(size()) * ratio).toSize();
    m_view = target == full.size()
                 ? full
                 : full.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    m_view.setDevicePixelRatio(ratio);
    update();
}

QPointF EditorCanvas::toPicture(QPointF viewPoint) const
{
    return viewPoint / m_zoom;
}

QRectF EditorCanvas::toView(const QRectF& pictureRect) const
{
    return QRectF(pictureRect.topLeft() * m_zoom, pictureRect.size() * m_zoom);
}

QRectF EditorCanvas::resizeHandle() const
{
    if (m_selected < 0)
        return {};
    const QRectF box = toView(markBounds(document().marks[m_selected], m_scale));
    return QRectF(box.bottomRight() - QPointF(kHandle / 2, kHandle / 2), QSizeF(kHandle, kHandle));
}

Mark EditorCanvas::newMark(QPointF at) const
{
    Mark mark;
    mark.kind = m_kind;
    mark.points = {at};
    // A cover is black unless the user recolours it: a bright one draws the eye to the secret.
    mark.color = m_kind == MarkKind::Redact ? QColor(Qt::black) : m_color;
    mark.width = m_width;
    mark.fontSize = m_fontSize;
    if (!isStrokeKind(m_kind) && m_kind != MarkKind::Text && m_kind != MarkKind::Step)
        mark.points.append(at);
    return mark;
}

void EditorCanvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), m_view);
    painter.scale(m_zoom, m_zoom);
    if (m_live) {
        MarkDocument withLive = document();
        withLive.marks.append(*m_live);
        paintPreview(painter, *m_live, stepNumberOf(withLive, withLive.marks.size() - 1), m_scale);
    }
    if (m_textArea) {
        painter.setPen(QPen(palette().highlight(), 1.5 / m_zoom, Qt::DashLine));
        painter.drawRect(*m_textArea);
    }
    const std::optional<QRectF> crop = m_liveCrop        ? m_liveCrop
                                       : document().crop ? std::optional<QRectF>(*document().crop)
                                                         : std::nullopt;
    if (crop) {
        // What the crop drops, dimmed.
        QPainterPath outside;
        outside.addRect(QRectF(m_picture.rect()));
        outside.addRect(*crop);
        painter.fillPath(outside, QColor(0, 0, 0, 140));
    }
    painter.resetTransform();
    if (m_selected >= 0 && m_drag != Drag::Move) {
        const QRectF box = toView(markBounds(document().marks[m_selected], m_scale));
        painter.setPen(QPen(palette().highlight(), 1, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(box);
        painter.fillRect(resizeHandle(), palette().highlight());
    }
    Q_EMIT framePainted();
}

void EditorCanvas::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPointF at = toPicture(event->position());
    m_dragStart = at;
    if (m_tool == Tool::Crop) {
        m_drag = Drag::Crop;
        m_liveCrop = QRectF(at, at);
        return;
    }
    if (m_tool == Tool::TextArea) {
        m_drag = Drag::TextArea;
        m_textArea.reset();
        update();
        return;
    }
    if (m_tool == Tool::Select) {
        if (m_selected >= 0 && resizeHandle().contains(event->position())) {
            m_drag = Drag::Resize;
        } else {
            m_selected = markAt(document(), at, m_scale);
            m_drag = m_selected >= 0 ? Drag::Move : Drag::None;
        }
        if (m_drag != Drag::None) {
            m_live = document().marks[m_selected];
            rebuildView(m_selected);
        }
        update();
        return;
    }
    if (m_kind == MarkKind::Text) {
        Mark mark = newMark(at);
        mark.text = askForText ? askForText() : QString();
        if (!mark.text.isEmpty()) {
            MarkDocument next = document();
            next.marks.append(mark);
            commit(std::move(next));
        }
        return;
    }
    m_drag = Drag::Draw;
    m_live = newMark(at);
    update();
}

void EditorCanvas::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF at = toPicture(event->position());
    switch (m_drag) {
    case Drag::None:
        return;
    case Drag::Crop:
        m_liveCrop = QRectF(m_dragStart, at).normalized();
        break;
    case Drag::TextArea:
        m_textArea = QRectF(m_dragStart, at).normalized().toAlignedRect() & m_picture.rect();
        break;
    case Drag::Move:
        m_live = movedMark(document().marks[m_selected], at - m_dragStart);
        break;
    case Drag::Resize:
        m_live = resizedMark(document().marks[m_selected], at, m_scale);
        break;
    case Drag::Draw:
        if (isStrokeKind(m_live->kind))
            m_live->points.append(at);
        else if (m_live->kind == MarkKind::Step)
            m_live->points.first() = at;
        else
            m_live->points.last() = at;
        break;
    }
    update();
}

void EditorCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_drag == Drag::None)
        return;
    const Drag drag = std::exchange(m_drag, Drag::None);
    if (drag == Drag::TextArea) // a choice, not a change of the picture
        return;
    MarkDocument next = document();
    if (drag == Drag::Crop) {
        const QRect kept = m_liveCrop->toAlignedRect() & m_picture.rect();
        // A click without a drag takes the crop away.
        next.crop =
            kept.width() > 2 && kept.height() > 2 ? std::optional<QRect>(kept) : std::nullopt;
        m_liveCrop.reset();
    } else if (drag == Drag::Draw) {
        const QRectF box = markBounds(*m_live, 1);
        const bool sized = m_live->kind == MarkKind::Step || isStrokeKind(m_live->kind) ||
                           box.width() + box.height() > 4 / m_zoom;
        if (sized)
            next.marks.append(*m_live);
    } else {
        next.marks[m_selected] = *m_live;
    }
    m_live.reset();
    commit(std::move(next));
}

} // namespace glimra::editor
