// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/SelectedText.h"

#include "editor/EditedFile.h"
#include "text/TextReaderProcess.h"

#include <QDir>
#include <QTemporaryFile>

#include <atomic>

namespace glimra::editor {

namespace {

qint64 areaOf(const QRect& rect)
{
    return rect.isEmpty() ? 0 : qint64(rect.width()) * rect.height();
}

} // namespace

SelectedText readTextIn(const QImage& picture, const QRect& area, const QString& program,
                        const QString& language)
{
    // The helper reads files: the marked-up picture goes to a private temporary one, removed
    // when done, so what it reads is what the user sees (a redacted word reads as nothing).
    QTemporaryFile file(QDir::temp().filePath(QStringLiteral("glimra-text-XXXXXX.png")));
    const QByteArray png = encodePicture(picture, QStringLiteral("png"));
    if (png.isEmpty() || !file.open() || file.write(png) != png.size() || !file.flush())
        return {{}, QStringLiteral("The picture could not be handed to the text reader")};
    static const std::atomic<bool> never{false};
    text::TextReaderProcess reader(program, language, &never, {});
    const text::ReadResult result = reader.read(file.fileName());
    if (result.status != text::ReadResult::Read)
        return {{},
                result.reason.isEmpty() ? QStringLiteral("The text could not be read")
                                        : result.reason};
    QList<text::Word> inside;
    for (const text::Word& word : result.words) {
        // A word the selection cuts through is taken when most of it is inside.
        if (areaOf(word.box & area) * 2 >= areaOf(word.box) && !word.box.isEmpty())
            inside.append(word);
    }
    return {text::readingText(inside), {}};
}

} // namespace glimra::editor
