// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ServerScreenshot.h"
#include "ui/RowDelegate.h"

#include <optional>

namespace glimra {

class Clipboard;
class ScreenshotManager;

// The context menu's share link entries for a row whose screenshot the account holds: "Copy
// Share Link" with a choice of how long the link lives, and "Revoke Share Links".
QList<RowButton> shareLinkActions();

// Carries out one of those entries for the account's screenshot serverId: a new link goes to
// the clipboard as text; the status line says how it went. False for any other action.
bool performShareAction(RowAction action, qint64 serverId, ScreenshotManager* manager,
                        Clipboard* clipboard);

// The account's screenshot a library file stands for: the newest record of the last listing
// with its name.
std::optional<qint64> serverIdNamed(const QList<ServerScreenshot>& records, const QString& name);

} // namespace glimra
