#pragma once

#include "platform/ui/uiservices.h"

#include <QDialog>

// The person at the screen in a benchmark: every message answered with OK, no file chosen, no
// dialog filled in, an empty clipboard. A benchmark overrides what it times.
class BenchUi : public UiServices {
public:
    MsgResult messageBox(const QString&, MsgButtons, MsgIcon, const QString&) override {
        return MsgResult::OK;
    }
    bool fileDialog(const FileDialogRequest&, QString&) override { return false; }
    void showModal(QDialog&) override {}
    QString clipboardText() override { return {}; }
    void setClipboardText(const QString&) override {}
    bool startWindow(const QStringList&) override { return false; }
};
