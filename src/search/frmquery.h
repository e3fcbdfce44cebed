#pragma once

#include "platform/xml/xmlvalidation.h"

#include "platform/tree/treecontrol.h"
#include "platform/xml/xmldocument.h"

#include <QWidget>
#include <functional>
#include <memory>

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QToolBar;
class QueryJob;

// The Query Analyzer: a window of its own, owned by the main window, that runs XPath queries
// against a snapshot of the document and shows the matching nodes under a "QueryResults" item.
// Queries run on a worker thread; the window stays responsive, and Close, Esc or the Stop button
// abandon a running query at once. Closing the window destroys it.
class frmQuery : public QWidget {
    Q_OBJECT
public:
    frmQuery(QWidget* owner, int maxTextLength);
    ~frmQuery() override;

    // Takes a fresh snapshot of `document` (an empty document when it is none); the query text
    // and the shown results stay.
    void SetDomObject(const XmlDocument& document);
    // Start a query; its result replaces the shown one when it comes in.
    void SelectSingleXMLNode(const QString& strQuery);
    void SelectListXMLNode(const QString& strQuery);
    bool IsRunning() const { return m_job != nullptr; }
    // The query of the option chosen, or the running query stopped (the button is Stop then).
    void Toolbar1_ButtonClick(const QString& key);
    void StopQuery();
    void mnuExpandAll_Click();
    void cmdCancel_Click();
    void Form_Resize();
    const XmlDocument& Source() const { return m_objSource; }
    // A result's node chosen (double-click or Enter): its place in the snapshot the query ran
    // on, and the Document as it was when that snapshot was taken.
    std::function<void(const XmlNodePlace&, const XmlDocumentStamp&)> NodeChosen;

    QLabel* Label2 = nullptr;
    QLineEdit* txtQuery = nullptr;
    QGroupBox* Frame2 = nullptr;
    QRadioButton* optSingle = nullptr;
    QRadioButton* optList = nullptr;
    QToolBar* Toolbar1 = nullptr;
    TreeControl* m_wndTree = nullptr;
    QFrame* Frame1 = nullptr;
    QPushButton* cmdCancel = nullptr;
    QLabel* lblRunning = nullptr;
    QMenu* mnuPopup = nullptr;

    // The icon key of the "QueryResults" item: the seventh picture of the window's image list.
    static const QString kResultsImage;

signals:
    // A query ended: its results are shown, or it reported why not, or it was stopped.
    void QueryFinished();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void runQuery();
    void start(const QString& query, bool single);
    void jobFinished();
    void showResults(XmlDocument source, XmlNodeList nodes);
    void setRunning(bool running);
    void m_wndTree_MouseDown(Qt::MouseButton button, const QPoint& point);
    void releaseResults();
    void chooseResult();

    int m_maxTextLength;
    XmlDocument m_objSource;
    // The snapshot whose nodes the tree shows; it may be older than m_objSource.
    XmlDocument m_shownSource;
    // The Document's revision each snapshot was taken at: the source's, the running query's and
    // the shown results'.
    XmlDocumentStamp m_sourceStamp;
    XmlDocumentStamp m_queryStamp;
    XmlDocumentStamp m_shownStamp;
    std::shared_ptr<QueryJob> m_job;
    bool m_bSingle = true;
    qint16 m_iResizeFailures = 0;
};
