// SPDX-License-Identifier: GPL-3.0-or-later
// glimra tile POSITION
#include "app/AppDelegate.h"
#include "app/RemoteCommands.h"
#include "windows/WindowTilingManager.h"

namespace glimra::commands {

void tile(AppDelegate& app, const QStringList& args, const QString&,
          const RemoteControl::Reply& reply)
{
    const std::optional<TilePosition> position = parseTilePosition(args.value(0));
    if (!position) {
        QStringList names;
        for (const TilePosition p : allTilePositions())
            names.append(tilePositionName(p));
        return reply(2, {},
                     usageLine(*clientCommand(QStringLiteral("tile"))) +
                         QStringLiteral("POSITION is one of: ") + names.join(QLatin1Char(' ')) +
                         QLatin1Char('\n'));
    }
    if (!app.windowTilingManager()->isAvailable())
        return reply(1, {}, QStringLiteral("Window tiling is not available on this desktop\n"));
    // Like a shortcut, a tile that finds nothing to move is not an error.
    app.windowTilingManager()->tileWindow(*position);
    reply(0, {}, {});
}

} // namespace glimra::commands
