// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/TextSearch.h"

#include "text/RecognisedText.h"

#include <algorithm>

namespace glimra::text {

namespace {

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber();
}

// Whether token starts a word somewhere in normalised; returns where, or -1.
qsizetype wordStart(const QString& normalised, const QString& token)
{
    qsizetype from = 0;
    while ((from = normalised.indexOf(token, from)) >= 0) {
        if (from == 0 || !isWordChar(normalised.at(from - 1)))
            return from;
        ++from;
    }
    return -1;
}

} // namespace

QStringList searchTokens(const QString& query)
{
    const QString normalised = normaliseForSearch(query);
    QStringList tokens;
    QString current;
    for (QChar c : normalised) {
        if (isWordChar(c)) {
            current += c;
        } else if (!current.isEmpty()) {
            tokens.append(current);
            current.clear();
        }
    }
    if (!current.isEmpty())
        tokens.append(current);
    return tokens;
}

bool tokensMatch(const QStringList& tokens, const QString& text)
{
    if (tokens.isEmpty())
        return false;
    const QString normalised = normaliseForSearch(text);
    for (const QString& token : tokens) {
        if (wordStart(normalised, token) < 0)
            return false;
    }
    return true;
}

bool startsWithAny(const QString& text, const QStringList& tokens)
{
    const QString normalised = normaliseForSearch(text);
    return std::any_of(tokens.begin(), tokens.end(),
                       [&](const QString& token) { return wordStart(normalised, token) >= 0; });
}

QString fullTextQuery(const QStringList& tokens)
{
    QStringList parts;
    for (QString token : tokens)
        parts.append(QLatin1Char('"') + token.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                     QStringLiteral("\"*"));
    return parts.join(QStringLiteral(" AND "));
}

QString snippetFor(const QString& text, const QStringList& tokens, int limit,
                   const QString* normalised)
{
    // Most matches of a name only have none of the words in their text: one look settles it.
    const QString whole = normalised ? *normalised : normaliseForSearch(text);
    if (std::none_of(tokens.begin(), tokens.end(),
                     [&](const QString& token) { return wordStart(whole, token) >= 0; }))
        return {};
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString folded = normaliseForSearch(line);
        for (const QString& token : tokens) {
            const qsizetype at = wordStart(folded, token);
            if (at < 0)
                continue;
            QString shown = line.simplified();
            if (shown.size() <= limit)
                return shown;
            // The normalised line is about as long as the line itself: centre on the match.
            const qsizetype start = std::clamp<qsizetype>(at - limit / 3, 0, shown.size() - limit);
            return (start > 0 ? QStringLiteral("…") : QString()) + shown.mid(start, limit) +
                   (start + limit < shown.size() ? QStringLiteral("…") : QString());
        }
    }
    return {};
}

} // namespace glimra::text
