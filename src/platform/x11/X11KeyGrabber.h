// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/GlobalKeyGrabber.h"

#include <QAbstractNativeEventFilter>

#include <memory>

namespace glimra {

// Passive key grabs on the root window over Qt's own X connection; presses come back through
// Qt's native event filter. Shortcut grabs are asynchronous; intercepts freeze the keyboard
// at each press until the handler has decided, then replay the press or replace it.
class X11KeyGrabber final : public GlobalKeyGrabber, public QAbstractNativeEventFilter {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(X11KeyGrabber)
public:
    explicit X11KeyGrabber(QObject* parent = nullptr);
    ~X11KeyGrabber() override;

    bool isAvailable() const override;
    bool grab(quint32 keysym, Qt::KeyboardModifiers modifiers, int id) override;
    void ungrabAll() override;
    void ungrab(int id) override;
    bool isGrabbed(int id) const override;
    Refusal refusal(int id) const override;
    QString via() const override;
    bool intercept(quint32 keysym, Qt::KeyboardModifiers modifiers, int id) override;
    void releaseIntercepts() override;
    void setInterceptHandler(InterceptHandler handler) override;
    void suspend() override;
    void resume() override;
    quint32 keysymAtLevel0(quint32 nativeKeyCode) const override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace glimra
