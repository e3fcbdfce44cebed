#pragma once

#include "platform/ui/longoperation.h"

#include <QStatusBar>

class QLabel;
class QProgressBar;

// The status bar: "Ready", the CAPS, NUM, INS and SCRL indicators and a clock. The panels keep
// themselves up to date; where the windowing system cannot tell a lock key's state, its label
// stays dimmed. A long operation shows its progress in the first panel and a bar beside it.
class StatusPanels : public QStatusBar, public ProgressDisplay {
    Q_OBJECT
public:
    explicit StatusPanels(QWidget* parent = nullptr);
    QLabel* Panel(int index) const; // 1..6
    bool InsertMode() const { return m_insert; }
    void ShowProgress(const QString& caption, int percent) override;
    void HideProgress() override;
    // In the first panel.
    void ShowStatus(const QString& text) override;
    QString Status() const override;
    // Whether the text view's text is well-formed, beside the first panel until said otherwise
    // (empty: nothing said).
    void ShowWellFormedness(const QString& text);
    QString WellFormedness() const;
    // The selected item's path, shortened in the middle when the panel is too narrow for it
    // (empty: none).
    void ShowPath(const QString& path);
    QString Path() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void tick();
    void showKey(QLabel* label, bool on);

    QList<QLabel*> m_panels;
    QProgressBar* m_progress = nullptr;
    QLabel* m_wellFormedness = nullptr;
    class MiddleElidedLabel* m_path = nullptr;
    bool m_insert = true;
};
