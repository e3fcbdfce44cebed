#pragma once

#include <QDockWidget>
#include <QString>

class QAbstractItemView;
class QAction;
class QLabel;
class QMainWindow;

// A panel of result rows under the views (validation's faults, Find All's matches): docked at the
// bottom of the main window, shown and hidden by a command whose check mark follows it, its shown
// state remembered for the next start. Rows of a Document that changed since are marked stale: a
// note over them says so and they are greyed, though they still lead where they can.
class ResultsPanel : public QDockWidget {
    Q_OBJECT
public:
    // `shownKey` is the setting that remembers whether the user had the panel shown; `staleNote`
    // the sentence shown over stale rows.
    ResultsPanel(const QString& title, const QString& shownKey, const QString& staleNote,
                 QWidget* parent);

    // Docks the panel at the bottom of `window`, hidden; `toggle` shows and hides it and is
    // checked while the user has it shown.
    void Attach(QMainWindow& window, QAction& toggle);
    // After the window got its first size: the panel as the user left it.
    void Restore();
    void Toggle();
    // The panel comes in at a few rows' height, and the views keep theirs: the window grows by
    // the panel where the screen has room for it.
    void ShowInWindow();
    bool IsStale() const { return m_stale; }

protected:
    // The rows' view, placed under the stale note; the panel takes it.
    void SetRows(QAbstractItemView* rows);
    void SetStale(bool stale);
    QLabel* StaleNote() const { return m_staleNote; }

private:
    QMainWindow* m_window = nullptr;
    QAction* m_toggle = nullptr;
    QAbstractItemView* m_rows = nullptr;
    QLabel* m_staleNote = nullptr;
    QString m_shownKey;
    bool m_stale = false;
};
