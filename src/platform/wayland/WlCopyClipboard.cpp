// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/wayland/WlCopyClipboard.h"

#include "core/BackgroundJob.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>

#include <memory>

namespace glimra {

WlCopyClipboard::WlCopyClipboard(QString program, QObject* parent)
    : Clipboard(parent), m_program(std::move(program))
{
    // Qt still hears of the copies other programs make while one of our windows has focus.
    if (auto* clipboard = QGuiApplication::clipboard())
        connect(clipboard, &QClipboard::dataChanged, this, [this] { ++m_changeCount; });
}

QString WlCopyClipboard::offeredType(const QMimeData& data)
{
    const QStringList formats = data.formats();
    if (formats.contains(QLatin1String("image/png")))
        return QStringLiteral("image/png");
    return formats.value(0);
}

void WlCopyClipboard::setMimeData(QMimeData* data)
{
    ++m_changeCount;
    const quint64 copy = ++m_copies;
    // The worker reads the data while nothing else holds it; whoever lets go last deletes it,
    // on the thread it belongs to.
    std::shared_ptr<QMimeData> owned(data, [](QMimeData* d) { d->deleteLater(); });
    const QString type = owned ? offeredType(*owned) : QString();
    if (type.isEmpty())
        return;
    runInBackground(
        QThreadPool::globalInstance(), this, [owned, type] { return owned->data(type); },
        [this, copy, type, owned](const QByteArray& bytes) { hand(copy, type, bytes); });
}

void WlCopyClipboard::hand(quint64 copy, const QString& type, const QByteArray& bytes)
{
    // A later copy finished encoding first; it is the one the user expects to paste.
    if (copy != m_copies || bytes.isEmpty())
        return;
    auto* process = new QProcess(this);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            process->deleteLater();
    });
    process->start(m_program, {QStringLiteral("--type"), type});
    process->write(bytes);
    process->closeWriteChannel();
}

} // namespace glimra
