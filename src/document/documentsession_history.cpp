// Undo and redo. The XML layer records every change a command makes in the step the command
// opened; whole-document steps bring back another Document.

#include "document/documentsession.h"

#include "platform/work/memoryahead.h"
#include "platform/xml/xmldocumentaside.h"
#include "platform/xml/xmlhistory.h"

#include <QScopeGuard>

#include <set>
#include <utility>

namespace {
// The containers a step or its undo or redo is about to change, in the order they are told, each
// once: a Replace All changes a million.
class TouchedContainers : public XmlChangeListener {
public:
    explicit TouchedContainers(const XmlDocument& document) : m_document(document.asNode()) {
        m_document.addChangeListener(this);
    }
    ~TouchedContainers() override { m_document.removeChangeListener(this); }
    TouchedContainers(const TouchedContainers&) = delete;
    TouchedContainers& operator=(const TouchedContainers&) = delete;

    void aboutToChange(const XmlNode& container) override {
        const XmlNode::Key key = container.key();
        if (m_seen.insert({key.node, key.declaration}).second)
            m_touched.push_back(container);
    }
    std::vector<XmlNode> take() { return std::move(m_touched); }

private:
    XmlNode m_document;
    std::vector<XmlNode> m_touched;
    std::set<std::pair<const void*, const void*>> m_seen;
};
} // namespace

void DocumentSession::InUndoStep(const QString& caption, const std::function<void()>& change) {
    if (m_objDocument.isNull()) {
        change();
        return;
    }
    // A command that failed half-way keeps what it changed, as it always did, so that is what
    // its step takes back.
    XmlChangeStep step(m_objDocument, caption);
    try {
        change();
    } catch (...) {
        step.commit();
        throw;
    }
    step.commit();
}

std::vector<XmlNode> DocumentSession::InUndoStepTouching(const QString& caption,
                                                         const std::function<void()>& change) {
    if (m_objDocument.isNull()) {
        change();
        return {};
    }
    TouchedContainers listener(m_objDocument);
    InUndoStep(caption, change);
    return listener.take();
}

std::optional<DocumentSession::Undone> DocumentSession::UndoOrRedo(bool undo) {
    if (m_objDocument.isNull())
        return std::nullopt;
    XmlHistory& history = m_objDocument.history();
    if (undo ? !history.canUndo() : !history.canRedo())
        return std::nullopt;
    const qint64 packed = history.packedTextAhead(undo);
    if (packed > 0 && !fitsBeside(packed, m_objDocument))
        return undoOrRedoMakingRoom(undo);
    const XmlDocument before = m_objDocument;
    Undone done;
    {
        TouchedContainers listener(before);
        const QString caption = QStringLiteral("%1 %2").arg(
            undo ? QStringLiteral("Undoing") : QStringLiteral("Redoing"),
            undo ? history.undoCaption() : history.redoCaption());
        // A Document kept packed is read back aside.
        history.setReadBackRunner([this, caption](const std::function<void()>& work) {
            runAside(caption, 0, false, [&work](WorkProgress&) { work(); });
        });
        const XmlHistory::Affected affected = undo ? history.undo() : history.redo();
        history.setReadBackRunner({});
        done.focus = affected.focus;
        done.touched = listener.take();
    }
    // Another Document brought back (and maybe changed by the step below a silent one) is shown
    // whole.
    done.replaced = !(m_objDocument == before);
    if (done.replaced)
        emit documentReplaced();
    return done;
}

// A Document that does not fit beside the one shown: the one shown is packed first, its nodes
// freed, and read back when the other cannot be.
DocumentSession::Undone DocumentSession::undoOrRedoMakingRoom(bool undo) {
    XmlHistory& history = m_objDocument.history();
    const QString caption =
        QStringLiteral("%1 %2").arg(undo ? QStringLiteral("Undoing") : QStringLiteral("Redoing"),
                                    undo ? history.undoCaption() : history.redoCaption());
    history.setReadBackRunner([this, caption](const std::function<void()>& work) {
        runAside(caption, 0, false, [&work](WorkProgress&) { work(); });
    });
    const auto noRunner = qScopeGuard([&history] { history.setReadBackRunner({}); });
    emit documentAboutToBeReplaced();
    emit documentMakingRoom();
    // Shown again whatever happens: the one brought back, or the one shown before.
    const auto show = qScopeGuard([this] { emit documentReplaced(); });
    Undone done;
    {
        const FreedMemoryKept kept; // the memory the one shown frees is the other's
        done.focus = history.travelMakingRoom(undo, m_objDocument).focus;
    }
    done.replaced = true;
    return done;
}

// Undo of this step shows `old` again; a Document kept for the text that did not parse takes the
// place of the one the session no longer has. A Document read again from its own text (`reread`)
// gets a step only when there are steps to reach behind it, a silent one unless it is named.
void DocumentSession::replaceDocument(const XmlDocument& replacement, const QString& caption,
                                      bool reread) {
    XmlDocument old = m_objDocument.isNull() ? m_undoBase : m_objDocument;
    m_undoBase = XmlDocument();
    const auto show = [this](const XmlDocument& shown) {
        m_objDocument = shown;
        m_undoBase = XmlDocument();
        m_strXMLText.clear();
    };
    if (m_aside) {
        std::exchange(m_aside, nullptr)->replaceWith(replacement, caption, show);
    } else if (!old.isNull() && !(old == replacement)) {
        XmlHistory& history = old.history();
        if (!reread || history.canUndo() || history.canRedo())
            history.replaceDocument(caption, replacement, show, caption.isEmpty());
    }
    m_objDocument = replacement;
}
