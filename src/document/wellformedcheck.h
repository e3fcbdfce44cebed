#pragma once

#include "platform/work/asidework.h"
#include "platform/xml/xmlparseerror.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

// The text view's text checked for well-formedness once typing pauses, on a worker, so that typing
// never waits for it. Only typing is checked: a text as it was put in is what its Document or its
// file already says. A newer check abandons an older one, and only the newest answer is told.
class WellFormedCheck : public QObject {
    Q_OBJECT
public:
    struct Text {
        // Whether the text holds typing.
        std::function<bool()> typed;
        // Its length, and `count` bytes of it from `from` into `into` (UTF-8).
        std::function<qsizetype()> length;
        std::function<void(qsizetype from, qsizetype count, char* into)> copy;
    };
    static constexpr int kPause = 500;

    explicit WellFormedCheck(Text text, QObject* parent = nullptr);
    // Waits for every check still running to see its stop.
    ~WellFormedCheck() override;

    // For tests: a shorter pause.
    void SetPause(int ms) { m_pause.setInterval(ms); }
    // The text changed: it is checked once it has not changed for the pause.
    void TextEdited();
    // The text was replaced as a whole: nothing waiting or running is told any more.
    void Forget();
    // A check is waiting for the pause to end, or running.
    bool Pending() const;

signals:
    // The text as it was when the check started is well-formed (an empty reason) or not.
    void checked(const XmlParseError& error);
    // The pause ended on text without typing.
    void untyped();

private:
    void start();
    void copyPiece();

    Text m_text;
    // The copy being made, a piece at each pass over the events, for the check to read.
    QByteArray m_copy;
    qsizetype m_copied = -1; // -1: no copy under way
    QTimer m_pause;
    quint64 m_generation = 0;
    // Checks started and not yet ended, the newest last.
    std::vector<std::shared_ptr<AsideWork>> m_jobs;
};
