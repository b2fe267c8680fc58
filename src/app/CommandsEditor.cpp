// SPDX-License-Identifier: GPL-3.0-or-later
// glimra edit PATH
#include "app/AppDelegate.h"
#include "app/RemoteCommands.h"
#include "editor/EditorLauncher.h"
#include "editor/EditorWindow.h"

namespace glimra::commands {

void edit(AppDelegate& app, const QStringList& args, const QString&,
          const RemoteControl::Reply& reply)
{
    // Answered once the window is up, so that a script may go on to use it.
    app.editorLauncher()->open(args.value(0),
                               [reply](editor::EditorWindow* window, const QString& error) {
                                   if (window)
                                       reply(0, {}, {});
                                   else
                                       reply(2, {}, error);
                               });
}

} // namespace glimra::commands
