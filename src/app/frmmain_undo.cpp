// Undo and redo. The XML layer records every change a command makes in the step the command
// opened; the tree is brought in line with the Document for the places a step touched.

#include "app/commandtable.h"
#include "app/frmmain.h"

#include "document/documentrules.h"
#include "platform/views/richtextbox.h"
#include "platform/xml/xmlhistory.h"
#include "tree/treebuilder.h"
#include "tree/treesync.h"

#include <QAction>

namespace {
// The containers undo or redo is about to change, in the order they are told, each once.
class TouchedContainers : public XmlChangeListener {
public:
    explicit TouchedContainers(const XmlDocument& document) : m_document(document.asNode()) {
        m_document.addChangeListener(this);
    }
    ~TouchedContainers() override { m_document.removeChangeListener(this); }
    TouchedContainers(const TouchedContainers&) = delete;
    TouchedContainers& operator=(const TouchedContainers&) = delete;

    void aboutToChange(const XmlNode& container) override {
        if (std::find(m_touched.begin(), m_touched.end(), container) == m_touched.end())
            m_touched.push_back(container);
    }
    const std::vector<XmlNode>& touched() const { return m_touched; }

private:
    XmlNode m_document;
    std::vector<XmlNode> m_touched;
};
} // namespace

void frmMain::RunCommand(void (frmMain::*handler)()) {
    m_labelOfInsert = TreeModel::NoItem;
    if (const char* caption = UndoCaption(handler))
        inUndoStep(QString::fromLatin1(caption), [this, handler] { (this->*handler)(); });
    else
        (this->*handler)();
    UpdateUndoCommands();
}

void frmMain::inUndoStep(const QString& caption, const std::function<void()>& change) {
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

void frmMain::mnuUndo_Click() {
    undoOrRedo(true);
}

void frmMain::mnuRedo_Click() {
    undoOrRedo(false);
}

// While the text view is shown and has changes of its own to take back (or make again), those are
// what undo and redo act on, wherever the keyboard is; else the Document's steps.
bool frmMain::textViewUndoes(bool undo) const {
    return !m_txtXML->isHidden() && !(undo ? m_txtXML->UndoKind() : m_txtXML->RedoKind()).isEmpty();
}

void frmMain::undoOrRedo(bool undo) {
    if (textViewUndoes(undo)) {
        undo ? m_txtXML->undo() : m_txtXML->redo();
        return;
    }
    if (m_objDocument.isNull())
        return;
    XmlHistory& history = m_objDocument.history();
    if (undo ? !history.canUndo() : !history.canRedo())
        return;
    const XmlDocument before = m_objDocument;
    XmlHistory::Affected affected;
    std::vector<XmlNode> touched;
    {
        TouchedContainers listener(before);
        const QString caption = QStringLiteral("%1 %2").arg(
            undo ? QStringLiteral("Undoing") : QStringLiteral("Redoing"),
            undo ? history.undoCaption() : history.redoCaption());
        history.setReadBackRunner(
            [this, caption](const std::function<void()>& work) { runAside(caption, work); });
        affected = undo ? history.undo() : history.redo();
        history.setReadBackRunner({});
        touched = listener.touched();
    }
    TreeModel& nodes = m_wndTree->Nodes();
    // Another Document brought back (and maybe changed by the step below a silent one) is shown
    // whole; within the same Document only the places the step touched are built again.
    if (!(m_objDocument == before)) {
        nodes.Clear();
        ModGeneral::AddXmlNodeToTree(TreeModel::NoItem, m_objDocument.asNode(), nodes,
                                     m_lTreeTextMaxLength);
    } else {
        for (const XmlNode& container : touched) {
            if (!container.isAttachedToDocument() && container.nodeType() != NODE_DOCUMENT)
                continue;
            const TreeModel::ItemId item = container.nodeType() == NODE_DOCUMENT
                                               ? TreeModel::NoItem
                                               : ModGeneral::ItemShowing(nodes, container, false);
            if (item != TreeModel::NoItem || container.nodeType() == NODE_DOCUMENT)
                ModGeneral::SyncChildItems(nodes, item, container, m_lTreeTextMaxLength);
        }
    }
    TreeModel::ItemId shown = ModGeneral::ItemShowing(nodes, affected.focus, true);
    if (shown == TreeModel::NoItem)
        shown = nodes.FirstTopLevel();
    if (shown != TreeModel::NoItem)
        m_wndTree->SetSelectedItem(shown);
    UpdateCommandState(shown);
    // The view shown instead of the tree shows what was taken back.
    if (m_wndTree->isHidden())
        RefreshViews(false);
    UpdateUndoCommands();
}

void frmMain::UpdateUndoCommands() {
    UpdateValidationState();
    const bool document = !m_objDocument.isNull();
    XmlHistory* history = document ? &m_objDocument.history() : nullptr;
    if (history)
        history->setMemoryLimit(DocumentRules::UndoMemoryLimit());
    if (history && m_bNeedToSave && !m_markedAt)
        m_markedAt = history->stepsDone();
    updateUndoCaptions();
}

// The captions name what the commands will do: "Undo Typing", "Undo Indent" or the Document's
// step.
void frmMain::updateUndoCaptions() {
    const XmlHistory* history = m_objDocument.isNull() ? nullptr : &m_objDocument.history();
    for (const bool undo : {true, false}) {
        QString step;
        if (textViewUndoes(undo))
            step = undo ? m_txtXML->UndoKind() : m_txtXML->RedoKind();
        else if (history && (undo ? history->canUndo() : history->canRedo()))
            step = undo ? history->undoCaption() : history->redoCaption();
        const QString verb = undo ? QStringLiteral("&Undo") : QStringLiteral("&Redo");
        QAction* command = Command(undo ? QStringLiteral("mnuUndo") : QStringLiteral("mnuRedo"));
        command->setText(step.isEmpty() ? verb : verb + QLatin1Char(' ') + step);
        command->setEnabled(!step.isEmpty());
        Button(Toolbar1, undo ? QStringLiteral("Undo") : QStringLiteral("Redo"))
            ->setEnabled(!step.isEmpty());
    }
}

// Undo of this step shows `old` again; a Document kept for the text that did not parse takes
// the place of the one the window no longer has.
void frmMain::replaceDocument(const XmlDocument& replacement, const QString& caption, bool reread) {
    XmlDocument old = m_objDocument.isNull() ? m_undoBase : m_objDocument;
    m_undoBase = XmlDocument();
    if (!old.isNull() && !(old == replacement)) {
        XmlHistory& history = old.history();
        if (!reread || history.canUndo() || history.canRedo())
            history.replaceDocument(
                caption, replacement, [this](const XmlDocument& shown) { showDocument(shown); },
                caption.isEmpty());
    }
    m_objDocument = replacement;
}

void frmMain::showDocument(const XmlDocument& document) {
    m_objDocument = document;
    m_undoBase = XmlDocument();
    m_strXMLText.clear();
}
