#pragma once

#include "platform/ui/resultspanel.h"
#include "platform/xml/xmlvalidation.h"

#include <optional>
#include <utility>

class QTreeWidget;

// The "Validation" panel under the views: one row per fault of the last validation (severity
// icon, line, libxml2's message).
class ValidationPanel : public ResultsPanel {
    Q_OBJECT
public:
    explicit ValidationPanel(QWidget* parent = nullptr);

    void ShowRunning();
    void ShowResult(const XmlValidationResult& result, const XmlDocumentStamp& stamp);
    // Another tool's messages about the document (a transform's), each with its file and line.
    void ShowMessages(const QList<XmlValidationIssue>& messages, const XmlDocumentStamp& stamp);
    // A single row saying what happened instead of a result.
    void ShowNote(const QString& text, bool error);
    // The one row of a text that is not well-formed, `sentence` saying where and why, in place of
    // what was shown; ClearTextError takes it away again.
    void ShowTextError(const QString& sentence, int line, int column);
    void ClearTextError();
    // The current row's place in the text (line, column), when it is a text error's row.
    std::optional<std::pair<int, int>> CurrentTextPlace() const;
    void Clear();
    // Marks the rows stale unless they are of `document` as it is now.
    void UpdateStale(const XmlDocument& document);

    // The fault of the current row; nullptr for none or a row that is no fault.
    const XmlValidationIssue* CurrentIssue() const;
    // The node of the current row's fault, when it is still in `document`; null when the row
    // leads nowhere (no such row, or a fault of another file). `gone` is set when the node was
    // there but is no longer.
    XmlNode CurrentNode(const XmlDocument& document, bool& gone) const;
    QTreeWidget* Rows() const { return m_rows; }

signals:
    // A row was double-clicked or Enter was pressed on it.
    void rowActivated();
    void contextMenuAsked(const QPoint& globalPosition);

private:
    QTreeWidget* m_rows = nullptr;
    QList<XmlValidationIssue> m_issues;
    XmlDocumentStamp m_stamp;
    bool m_hasResult = false;
};
