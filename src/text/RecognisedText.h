// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QRect>
#include <QString>

namespace glimra::text {

// One word the recogniser read, where it stands in the picture, and which text line it is on
// (lines count from 0 in reading order).
struct Word {
    int line = 0;
    QRect box;
    QString text;

    bool operator==(const Word&) const = default;
};

// The words of one picture in reading order, one line per text line: what "Copy Text" gives.
QString readingText(const QList<Word>& words);

// The words in the index's compact form ("LINE X Y W H WORD" lines) and back; lines that do
// not parse are dropped.
QString wordsToRecord(const QList<Word>& words);
QList<Word> wordsFromRecord(const QString& record);

// Text folded for search: lower case, no diacritics or compatibility forms, one space between
// words, and a word hyphenated across a line break joined again.
QString normaliseForSearch(const QString& text);

} // namespace glimra::text
