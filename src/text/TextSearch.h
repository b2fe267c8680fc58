// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace glimra::text {

// The words of a query as the index's tokens: normalised and split at whatever is not a
// letter or digit.
QStringList searchTokens(const QString& query);
// Whether every token starts a word of text (normalised here).
bool tokensMatch(const QStringList& tokens, const QString& text);
// Whether one of the tokens starts a word of text.
bool startsWithAny(const QString& text, const QStringList& tokens);
// The full-text query for tokens: each one a word start, all of them required, every token
// quoted so that nothing the user types is read as query syntax.
QString fullTextQuery(const QStringList& tokens);
// The first line of text (lines as recognised) in which a token starts a word, shortened to
// about limit characters around it; empty when no line has one. normalised: the whole text
// as normaliseForSearch gives it, when the caller has it already.
QString snippetFor(const QString& text, const QStringList& tokens, int limit = 80,
                   const QString* normalised = nullptr);

} // namespace glimra::text
