#pragma once

#include "platform/views/richtextbox.h"
#include "platform/xml/xmlnode.h"

// Gives the text view the Document's text without writing it out until it is needed: when the
// view is shown, its text read, or the Document is about to change (the view must keep showing
// the text of its last refresh).
class DeferredTextGuard : private XmlChangeListener {
public:
    explicit DeferredTextGuard(RichTextBox& view) : m_view(view) {}
    ~DeferredTextGuard() override { release(); }
    DeferredTextGuard(const DeferredTextGuard&) = delete;
    DeferredTextGuard& operator=(const DeferredTextGuard&) = delete;

    void showDocument(const XmlNode& document) {
        release();
        m_watched = document;
        m_watched.addChangeListener(this);
        m_view.SetTextSource([document] { return document.xml(); });
    }
    void showText(const QString& text) {
        release();
        m_view.SetText(text);
    }

private:
    void aboutToChange(const XmlNode&) override {
        m_view.ResolveTextSource();
        release();
    }
    void release() {
        if (!m_watched.isNull())
            m_watched.removeChangeListener(this);
        m_watched = XmlNode();
    }

    RichTextBox& m_view;
    XmlNode m_watched;
};
