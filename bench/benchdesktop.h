#pragma once

// The X server as a user's hands and eyes, for the real-window benchmark: which windows a process
// has on the screen, their captions, and key presses and clicks sent as if typed (XTest). One
// connection kept open, so that a look at the screen costs a few round trips instead of a program
// started for each (xdotool takes 15 to 50 ms a call, which every figure would carry).

#include <QString>

#include <vector>

class Desktop {
public:
    Desktop();
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;
    bool isOpen() const { return m_display != nullptr; }

    // The windows of `pid` shown now (mapped and viewable), top-level ones and popups alike.
    std::vector<unsigned long> shownWindows(qint64 pid);
    QString caption(unsigned long window);
    // Gives `window` the focus through the window manager and waits until it has it.
    void activate(unsigned long window);
    // Keys as xdotool names them, held together: "alt+h", "ctrl+End", "F5", "Escape".
    void key(const QString& keys);
    // A click at (x, y) from `window`'s bottom-right corner.
    void clickFromBottomRight(unsigned long window, int x, int y);

private:
    unsigned long atom(const char* name);
    void collect(unsigned long window, qint64 pid, std::vector<unsigned long>& out);

    struct _XDisplay* m_display = nullptr;
};
