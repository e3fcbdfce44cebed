#include "support/scriptedui.h"

#include <QDialog>
#include <gtest/gtest.h>

const char* IconName(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::None:
        return "no icon";
    case MsgIcon::Critical:
        return "critical";
    case MsgIcon::Question:
        return "question";
    case MsgIcon::Exclamation:
        return "exclamation";
    case MsgIcon::Information:
        return "information";
    }
    return "?";
}

const char* ButtonsName(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::OKOnly:
        return "OK";
    case MsgButtons::OKCancel:
        return "OK/Cancel";
    case MsgButtons::YesNoCancel:
        return "Yes/No/Cancel";
    case MsgButtons::YesNo:
        return "Yes/No";
    }
    return "?";
}

ScriptedUi::ScriptedUi() {
    SetUiServices(this);
    SetPrintService(this);
}

ScriptedUi::~ScriptedUi() {
    verify();
    SetUiServices(nullptr);
    SetPrintService(nullptr);
}

void ScriptedUi::expectMessage(const QString& text, MsgButtons buttons, MsgIcon icon,
                               const QString& title, MsgResult answer) {
    m_messages.push_back({{text, buttons, icon, title}, answer});
}

void ScriptedUi::expectMessagePrefix(const QString& prefix, MsgButtons buttons, MsgIcon icon,
                                     const QString& title, MsgResult answer) {
    m_messages.push_back({{prefix, buttons, icon, title}, answer, true});
}

void ScriptedUi::expectFileDialog(FileDialogKind kind, const QString& fileName) {
    m_files.push_back({kind, fileName});
}

void ScriptedUi::expectModal(std::function<void(QDialog&)> handler) {
    m_modals.push_back(std::move(handler));
}

void ScriptedUi::verify() {
    for (const auto& m : m_messages)
        ADD_FAILURE() << "expected message never shown: \"" << m.message.text.toStdString() << "\"";
    for (const auto& f : m_files)
        ADD_FAILURE() << "expected file dialog never shown (answer \"" << f.fileName.toStdString()
                      << "\")";
    if (!m_modals.empty())
        ADD_FAILURE() << m_modals.size() << " expected modal dialog(s) never shown";
    if (!m_prints.empty())
        ADD_FAILURE() << m_prints.size() << " expected print dialog(s) never shown";
    for (const auto& w : m_windows)
        ADD_FAILURE() << "expected window never started: " << w.arguments.join(u' ').toStdString();
    m_windows.clear();
    m_messages.clear();
    m_prints.clear();
    m_files.clear();
    m_modals.clear();
}

MsgResult ScriptedUi::messageBox(const QString& text, MsgButtons buttons, MsgIcon icon,
                                 const QString& title) {
    m_shown.push_back({text, buttons, icon, title});
    if (m_messages.empty() && m_anyMessages)
        return buttons == MsgButtons::OKOnly ? MsgResult::OK : m_anyAnswer;
    if (m_messages.empty()) {
        ADD_FAILURE() << "unexpected message: \"" << text.toStdString() << "\" ["
                      << ButtonsName(buttons) << ", " << IconName(icon) << ", title \""
                      << title.toStdString() << "\"]";
        return MsgResult::Cancel;
    }
    const ExpectedMessage expected = m_messages.front();
    m_messages.pop_front();
    if (expected.prefix)
        EXPECT_TRUE(text.startsWith(expected.message.text))
            << "\"" << text.toStdString() << "\" does not start with \""
            << expected.message.text.toStdString() << "\"";
    else
        EXPECT_EQ(expected.message.text.toStdString(), text.toStdString());
    EXPECT_STREQ(ButtonsName(expected.message.buttons), ButtonsName(buttons))
        << "for \"" << text.toStdString() << "\"";
    EXPECT_STREQ(IconName(expected.message.icon), IconName(icon))
        << "for \"" << text.toStdString() << "\"";
    EXPECT_EQ(expected.message.title.toStdString(), title.toStdString())
        << "for \"" << text.toStdString() << "\"";
    return expected.answer;
}

bool ScriptedUi::fileDialog(const FileDialogRequest& request, QString& chosen) {
    m_fileRequests.push_back(request);
    if (m_files.empty()) {
        ADD_FAILURE() << "unexpected file dialog: " << request.title.toStdString();
        return false;
    }
    const ExpectedFile expected = m_files.front();
    m_files.pop_front();
    EXPECT_EQ(expected.kind == FileDialogKind::Save, request.kind == FileDialogKind::Save)
        << "the file dialog was of the other kind";
    if (expected.fileName.isEmpty())
        return false;
    chosen = expected.fileName;
    return true;
}

bool ScriptedUi::startWindow(const QStringList& arguments) {
    if (m_windows.empty()) {
        ADD_FAILURE() << "unexpected window started: " << arguments.join(u' ').toStdString();
        return false;
    }
    const ExpectedWindow expected = m_windows.front();
    m_windows.pop_front();
    EXPECT_EQ(arguments, expected.arguments);
    return expected.started;
}

void ScriptedUi::showModal(QDialog& dialog) {
    if (m_modals.empty()) {
        ADD_FAILURE() << "unexpected modal dialog: " << dialog.windowTitle().toStdString();
        return;
    }
    auto handler = std::move(m_modals.front());
    m_modals.pop_front();
    dialog.show();
    handler(dialog);
    dialog.hide();
}

PrintResult ScriptedUi::printXml(const QString& xml, const QString& documentName) {
    m_printJobs.push_back({xml, documentName});
    if (m_prints.empty()) {
        ADD_FAILURE() << "unexpected print dialog for " << documentName.toStdString();
        return PrintResult::Cancelled;
    }
    const PrintResult answer = m_prints.front();
    m_prints.pop_front();
    return answer;
}
