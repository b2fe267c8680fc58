// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QLineEdit>
#include <QRectF>
#include <QSet>
#include <QSortFilterProxyModel>
#include <QStringList>
#include <QTimer>

namespace glimra {

class TextManager;

// Where a row's matching words are in its picture (QList<QRectF>, fractions of its size).
inline constexpr int kMatchMarksRole = Qt::UserRole + 64;

// The library rows a search lets through: all of them while the search is empty, else those
// whose file name has every word of it, or whose text the index found it in.
class SearchFilterModel final : public QSortFilterProxyModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SearchFilterModel)
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    bool isActive() const { return !m_tokens.isEmpty(); }
    // A new query drops the text matches of the old one until its own arrive.
    void setQuery(const QString& query);
    // File names whose text matched the current query, with where the words are.
    void setTextMatches(const QHash<QString, QList<QRectF>>& matches);
    QVariant data(const QModelIndex& index, int role) const override;
    // The query's words as the index takes them.
    QStringList tokens() const { return m_tokens; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QStringList m_tokens;
    QHash<QString, QList<QRectF>> m_textMatches;
};

// The search field over the local list: it filters as the user types, searching the text
// index off the GUI thread, and Escape empties it.
class SearchField final : public QLineEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SearchField)
public:
    // texts may be null: only names are searched then.
    SearchField(SearchFilterModel* filter, TextManager* texts, QWidget* parent = nullptr);

Q_SIGNALS:
    // The filter changed: rows were let through or held back.
    void filterChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void runSearch();

    SearchFilterModel* m_filter;
    TextManager* m_texts;
    QTimer m_typing;
    QTimer m_reread; // files read meanwhile may match too
    quint64 m_generation = 0;
};

} // namespace glimra
