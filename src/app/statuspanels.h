#pragma once

#include <QStatusBar>

class QLabel;

// The status bar: "Ready", the CAPS, NUM, INS and SCRL indicators and a clock. The panels keep
// themselves up to date; where the windowing system cannot tell a lock key's state, its label
// stays dimmed.
class StatusPanels : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusPanels(QWidget* parent = nullptr);
    QLabel* Panel(int index) const; // 1..6
    bool InsertMode() const { return m_insert; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void tick();
    void showKey(QLabel* label, bool on);

    QList<QLabel*> m_panels;
    bool m_insert = true;
};
