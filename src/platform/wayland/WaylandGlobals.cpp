// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/wayland/WaylandGlobals.h"

#include <wayland-client.h>

namespace glimra {

namespace {

void announce(void* data, wl_registry*, uint32_t, const char* interface, uint32_t)
{
    static_cast<QStringList*>(data)->append(QString::fromLatin1(interface));
}

void withdraw(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kListener{announce, withdraw};

} // namespace

QStringList waylandGlobals()
{
    QStringList names;
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return names;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kListener, &names);
    // One round trip with a compositor on the same machine, once at start.
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return names;
}

} // namespace glimra
