#pragma once

#include "platform/xml/xmlvalidation.h"

#include <QDockWidget>
#include <optional>
#include <utility>

class QAction;
class QLabel;
class QMainWindow;
class QTreeWidget;

// The "Validation" panel under the views: one row per fault of the last validation (severity
// icon, line, libxml2's message). Results of a Document that changed since are marked stale:
// a note says so and the rows are greyed, though they still lead where they can.
class ValidationPanel : public QDockWidget {
    Q_OBJECT
public:
    explicit ValidationPanel(QWidget* parent = nullptr);

    // Docks the panel at the bottom of `window`, hidden; `toggle` shows and hides it and is
    // checked while the user has it shown, which is remembered for the next start (Restore).
    void Attach(QMainWindow& window, QAction& toggle);
    // After the window got its first size: the panel as the user left it.
    void Restore();
    void Toggle();
    // The panel comes in at a few rows' height, and the views keep theirs: the window grows by
    // the panel where the screen has room for it.
    void ShowInWindow();

    void ShowRunning();
    void ShowResult(const XmlValidationResult& result, const XmlDocumentStamp& stamp);
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
    bool IsStale() const { return m_stale; }

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
    void setStale(bool stale);

    QMainWindow* m_window = nullptr;
    QAction* m_toggle = nullptr;
    QTreeWidget* m_rows = nullptr;
    QLabel* m_staleNote = nullptr;
    QList<XmlValidationIssue> m_issues;
    XmlDocumentStamp m_stamp;
    bool m_hasResult = false;
    bool m_stale = false;
};
