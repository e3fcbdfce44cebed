#pragma once

#include <QString>
#include <QWidget>

// The web view: shows a local file in a browser engine. The engine is loaded and started, and the
// file loaded, only when the view is shown.
class WebBrowser : public QWidget {
    Q_OBJECT
public:
    explicit WebBrowser(QWidget* parent = nullptr);
    void Navigate(const QString& path);
    const QString& LocationPath() const { return m_path; }
    // Whether the view has started loading the last file it was told to show.
    bool IsLoadingCurrent() const { return m_loadedPath == m_path && !m_path.isEmpty(); }
    // Whether pages are shown by the browser engine (else as plain text).
    static bool HasEngine();
    static QString EngineDescription();
    // Shows `text` instead of the page (empty: the page again).
    void ShowNote(const QString& text);
    QString Note() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void loadNow();

    QWidget* m_view = nullptr;
    class QLabel* m_note = nullptr;
    QString m_path;
    QString m_loadedPath;
    quint64 m_navigations = 0;
    quint64 m_loadedNavigation = 0;
};
