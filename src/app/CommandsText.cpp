// SPDX-License-Identifier: GPL-3.0-or-later
// glimra search, glimra text
#include "app/AppDelegate.h"
#include "app/DateTexts.h"
#include "app/RemoteCommands.h"
#include "library/ScreenshotManager.h"
#include "text/TextManager.h"
#include "text/TextSearch.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

namespace glimra::commands {

namespace {

// The library's items whose name or text matches, newest first as the library is, with the
// snippet of the text that matched.
QString answer(const QList<ScreenshotItemPtr>& items, const QList<text::SearchMatch>& matches,
               const QStringList& tokens, bool json)
{
    QHash<QString, QString> snippets;
    for (const text::SearchMatch& match : matches)
        snippets.insert(match.name, match.snippet);
    // Commands are answered on the GUI thread only. Asking the zone for every date made up
    // a quarter of a search's time over 2,000 screenshots.
    static DateTexts dates;
    const QStringList dateTexts = dates.texts(items, QTimeZone::systemTimeZoneId());
    QString out;
    QJsonArray array;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const ScreenshotItemPtr& item = items.at(i);
        if (!item->filePath)
            continue;
        const QString name = QFileInfo(*item->filePath).fileName();
        const auto found = snippets.constFind(name);
        if (found == snippets.constEnd() && !text::tokensMatch(tokens, name))
            continue;
        const QString snippet = found == snippets.constEnd() ? QString() : *found;
        if (json) {
            array.append(QJsonObject{{QStringLiteral("path"), *item->filePath},
                                     {QStringLiteral("date"), dateTexts.at(i)},
                                     {QStringLiteral("snippet"), snippet}});
        } else {
            out += dateTexts.at(i) + QLatin1Char('\t') + *item->filePath +
                   (snippet.isEmpty() ? QString() : QLatin1Char('\t') + snippet) +
                   QLatin1Char('\n');
        }
    }
    return json ? QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)) : out;
}

} // namespace

void search(AppDelegate& app, const QStringList& args, const QString&,
            const RemoteControl::Reply& reply)
{
    QStringList words = args;
    const bool json = words.removeAll(QStringLiteral("--json")) > 0;
    const QString query = words.join(QLatin1Char(' '));
    const QStringList tokens = text::searchTokens(query);
    if (tokens.isEmpty())
        return reply(2, {}, QStringLiteral("Usage: glimra search TEXT [--json]\n"));
    TextManager* texts = app.textManager();
    const QString note =
        texts->isEnabled() ? QString() : QStringLiteral("Text recognition is off: names only\n");
    QPointer<ScreenshotManager> library(app.screenshotManager());
    texts->search(query, library, [library, tokens, json, note, reply](const auto& matches) {
        reply(0, answer(library->screenshots(), matches, tokens, json), note);
    });
}

void text(AppDelegate& app, const QStringList& args, const QString&,
          const RemoteControl::Reply& reply)
{
    const QString path = QFileInfo(args.first()).absoluteFilePath();
    const QList<ScreenshotItemPtr>& items = app.screenshotManager()->screenshots();
    const bool inLibrary = std::any_of(items.begin(), items.end(), [&](const auto& item) {
        return item->filePath && QFileInfo(*item->filePath).absoluteFilePath() == path;
    });
    if (!inLibrary)
        return reply(1, {}, QStringLiteral("Not a screenshot of the library: %1\n").arg(path));
    app.textManager()->textOf(
        path, app.textManager(), [path, reply](const QString& text, const QString& error) {
            if (!error.isEmpty())
                return reply(1, {}, QStringLiteral("No text read from %1: %2\n").arg(path, error));
            reply(0, text.isEmpty() ? text : text + QLatin1Char('\n'), {});
        });
}

} // namespace glimra::commands
