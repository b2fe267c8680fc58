// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/ViewServices.h"

#include <QWidget>

class QLabel;
class QStackedLayout;
class QToolButton;

namespace glimra {

class RowListView;
class SearchField;
class SearchFilterModel;
class ServerScreenshotRow;

// What the popover shows under its tab picker: the local library or the account's copies,
// each as a list with its bulk actions under it, or, when there is nothing to list, a
// placeholder that says why.
class TabContent final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TabContent)
public:
    enum class Page { LocalEmpty, LocalList, Loading, ServerEmpty, ServerList };

    explicit TabContent(const ViewServices& services, QWidget* parent = nullptr);

    void setServerTab(bool server);
    bool isServerTab() const { return m_serverTab; }
    Page page() const;

    RowListView* localList() const { return m_localList; }
    RowListView* serverList() const { return m_serverList; }
    QLabel* signInHint() const { return m_signInHint; }
    SearchField* searchField() const { return m_searchField; }
    // Whether a search narrows the local list, and how many rows it shows.
    bool isSearching() const;
    int shownCount() const;

Q_SIGNALS:
    void shownCountChanged();

private:
    QWidget* buildEmptyState(const QString& symbol, const QString& title, const QString& hint,
                             QLabel** hintLabel);
    QWidget* buildLoadingState();
    QWidget* buildList(RowListView* list, const QList<QToolButton*>& bar);
    void refresh();

    ViewServices m_services;
    bool m_serverTab = false;
    QStackedLayout* m_pages;
    RowListView* m_localList;
    ServerScreenshotRow* m_serverRows;
    RowListView* m_serverList;
    QLabel* m_signInHint = nullptr;
    SearchFilterModel* m_filter = nullptr;
    SearchField* m_searchField = nullptr;
    QToolButton* m_deleteAll = nullptr;
};

} // namespace glimra
