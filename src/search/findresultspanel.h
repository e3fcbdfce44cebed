#pragma once

#include "platform/ui/resultspanel.h"
#include "platform/xml/xmlpath.h"
#include "platform/xml/xmlvalidation.h"
#include "search/findwalk.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>

class QLabel;
class QTreeView;

// Find All's matches as rows of a list: the item's label and icon and its path, made when a row
// is shown, so a million matches cost the window no more than a screenful of labels and paths.
class FindResultsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kItem, kPath };

    explicit FindResultsModel(QObject* parent = nullptr);

    void SetResults(FoundNodes found, int maxTextLength);
    qint64 Count() const { return qint64(m_found.keys.size()); }
    // The node of a row, as it is now (it may have left the document since).
    XmlNode NodeAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    QString pathOf(const XmlNode& node) const;

    FoundNodes m_found;
    int m_shown = 0;
    int m_maxTextLength = 256;
    QHash<QString, QIcon> m_icons;
    // Paths are asked in row order: positions among many siblings are counted on from the row
    // before, while the document stays as it was.
    mutable XPathMemo m_memo;
    mutable XmlDocumentStamp m_memoStamp;
};

// The "Find Results" panel under the views: the matches of the last Find All. Double-click or
// Enter on a row leads to its item.
class FindResultsPanel : public ResultsPanel {
    Q_OBJECT
public:
    explicit FindResultsPanel(QWidget* parent = nullptr);

    // `stopped`: the search was stopped before it came round, so these are the first matches only.
    void ShowResults(FoundNodes found, const QString& text, bool stopped,
                     const XmlDocument& document, int maxTextLength);
    void Clear();
    void UpdateStale(const XmlDocument& document);
    // The node of the current row, when it is still in `document`; `gone` is set when the row's
    // node has left it.
    XmlNode CurrentNode(const XmlDocument& document, bool& gone) const;
    QTreeView* Rows() const { return m_rows; }
    QString Summary() const;
    qint64 Count() const { return m_model->Count(); }

signals:
    void rowActivated();

private:
    QTreeView* m_rows = nullptr;
    FindResultsModel* m_model = nullptr;
    QLabel* m_summary = nullptr;
    XmlDocumentStamp m_stamp;
    bool m_hasResult = false;
};
