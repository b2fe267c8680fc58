// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/SystemClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace glimra {

SystemClipboard::SystemClipboard(QObject* parent) : Clipboard(parent)
{
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            [this] { ++m_changeCount; });
}

void SystemClipboard::setMimeData(QMimeData* data)
{
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

} // namespace glimra
