// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/EditorWindow.h"

#include "core/BackgroundJob.h"
#include "editor/EditedFile.h"
#include "editor/EditorCanvas.h"
#include "editor/MarkRenderer.h"
#include "editor/SelectedText.h"
#include "platform/Clipboard.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QColorDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QScrollArea>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>

namespace glimra::editor {

namespace {

struct ToolEntry {
    Tool tool;
    MarkKind kind;
    const char* name;
    const char* key;
};

constexpr ToolEntry kTools[] = {
    {Tool::Select, MarkKind::Arrow, "Select", "V"},
    {Tool::Crop, MarkKind::Arrow, "Crop", "C"},
    {Tool::Mark, MarkKind::Arrow, "Arrow", "A"},
    {Tool::Mark, MarkKind::Line, "Line", "L"},
    {Tool::Mark, MarkKind::Rectangle, "Rectangle", "R"},
    {Tool::Mark, MarkKind::FilledRectangle, "Filled Rectangle", "F"},
    {Tool::Mark, MarkKind::Ellipse, "Ellipse", "E"},
    {Tool::Mark, MarkKind::Pen, "Pen", "P"},
    {Tool::Mark, MarkKind::Highlighter, "Highlighter", "H"},
    {Tool::Mark, MarkKind::Text, "Text", "T"},
    {Tool::Mark, MarkKind::Step, "Step Number", "N"},
    {Tool::Mark, MarkKind::Redact, "Redact", "X"},
    {Tool::Mark, MarkKind::Pixelate, "Pixelate (not for secrets)", "B"},
    {Tool::TextArea, MarkKind::Arrow, "Select Text", "S"},
};

// The tooltip names the key, as every control's should.
QString tipWithKey(const QString& name, const QKeySequence& key)
{
    return QStringLiteral("%1 (%2)").arg(name, key.toString(QKeySequence::NativeText));
}

QImage previewOf(const QImage& picture)
{
    return picture.scaled(QSize(640, 400), Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace

EditorWindow::EditorWindow(QImage picture, Options options, Clipboard* clipboard, QWidget* parent)
    : QMainWindow(parent), m_options(std::move(options)), m_clipboard(clipboard),
      m_canvas(new EditorCanvas(std::move(picture), m_options.scale)), m_scroll(new QScrollArea)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setAccessibleName(QStringLiteral("Screenshot Editor"));
    m_scroll->setWidget(m_canvas);
    m_scroll->setAlignment(Qt::AlignCenter);
    m_scroll->setBackgroundRole(QPalette::Dark);
    setCentralWidget(m_scroll);
    m_canvas->askForText = [this] {
        return QInputDialog::getText(this, QStringLiteral("Text"), QStringLiteral("Text:"));
    };
    confirmReplace = [this] {
        return QMessageBox::question(
                   this, QStringLiteral("Replace Original"),
                   QStringLiteral("Write the marked-up picture over %1? The picture as it was "
                                  "is gone from this computer and from your account.\n\n"
                                  "Copies on your other computers are not changed.")
                       .arg(QFileInfo(m_options.sourcePath).fileName()),
                   QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel) == QMessageBox::Yes;
    };
    buildToolBar();
    connect(m_canvas, &EditorCanvas::documentChanged, this, &EditorWindow::updateTitle);
    updateTitle();
    resize(1100, 750);
}

EditorWindow::~EditorWindow() = default;

bool EditorWindow::isModified() const
{
    return m_canvas->history().isModified();
}

void EditorWindow::buildToolBar()
{
    // The tools stand in a column beside the picture: a row of them does not fit a laptop.
    auto* tools = new QToolBar(QStringLiteral("Tools"));
    addToolBar(Qt::LeftToolBarArea, tools);
    tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_tools = new QActionGroup(this);
    for (const ToolEntry& entry : kTools) {
        if (entry.tool == Tool::TextArea && m_options.textReader.isEmpty())
            continue;
        const QString name = QString::fromLatin1(entry.name);
        QAction* action = tools->addAction(name);
        action->setCheckable(true);
        action->setShortcut(QKeySequence(QString::fromLatin1(entry.key)));
        action->setToolTip(tipWithKey(name, action->shortcut()));
        m_tools->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, entry] { m_canvas->setTool(entry.tool, entry.kind); });
        if (entry.tool == Tool::Select)
            action->setChecked(true);
    }

    auto* style = addToolBar(QStringLiteral("Style"));
    m_colourAction = style->addAction(QStringLiteral("Colour"), this, &EditorWindow::chooseColour);
    m_colourAction->setShortcut(QKeySequence(QStringLiteral("K")));
    m_colourAction->setToolTip(tipWithKey(QStringLiteral("Colour"), m_colourAction->shortcut()));
    const auto addSpin = [this, style](const QString& name, int value, int maximum) {
        auto* label = new QLabel(name);
        auto* spin = new QSpinBox;
        spin->setRange(1, maximum);
        spin->setValue(value);
        spin->setAccessibleName(name);
        spin->setToolTip(name);
        label->setBuddy(spin);
        style->addWidget(label);
        style->addWidget(spin);
        connect(spin, &QSpinBox::valueChanged, this, &EditorWindow::applyStyle);
        return spin;
    };
    m_width = addSpin(QStringLiteral("Line Width"), 4, 40);
    m_fontSize = addSpin(QStringLiteral("Text Size"), 20, 200);

    auto* edit = addToolBar(QStringLiteral("Edit"));
    const auto addCommand = [this, edit](const QString& name, const QKeySequence& key, auto slot) {
        QAction* action = edit->addAction(name, this, slot);
        action->setShortcut(key);
        action->setToolTip(tipWithKey(name, key));
        return action;
    };
    addCommand(QStringLiteral("Undo"), QKeySequence(QStringLiteral("Ctrl+Z")),
               [this] { m_canvas->undo(); });
    addCommand(QStringLiteral("Redo"), QKeySequence(QStringLiteral("Ctrl+Shift+Z")),
               [this] { m_canvas->redo(); });
    addCommand(QStringLiteral("Delete Mark"), QKeySequence(Qt::Key_Delete),
               [this] { m_canvas->deleteSelected(); });
    addCommand(QStringLiteral("Zoom to Fit"), QKeySequence(QStringLiteral("Ctrl+0")),
               [this] { zoomToFit(); });
    addCommand(QStringLiteral("Actual Size"), QKeySequence(QStringLiteral("Ctrl+1")),
               [this] { zoomToActualSize(); });
    addCommand(QStringLiteral("Copy"), QKeySequence::Copy, [this] { copy(); });
    if (!m_options.textReader.isEmpty())
        addCommand(QStringLiteral("Copy Text"), QKeySequence(QStringLiteral("Ctrl+Shift+C")),
                   [this] { copyText(); });
    addCommand(QStringLiteral("Save"), QKeySequence::Save, [this] { save(); });
    // Only a library file is known to be the user's own screenshot, safe to write over.
    if (m_options.inLibrary)
        addCommand(QStringLiteral("Replace Original"), QKeySequence(QStringLiteral("Ctrl+Shift+S")),
                   [this] { replaceOriginal(); });
}

void EditorWindow::chooseColour()
{
    const QColor colour = QColorDialog::getColor(m_colour, this, QStringLiteral("Mark Colour"));
    if (!colour.isValid())
        return;
    m_colour = colour;
    applyStyle();
}

void EditorWindow::applyStyle()
{
    m_canvas->setMarkStyle(m_colour, m_width->value(), m_fontSize->value());
}

void EditorWindow::updateTitle()
{
    setWindowTitle(
        QStringLiteral("%1[*] - Glimra").arg(QFileInfo(m_options.sourcePath).fileName()));
    setWindowModified(isModified());
}

void EditorWindow::zoomToFit()
{
    const QSize room = m_scroll->viewport()->size() - QSize(4, 4);
    const QSize picture = m_canvas->picture().size();
    const qreal fit =
        std::min(qreal(room.width()) / picture.width(), qreal(room.height()) / picture.height());
    // Fitting never enlarges a small picture past its own pixels.
    m_canvas->setZoom(std::min(fit, 1 / devicePixelRatioF()));
}

void EditorWindow::zoomToActualSize()
{
    m_canvas->setZoom(1 / devicePixelRatioF());
}

void EditorWindow::save()
{
    writeInBackground(
        [format = m_options.saveFormat, folder = m_options.saveFolder,
         when = QDateTime::currentDateTime()](const RenderedPicture& out) {
            return saveAsNewScreenshot(out, format, folder, when);
        },
        QStringLiteral("Not Saved"), QStringLiteral("The picture was not saved: %1"),
        &EditorWindow::saved);
}

void EditorWindow::replaceOriginal()
{
    if (m_saving || !m_options.inLibrary || (confirmReplace && !confirmReplace()))
        return;
    writeInBackground([path = m_options.sourcePath](
                          const RenderedPicture& out) { return replaceScreenshot(out, path); },
                      QStringLiteral("Not Replaced"),
                      QStringLiteral("The original was left as it was: %1"),
                      &EditorWindow::replaced);
}

// Both ways of saving render and encode on the pool, and answer the same way: a warning that
// keeps the window open, or the document marked saved and the window's signal.
void EditorWindow::writeInBackground(std::function<SaveOutcome(const RenderedPicture&)> write,
                                     const QString& failTitle, const QString& failText,
                                     void (EditorWindow::*done)(const QString&, const QImage&))
{
    if (m_saving)
        return;
    m_saving = true;
    const MarkDocument document = m_canvas->document();
    runInBackground(
        QThreadPool::globalInstance(), this,
        [picture = m_canvas->picture(), document, scale = m_canvas->scale(),
         write = std::move(write)] {
            const RenderedPicture out = renderMarks(picture, document, scale);
            const SaveOutcome outcome = write(out);
            return std::pair(outcome, outcome.path ? previewOf(out.flattened()) : QImage());
        },
        [this, document, failTitle, failText, done](const std::pair<SaveOutcome, QImage>& result) {
            m_saving = false;
            if (!result.first.path) {
                m_closeAfterSave = false;
                QMessageBox::warning(this, failTitle, failText.arg(result.first.error));
                Q_EMIT saveFailed(result.first.error);
                return;
            }
            m_canvas->history().markSaved(document);
            updateTitle();
            Q_EMIT(this->*done)(*result.first.path, result.second);
            if (m_closeAfterSave)
                close();
        });
}

void EditorWindow::copy()
{
    runInBackground(
        QThreadPool::globalInstance(), this,
        [picture = m_canvas->picture(), document = m_canvas->document(),
         scale = m_canvas->scale()] {
            return encodePicture(renderMarks(picture, document, scale), QStringLiteral("png"));
        },
        [this](const QByteArray& png) {
            if (png.isEmpty())
                return;
            auto* mime = new QMimeData;
            mime->setData(QStringLiteral("image/png"), png);
            if (m_clipboard)
                m_clipboard->setMimeData(mime);
            else
                QApplication::clipboard()->setMimeData(mime);
            Q_EMIT copied();
        });
}

void EditorWindow::copyText()
{
    if (m_options.textReader.isEmpty())
        return;
    MarkDocument document = m_canvas->document();
    // Read uncropped, so that the area and the words' boxes are in the same pixels.
    document.crop.reset();
    statusBar()->showMessage(QStringLiteral("Reading text..."));
    runInBackground(
        QThreadPool::globalInstance(), this,
        [picture = m_canvas->picture(), document, scale = m_canvas->scale(),
         area = m_canvas->textArea().value_or(m_canvas->picture().rect()),
         program = m_options.textReader, language = m_options.textLanguage] {
            return readTextIn(renderDocument(picture, document, scale), area, program, language);
        },
        [this](const SelectedText& result) {
            if (!result.error.isEmpty())
                return statusBar()->showMessage(result.error);
            if (result.text.isEmpty())
                return statusBar()->showMessage(QStringLiteral("No text there"));
            auto* mime = new QMimeData;
            mime->setText(result.text);
            if (m_clipboard)
                m_clipboard->setMimeData(mime);
            else
                QApplication::clipboard()->setMimeData(mime);
            statusBar()->showMessage(QStringLiteral("Text copied"), 3000);
            Q_EMIT textCopied(result.text);
        });
}

void EditorWindow::closeEvent(QCloseEvent* event)
{
    if (m_saving) {
        // Closes once the file is written.
        m_closeAfterSave = true;
        event->ignore();
        return;
    }
    if (!isModified()) {
        event->accept();
        return;
    }
    const auto answer = QMessageBox::question(
        this, QStringLiteral("Unsaved Marks"),
        QStringLiteral("Save the marked-up picture as a new screenshot before closing?"),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Discard) {
        event->accept();
        return;
    }
    event->ignore();
    if (answer == QMessageBox::Save) {
        m_closeAfterSave = true;
        save();
    }
}

} // namespace glimra::editor
