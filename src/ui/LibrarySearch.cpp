// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LibrarySearch.h"

#include "library/ScreenshotListModel.h"
#include "text/TextManager.h"
#include "text/TextSearch.h"
#include "ui/Style.h"

#include <QFileInfo>
#include <QKeyEvent>

namespace glimra {

void SearchFilterModel::setQuery(const QString& query)
{
    const QStringList tokens = text::searchTokens(query);
    if (tokens == m_tokens)
        return;
    m_tokens = tokens;
    m_textMatches.clear();
    invalidateRowsFilter();
}

void SearchFilterModel::setTextMatches(const QHash<QString, QList<QRectF>>& matches)
{
    if (matches == m_textMatches)
        return;
    m_textMatches = matches;
    invalidateRowsFilter();
    // Rows that stay may have other marks now.
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 0), {kMatchMarksRole});
}

QVariant SearchFilterModel::data(const QModelIndex& index, int role) const
{
    if (role != kMatchMarksRole)
        return QSortFilterProxyModel::data(index, role);
    const QString name = QFileInfo(index.data(ScreenshotListModel::PathRole).toString()).fileName();
    return QVariant::fromValue(m_textMatches.value(name));
}

bool SearchFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (m_tokens.isEmpty())
        return true;
    const QString path = sourceModel()
                             ->index(sourceRow, 0, sourceParent)
                             .data(ScreenshotListModel::PathRole)
                             .toString();
    const QString name = QFileInfo(path).fileName();
    return m_textMatches.contains(name) ||
           text::tokensMatch(m_tokens, QFileInfo(name).completeBaseName());
}

SearchField::SearchField(SearchFilterModel* filter, TextManager* texts, QWidget* parent)
    : QLineEdit(parent), m_filter(filter), m_texts(texts)
{
    setPlaceholderText(QStringLiteral("Search names and text"));
    setAccessibleName(QStringLiteral("Search screenshots"));
    setClearButtonEnabled(true);
    setFont(style::font(style::TextStyle::Caption));
    // A few keys typed quickly make one search.
    m_typing.setSingleShot(true);
    m_typing.setInterval(120);
    connect(&m_typing, &QTimer::timeout, this, &SearchField::runSearch);
    connect(this, &QLineEdit::textChanged, this, [this](const QString& query) {
        m_filter->setQuery(query);
        Q_EMIT filterChanged();
        m_typing.start();
    });
    m_reread.setSingleShot(true);
    m_reread.setInterval(1000);
    connect(&m_reread, &QTimer::timeout, this, &SearchField::runSearch);
    if (m_texts) {
        connect(m_texts, &TextManager::fileRead, this, [this] {
            if (m_filter->isActive() && !m_reread.isActive())
                m_reread.start();
        });
    }
}

void SearchField::runSearch()
{
    if (!m_texts || !m_filter->isActive())
        return;
    const quint64 generation = ++m_generation;
    m_texts->search(
        text(), this,
        [this, generation](const QList<text::SearchMatch>& matches) {
            // An answer to an older query is of no use any more.
            if (generation != m_generation)
                return;
            QHash<QString, QList<QRectF>> found;
            for (const text::SearchMatch& match : matches)
                found.insert(match.name, match.marks);
            m_filter->setTextMatches(found);
            Q_EMIT filterChanged();
        },
        true);
}

void SearchField::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && !text().isEmpty()) {
        clear();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace glimra
