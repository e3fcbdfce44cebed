#pragma once

#include "platform/xml/xmltransform.h"

#include <QTemporaryDir>
#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QTabWidget;
class RichTextBox;
class WebBrowser;

// The window that shows a transform's output: HTML rendered by the web view (its text beside),
// XML and text as text. The output can become the editor's document, or be saved as it is.
class frmTransformResult : public QWidget {
    Q_OBJECT
public:
    explicit frmTransformResult(QWidget* owner);

    // `stylesheet` names what made it.
    void ShowResult(const XmlTransform::Result& result, const QString& stylesheet);
    const XmlTransform::Result& Result() const { return m_result; }
    // The output as text, decoded from its encoding.
    QString OutputText() const;
    // Writes the output's bytes, exactly as they are, to `path`; false after saying why.
    bool SaveOutput(const QString& path);

    // Open as Document: the window gives the output's text to the main window.
    std::function<void(const QString& text)> OpenAsDocument;

    QTabWidget* tabViews = nullptr;
    WebBrowser* m_WebBrowser = nullptr;
    RichTextBox* m_txtOutput = nullptr;
    QLabel* lblSummary = nullptr;
    QPushButton* cmdOpenAsDocument = nullptr;
    QPushButton* cmdSaveOutput = nullptr;
    QPushButton* cmdClose = nullptr;

private:
    void cmdSaveOutput_Click();

    XmlTransform::Result m_result;
    std::unique_ptr<QTemporaryDir> m_page; // the HTML output's file for the web view
};
