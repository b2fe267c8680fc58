// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/MarkHistory.h"

#include <QImage>
#include <QWidget>

#include <functional>

#include <optional>

namespace glimra::editor {

// What a drag on the picture does.
enum class Tool { Select, Crop, Mark, TextArea };

// The picture with its marks, at a zoom, and the mouse work on them: drawing a new mark,
// selecting, moving, resizing and deleting one, and choosing the crop. The committed marks
// are rendered once per change into a picture at the view's size; a mark being drawn or
// dragged is painted over it alone, so a drag on a 4K picture stays cheap.
class EditorCanvas final : public QWidget {
    Q_OBJECT
public:
    // scale: the picture's device pixel ratio.
    EditorCanvas(QImage picture, qreal scale, QWidget* parent = nullptr);

    const QImage& picture() const { return m_picture; }
    qreal scale() const { return m_scale; }
    const MarkDocument& document() const { return m_history.current(); }
    MarkHistory& history() { return m_history; }

    void setTool(Tool tool, MarkKind kind = MarkKind::Arrow);
    // The style of new marks; a selected mark takes it too.
    void setMarkStyle(const QColor& color, qreal width, qreal fontSize);
    int selectedMark() const { return m_selected; }
    // The area chosen with the text tool, in the picture's pixels; none when not chosen.
    std::optional<QRect> textArea() const { return m_textArea; }

    void undo();
    void redo();
    void deleteSelected();
    // Pixels of the view per pixel of the picture; 1 / devicePixelRatio is 1:1.
    void setZoom(qreal zoom);
    qreal zoom() const { return m_zoom; }

    // Asked when a text mark is placed; an empty answer places nothing.
    std::function<QString()> askForText;

Q_SIGNALS:
    void documentChanged();
    void framePainted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum class Drag { None, Draw, Move, Resize, Crop, TextArea };

    QPointF toPicture(QPointF viewPoint) const;
    QRectF toView(const QRectF& pictureRect) const;
    void commit(MarkDocument next);
    // Renders the document, leaving out one mark that is being dragged.
    void rebuildView(int leaveOut = -1);
    QRectF resizeHandle() const;
    Mark newMark(QPointF at) const;

    QImage m_picture;
    qreal m_scale;
    MarkHistory m_history;
    qreal m_zoom = 1;
    QImage m_view;

    Tool m_tool = Tool::Select;
    MarkKind m_kind = MarkKind::Arrow;
    QColor m_color = Qt::red;
    qreal m_width = 4;
    qreal m_fontSize = 20;

    int m_selected = -1;
    Drag m_drag = Drag::None;
    QPointF m_dragStart;
    std::optional<Mark> m_live; // the mark being drawn or dragged
    std::optional<QRectF> m_liveCrop;
    std::optional<QRect> m_textArea;
};

} // namespace glimra::editor
