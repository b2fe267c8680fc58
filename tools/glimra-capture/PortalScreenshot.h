// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <ctime>

namespace glimra::capture {

// What the desktop's screenshot portal (org.freedesktop.portal.Screenshot) answered.
struct PortalAnswer {
    enum class Outcome { Saved, Cancelled, Failed };
    Outcome outcome = Outcome::Failed;
    QString uri;      // where the portal left the picture, when Saved
    QString reason;   // one line, when Failed
    timespec began{}; // when the request was made, on the file system's clock
};

// Asks the portal for a picture of the whole desktop, or with interactive set for whatever
// the desktop lets the user choose, and waits for the answer (up to timeoutMs; then the
// request is closed and counts as failed). Needs a running Qt event dispatcher's thread.
PortalAnswer requestPortalScreenshot(bool interactive, int timeoutMs);

// How long the portal may take: GLIMRA_PORTAL_TIMEOUT (seconds) when set, else the default.
int portalTimeoutMs(bool interactive);

// Receives the Request's Response signal; the old-style connection QtDBus needs wants a slot.
class PortalResponse final : public QObject {
    Q_OBJECT
public:
    bool answered = false;
    uint code = 2;
    QVariantMap results;

Q_SIGNALS:
    void arrived();

public Q_SLOTS:
    void take(uint response, const QVariantMap& values);
};

} // namespace glimra::capture
