#pragma once

#include "support/qtprinting.h"

#include "platform/ui/printservice.h"
#include "platform/ui/uiservices.h"

#include <QString>
#include <deque>
#include <functional>
#include <vector>

// A stand-in for the person at the screen. Every message box must have been expected, in order,
// with its exact text, buttons, icon and title; the expectation also gives the answer. File
// dialogs answer from a queue; modal dialogs are handed to a callback that works their real
// widgets; print dialogs answer from a queue and record what would have been printed. Anything
// unexpected, and any expectation left over at the end, fails the test.
class ScriptedUi : public UiServices, public PrintService {
public:
    struct Message {
        QString text;
        MsgButtons buttons;
        MsgIcon icon;
        QString title;
    };

    ScriptedUi();
    ~ScriptedUi() override;

    void expectMessage(const QString& text, MsgButtons buttons, MsgIcon icon,
                       const QString& title = QStringLiteral("Orvel XML Editor"),
                       MsgResult answer = MsgResult::OK);
    // A message whose text starts with `prefix` (for texts that end in a system's description).
    void expectMessagePrefix(const QString& prefix, MsgButtons buttons, MsgIcon icon,
                             const QString& title = QStringLiteral("Orvel XML Editor"),
                             MsgResult answer = MsgResult::OK);
    // The next file dialog of this kind returns `fileName`; an empty name dismisses it.
    void expectFileDialog(FileDialogKind kind, const QString& fileName);
    void expectModal(std::function<void(QDialog&)> handler);
    // The next window started is started with `arguments`; `started` is what starting it gives.
    void expectWindow(const QStringList& arguments, bool started = true) {
        m_windows.push_back({arguments, started});
    }
    // The next print dialog ends with `answer` (Printed: the user went on and it printed).
    void expectPrint(PrintResult answer) { m_prints.push_back(answer); }
    struct PrintJob {
        QString xml;
        QString documentName;
    };
    // From now on a message nobody expected is recorded and answered with `answer` (or OK where
    // that is the only button) instead of failing; for tests that drive random commands.
    void allowAnyMessages(MsgResult answer) {
        m_anyMessages = true;
        m_anyAnswer = answer;
    }
    void discardUnusedModals() { m_modals.clear(); }
    // Checks that every expectation was met; called by the destructor too.
    void verify();

    const std::vector<Message>& shown() const { return m_shown; }
    const std::vector<FileDialogRequest>& fileDialogs() const { return m_fileRequests; }
    // Every print dialog shown, whatever its answer.
    const std::vector<PrintJob>& printJobs() const { return m_printJobs; }
    QString clipboard;

    MsgResult messageBox(const QString& text, MsgButtons buttons, MsgIcon icon,
                         const QString& title) override;
    bool fileDialog(const FileDialogRequest& request, QString& chosen) override;
    void showModal(QDialog& dialog) override;
    QString clipboardText() override { return clipboard; }
    void setClipboardText(const QString& text) override { clipboard = text; }
    bool startWindow(const QStringList& arguments) override;
    PrintResult printXml(const QString& xml, const QString& documentName) override;

private:
    struct ExpectedWindow {
        QStringList arguments;
        bool started;
    };
    std::deque<ExpectedWindow> m_windows;
    struct ExpectedMessage {
        Message message;
        MsgResult answer;
        bool prefix = false;
    };
    struct ExpectedFile {
        FileDialogKind kind;
        QString fileName;
    };
    std::deque<ExpectedMessage> m_messages;
    std::deque<ExpectedFile> m_files;
    std::deque<std::function<void(QDialog&)>> m_modals;
    std::vector<Message> m_shown;
    std::vector<FileDialogRequest> m_fileRequests;
    std::deque<PrintResult> m_prints;
    std::vector<PrintJob> m_printJobs;
    bool m_anyMessages = false;
    MsgResult m_anyAnswer = MsgResult::OK;
};

const char* IconName(MsgIcon icon);

const char* ButtonsName(MsgButtons buttons);
