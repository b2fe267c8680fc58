// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/RecognisedText.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace glimra::text {

QString readingText(const QList<Word>& words)
{
    QString text;
    int line = words.isEmpty() ? 0 : words.first().line;
    bool lineStart = true;
    for (const Word& word : words) {
        if (word.line != line) {
            text += QLatin1Char('\n');
            line = word.line;
            lineStart = true;
        }
        if (!lineStart)
            text += QLatin1Char(' ');
        text += word.text;
        lineStart = false;
    }
    return text;
}

QString wordsToRecord(const QList<Word>& words)
{
    QString record;
    for (const Word& word : words) {
        record += QStringLiteral("%1 %2 %3 %4 %5 %6\n")
                      .arg(word.line)
                      .arg(word.box.x())
                      .arg(word.box.y())
                      .arg(word.box.width())
                      .arg(word.box.height())
                      .arg(word.text);
    }
    return record;
}

QList<Word> wordsFromRecord(const QString& record)
{
    QList<Word> words;
    for (const QString& line : record.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList parts = line.split(QLatin1Char(' '));
        if (parts.size() < 6)
            continue;
        bool ok[5] = {};
        const int values[5] = {parts[0].toInt(&ok[0]), parts[1].toInt(&ok[1]),
                               parts[2].toInt(&ok[2]), parts[3].toInt(&ok[3]),
                               parts[4].toInt(&ok[4])};
        if (!(ok[0] && ok[1] && ok[2] && ok[3] && ok[4]))
            continue;
        words.append({values[0], QRect(values[1], values[2], values[3], values[4]),
                      parts.mid(5).join(QLatin1Char(' '))});
    }
    return words;
}

QString normaliseForSearch(const QString& text)
{
    QString joined = text;
    // "infor-\nmation" was one word before the line broke it.
    if (joined.contains(QLatin1Char('-'))) {
        static const QRegularExpression hyphenBreak(QStringLiteral("(\\w)-\\s*\\n\\s*(\\w)"));
        joined.replace(hyphenBreak, QStringLiteral("\\1\\2"));
    }
    // Plain ASCII has nothing to decompose; most text read on screens is.
    const bool ascii =
        std::all_of(joined.cbegin(), joined.cend(), [](QChar c) { return c.unicode() < 0x80; });
    const QString decomposed = ascii ? joined : joined.normalized(QString::NormalizationForm_KD);
    // Written in place: a search folds the text of every match, thousands of lines.
    QString folded(decomposed.size(), Qt::Uninitialized);
    QChar* out = folded.data();
    qsizetype length = 0;
    bool space = true;
    for (QChar c : decomposed) {
        if (!ascii && c.isMark())
            continue;
        if (c.isSpace()) {
            if (!space)
                out[length++] = QLatin1Char(' ');
            space = true;
            continue;
        }
        out[length++] = ascii && c >= QLatin1Char('A') && c <= QLatin1Char('Z')
                            ? QChar(c.unicode() + ('a' - 'A'))
                            : c;
        space = false;
    }
    if (length > 0 && out[length - 1] == QLatin1Char(' '))
        --length;
    folded.truncate(length);
    return ascii ? folded : folded.toCaseFolded();
}

} // namespace glimra::text
