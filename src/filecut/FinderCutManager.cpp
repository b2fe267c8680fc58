// SPDX-License-Identifier: GPL-3.0-or-later
#include "filecut/FinderCutManager.h"

#include <QClipboard>
#include <QGuiApplication>

namespace glimra {

namespace {

constexpr quint32 kKeyX = 0x78, kKeyV = 0x76;

const QStringList& knownFileManagers()
{
    static const QStringList names{
        QStringLiteral("pcmanfm"),   QStringLiteral("Thunar"), QStringLiteral("org.gnome.Nautilus"),
        QStringLiteral("nemo"),      QStringLiteral("caja"),   QStringLiteral("dolphin"),
        QStringLiteral("pcmanfm-qt")};
    return names;
}

} // namespace

FinderCutManager::FinderCutManager(GlobalKeyGrabber& grabber, WindowClassSource activeWindowClass,
                                   QObject* parent)
    : QObject(parent), m_grabber(grabber), m_activeWindowClass(std::move(activeWindowClass))
{
    m_cutTimer.setSingleShot(true);
    m_cutTimer.setInterval(std::chrono::seconds(2));
    connect(&m_cutTimer, &QTimer::timeout, this, [this] {
        // The file manager took nothing: it had no selection. Whatever cut was pending
        // before is still on the clipboard and stays pending.
        m_simulating = false;
        Q_EMIT stateChanged();
    });
    if (auto* clipboard = qGuiApp ? QGuiApplication::clipboard() : nullptr)
        connect(clipboard, &QClipboard::dataChanged, this, &FinderCutManager::clipboardChanged);
}

FinderCutManager::~FinderCutManager()
{
    uninstall();
}

void FinderCutManager::install()
{
    if (m_installed)
        return;
    m_installed = true;
    m_lastChangeCount = m_changeCount;
    m_grabber.setInterceptHandler([this](int id) { return handleKey(id); });
    applyGrabs();
}

void FinderCutManager::uninstall()
{
    if (!m_installed)
        return;
    m_installed = false;
    m_grabber.releaseIntercepts();
    m_grabber.setInterceptHandler({});
}

void FinderCutManager::setEnabled(bool enabled)
{
    if (m_enabled == enabled)
        return;
    m_enabled = enabled;
    applyGrabs();
}

void FinderCutManager::applyGrabs()
{
    // Keys held while the feature is off would only stall every Super+X on its way.
    m_grabber.releaseIntercepts();
    if (!m_installed || !m_enabled)
        return;
    m_grabber.intercept(kKeyX, Qt::MetaModifier, kCutId);
    m_grabber.intercept(kKeyV, Qt::MetaModifier, kPasteId);
}

bool FinderCutManager::isFileManager(const QStringList& windowClass) const
{
    for (const QString& name : windowClass) {
        if (knownFileManagers().contains(name, Qt::CaseInsensitive) ||
            m_extraClasses.contains(name, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool FinderCutManager::fileManagerInFront() const
{
    return m_activeWindowClass && isFileManager(m_activeWindowClass());
}

std::optional<GlobalKeyGrabber::Combination> FinderCutManager::handleKey(int id)
{
    if (!m_enabled || m_simulating)
        return std::nullopt;
    if (id == kCutId) {
        if (!fileManagerInFront())
            return std::nullopt;
        // Pending once the file manager has taken the clipboard with its cut.
        m_simulating = true;
        m_cutTimer.start();
        Q_EMIT stateChanged();
        return GlobalKeyGrabber::Combination{kKeyX, Qt::ControlModifier};
    }
    if (id != kPasteId || !m_cutPending)
        return std::nullopt;
    if (m_changeCount != m_lastChangeCount) {
        // Something else was copied since the cut: an ordinary paste.
        m_cutPending = false;
        Q_EMIT stateChanged();
        return std::nullopt;
    }
    if (!fileManagerInFront())
        return std::nullopt;
    m_cutPending = false;
    m_simulating = true;
    QTimer::singleShot(100, this, [this] {
        m_simulating = false;
        Q_EMIT stateChanged();
    });
    Q_EMIT stateChanged();
    return GlobalKeyGrabber::Combination{kKeyV, Qt::ControlModifier};
}

void FinderCutManager::clipboardChanged()
{
    ++m_changeCount;
    if (!m_cutTimer.isActive())
        return;
    m_cutTimer.stop();
    m_simulating = false;
    m_cutPending = true;
    m_lastChangeCount = m_changeCount;
    Q_EMIT stateChanged();
}

} // namespace glimra
