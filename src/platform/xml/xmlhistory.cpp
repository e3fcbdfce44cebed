// The steps of undo and redo over the XML layer's journal, and whole-document steps.

#include "platform/xml/xmlhistory.h"

#include "platform/xml/xmlerror.h"
#include "platform/xml/xmljournal.h"
#include "platform/xml/xmlpackeddocument.h"
#include "platform/xml/xmlstorage.h"

#include <algorithm>
#include <utility>

using namespace xmlimpl;

struct XmlHistory::Step {
    QString caption;
    std::unique_ptr<XmlJournal> journal;       // a step of node changes
    XmlDocument other;                         // a whole-document step: the document it brings back
    std::unique_ptr<XmlPackedDocument> packed; // ... or that document, packed
    quint64 otherRevision = 0;                 // ... as it was when the step took it
    ShowDocument show;
    size_t bytes = 0;
    bool silent = false;
};

namespace {

// A document's memory, roughly: its nodes and their values. Walked once, when a whole-document
// step is made, which happens where a whole document was just read anyway.
size_t walkDocumentBytes(xmlDocPtr doc) {
    size_t bytes = sizeof(xmlDoc);
    xmlNodePtr n = doc->children;
    while (n) {
        bytes += sizeof(xmlNode) + static_cast<size_t>(xmlStrlen(n->content));
        if (n->type == XML_ELEMENT_NODE) {
            for (xmlAttrPtr a = n->properties; a; a = a->next)
                bytes += sizeof(xmlAttr) + sizeof(xmlNode);
            for (xmlNsPtr ns = n->nsDef; ns; ns = ns->next)
                bytes += sizeof(xmlNs);
        }
        if (n->children && n->type == XML_ELEMENT_NODE) {
            n = n->children;
            continue;
        }
        while (n && !n->next)
            n = n->parent == reinterpret_cast<xmlNodePtr>(doc) ? nullptr : n->parent;
        if (n)
            n = n->next;
    }
    return bytes;
}

size_t documentBytes(const XmlStorage& storage) {
    if (storage.measured && storage.measured->revision == storage.revision)
        return storage.measured->bytes;
    return walkDocumentBytes(storage.doc);
}

XmlNode handle(const std::shared_ptr<XmlStorage>& storage, xmlNodePtr node) {
    return node ? XmlNode(node, storage) : XmlNode();
}

} // namespace

XmlHistory::XmlHistory() = default;

XmlHistory::~XmlHistory() {
    if (m_open && m_open->journal)
        m_open->journal->storage()->journal = nullptr;
}

const XmlHistory::Step* XmlHistory::newestShown(const Steps& steps) {
    for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
        if (!(*it)->silent)
            return it->get();
    }
    return nullptr;
}

bool XmlHistory::canUndo() const {
    return !m_open && newestShown(m_undo);
}

bool XmlHistory::canRedo() const {
    return !m_open && newestShown(m_redo);
}

QString XmlHistory::undoCaption() const {
    const Step* step = newestShown(m_undo);
    return step ? step->caption : QString();
}

QString XmlHistory::redoCaption() const {
    const Step* step = newestShown(m_redo);
    return step ? step->caption : QString();
}

XmlHistory::Affected XmlHistory::apply(Step& step, bool backwards) {
    if (step.journal) {
        const XmlJournal::Touched touched = step.journal->apply(backwards);
        const auto& storage = step.journal->storage();
        return {handle(storage, touched.first), handle(storage, touched.last),
                handle(storage, touched.focus)};
    }
    // The history belongs to the current document and moves with it; the step keeps the other.
    auto current = m_owner.lock();
    bool readBack = false;
    XmlDocument target = step.packed ? step.packed->take(&readBack, m_readBackRunner) : step.other;
    step.packed.reset();
    // A document read back from its text has new nodes: nothing made on the old ones fits it.
    const bool changedMeanwhile = readBack || target.revision() != step.otherRevision;
    const bool pack = packs(step, *current);
    target.m_object->history = std::move(current->history);
    m_owner = target.m_object;
    // The steps beyond this one were made on the document as the step took it.
    if (changedMeanwhile && backwards)
        dropOldest(m_undo.size());
    else if (changedMeanwhile)
        dropRedo();
    if (pack)
        dropMadeOn(step, backwards);
    keep(step, XmlDocument(std::exchange(current, nullptr)), pack);
    if (step.show)
        step.show(target);
    return {target.asNode(), target.asNode(), target.asNode()};
}

qint64 XmlHistory::packedTextAhead(bool undo) const {
    const Steps& from = undo ? m_undo : m_redo;
    if (m_open || from.empty() || from.back()->silent || !from.back()->packed)
        return 0;
    return from.back()->packed->textBytes();
}

XmlHistory::Affected XmlHistory::travelMakingRoom(bool undo, XmlDocument& shown) {
    if (packedTextAhead(undo) == 0 || shown.isNull() || shown.m_object != m_owner.lock())
        return {};
    Steps& from = undo ? m_undo : m_redo;
    Steps& to = undo ? m_redo : m_undo;
    to.push_back(std::move(from.back()));
    from.pop_back();
    Step& step = *to.back();
    // The steps made on the shown document's nodes go before the nodes do.
    dropMadeOn(step, undo);
    const std::shared_ptr<XmlHistory> self = shown.m_object->history;
    const quint64 revision = shown.revision();
    auto packed = std::make_unique<XmlPackedDocument>(std::exchange(shown, XmlDocument()));
    if (m_readBackRunner)
        m_readBackRunner([&packed] { packed->finish(); });
    else
        packed->finish();
    XmlDocument target;
    try {
        target = step.packed->take(nullptr, m_readBackRunner);
    } catch (...) {
        // The step keeps what it had; the shown document comes back, read from its text.
        from.push_back(std::move(to.back()));
        to.pop_back();
        shown = packed->take(nullptr, m_readBackRunner);
        shown.m_object->history = self;
        m_owner = shown.m_object;
        throw;
    }
    // Read back: new nodes, which none of the steps beyond this one fits.
    if (undo)
        dropOldest(m_undo.size());
    else
        dropRedo();
    target.m_object->history = self;
    m_owner = target.m_object;
    step.other = XmlDocument();
    step.otherRevision = revision;
    step.packed = std::move(packed);
    if (step.show)
        step.show(target);
    return {target.asNode(), target.asNode(), target.asNode()};
}

bool XmlHistory::packs(const Step& step, const XmlDocumentObject& document) const {
    return !step.silent && documentBytes(*document.storage) > m_packAbove;
}

void XmlHistory::keep(Step& step, XmlDocument replaced, bool pack) {
    step.otherRevision = replaced.revision();
    step.other = XmlDocument();
    if (pack)
        step.packed = std::make_unique<XmlPackedDocument>(std::move(replaced));
    else
        step.other = std::move(replaced);
}

// A step that packs its document keeps none of its nodes, so the steps made on them go: those
// before it when it was just done or redone, those after it when it was undone.
void XmlHistory::dropMadeOn(const Step& step, bool backwards) {
    if (!backwards) {
        dropOldest(m_undo.size() - 1);
        return;
    }
    const long long reachable = static_cast<long long>(position()) + (step.silent ? 0 : 1);
    if (m_saved > reachable)
        m_saved = -1;
    while (m_redo.size() > 1) {
        m_total -= m_redo.front()->bytes;
        m_redo.pop_front();
    }
}

XmlHistory::Affected XmlHistory::travel(Steps& from, Steps& to, bool backwards) {
    if (m_open || from.empty())
        return {};
    std::unique_ptr<Step> step = std::move(from.back());
    from.pop_back();
    Step& s = *step;
    to.push_back(std::move(step));
    try {
        return apply(s, backwards);
    } catch (...) {
        // Reading a packed document back may fail, before anything changed.
        if (s.journal)
            throw;
        from.push_back(std::move(to.back()));
        to.pop_back();
        throw;
    }
}

XmlHistory::Affected XmlHistory::undo() {
    if (!canUndo())
        return {};
    while (m_undo.back()->silent)
        travel(m_undo, m_redo, true);
    return travel(m_undo, m_redo, true);
}

XmlHistory::Affected XmlHistory::redo() {
    if (!canRedo())
        return {};
    while (m_redo.back()->silent)
        travel(m_redo, m_undo, false);
    // A silent step above it stays to be redone with the next one: the document this step
    // changed is the one a window shows now.
    return travel(m_redo, m_undo, false);
}

size_t XmlHistory::position() const {
    return m_dropped + static_cast<size_t>(std::count_if(m_undo.begin(), m_undo.end(),
                                                         [](const auto& s) { return !s->silent; }));
}

void XmlHistory::clear() {
    const bool saved = isAtSavedPosition();
    m_undo.clear();
    m_redo.clear();
    m_dropped = 0;
    m_total = 0;
    m_saved = saved ? 0 : -1;
}

void XmlHistory::forget() {
    clear();
    m_saved = -1;
    if (m_open)
        m_broken = true;
}

void XmlStorage::forgetHistory() const {
    auto object = owner.lock();
    if (object && object->storage.get() == this && object->history)
        object->history->forget();
}

void XmlHistory::markSaved() {
    m_saved = static_cast<long long>(position());
}

bool XmlHistory::isAtSavedPosition() const {
    return m_saved == static_cast<long long>(position());
}

size_t XmlHistory::memoryUse() const {
    return m_total;
}

size_t XmlHistory::undoStepMemory(int back) const {
    if (back < 0 || back >= undoCount())
        return 0;
    return m_undo[m_undo.size() - 1 - static_cast<size_t>(back)]->bytes;
}

void XmlHistory::setMemoryLimit(size_t bytes) {
    m_limit = bytes;
    enforceLimit();
}

void XmlHistory::dropRedo() {
    if (m_saved > static_cast<long long>(position()))
        m_saved = -1;
    for (const auto& step : m_redo)
        m_total -= step->bytes;
    m_redo.clear();
}

void XmlHistory::dropOldest(size_t count) {
    for (; count > 0 && !m_undo.empty(); --count) {
        m_total -= m_undo.front()->bytes;
        if (!m_undo.front()->silent)
            ++m_dropped;
        m_undo.pop_front();
        if (m_saved >= 0 && m_saved < static_cast<long long>(m_dropped))
            m_saved = -1;
    }
}

void XmlHistory::enforceLimit() {
    while (m_limit && m_total > m_limit && m_undo.size() > 1)
        dropOldest(1);
}

void XmlHistory::push(std::unique_ptr<Step> step) {
    dropRedo();
    m_total += step->bytes;
    m_undo.push_back(std::move(step));
    enforceLimit();
}

void XmlHistory::replaceDocument(const QString& caption, const XmlDocument& replacement,
                                 ShowDocument show, bool silent) {
    auto current = m_owner.lock();
    if (m_open)
        throw XmlError(QStringLiteral("The document cannot be replaced while a change is made."));
    if (!current || replacement.isNull() || replacement.m_object == current)
        return;
    // What undo brings back is written over the text it was read from, which a save of the
    // replacement to the same file would take away: a file's text is read now.
    {
        XmlStorage& storage = *current->storage;
        std::lock_guard<std::mutex> lock(storage.sourceMutex);
        xmlimpl::readSource(storage.source);
    }
    auto step = std::make_unique<Step>();
    step->caption = caption;
    step->show = std::move(show);
    step->silent = silent;
    const size_t bytes = documentBytes(*current->storage);
    step->bytes = sizeof(Step) + bytes;
    const bool pack = !silent && bytes > m_packAbove;
    std::shared_ptr<XmlHistory> self = std::move(current->history);
    replacement.m_object->history = self;
    m_owner = replacement.m_object;
    // Before packing starts: steps hold the replaced document's storage, and the packing worker
    // frees it only when its hold is the last.
    dropRedo();
    if (pack)
        dropOldest(m_undo.size()); // made on the nodes that packing lets go
    keep(*step, XmlDocument(std::exchange(current, nullptr)), pack);
    push(std::move(step));
}

void XmlHistory::leave() {
    if (m_open)
        throw XmlError(QStringLiteral("The document cannot be replaced while a change is made."));
    m_owner.reset();
    dropRedo();
    dropOldest(m_undo.size());
}

void XmlHistory::come(const XmlDocument& document, const QString& caption, ShowDocument show,
                      size_t bytes, quint64 revision, std::unique_ptr<XmlPackedDocument> packed) {
    m_owner = document.m_object;
    if (!packed)
        return;
    auto step = std::make_unique<Step>();
    step->caption = caption;
    step->show = std::move(show);
    step->bytes = sizeof(Step) + bytes;
    step->otherRevision = revision;
    step->packed = std::move(packed);
    push(std::move(step));
}

size_t XmlHistory::bytesOf(const XmlStorage& storage) {
    return documentBytes(storage);
}

void XmlHistory::setPackAbove(size_t bytes) {
    m_packAbove = bytes;
}

void XmlHistory::setReadBackRunner(std::function<void(const std::function<void()>&)> run) {
    m_readBackRunner = std::move(run);
}

void XmlHistory::finishPacking() {
    for (const Steps* steps : {&m_undo, &m_redo}) {
        for (const auto& step : *steps) {
            if (step->packed)
                step->packed->finish();
        }
    }
}

// ---- steps -----------------------------------------------------------------------------------

XmlChangeStep::XmlChangeStep(const XmlDocument& document, const QString& caption, bool joinNewest) {
    document.history();
    m_history = document.m_object->history;
    XmlHistory& h = *m_history;
    ++h.m_depth;
    if (h.m_open) {
        m_mark = h.m_open->journal->size();
        return;
    }
    m_outer = true;
    const auto& storage = document.m_object->storage;
    if (joinNewest && h.m_redo.empty() && !h.m_undo.empty() && h.m_undo.back()->journal &&
        h.m_undo.back()->journal->storage() == storage) {
        h.m_open = std::move(h.m_undo.back());
        h.m_undo.pop_back();
        h.m_total -= h.m_open->bytes;
        m_mark = h.m_open->journal->size();
        m_joined = true;
    } else {
        h.m_open = std::make_unique<XmlHistory::Step>();
        h.m_open->caption = caption;
        h.m_open->journal = std::make_unique<XmlJournal>(storage);
    }
    h.m_broken = false;
    storage->journal = h.m_open->journal.get();
}

XmlChangeStep::~XmlChangeStep() {
    XmlHistory& h = *m_history;
    --h.m_depth;
    if (!m_outer)
        return;
    std::unique_ptr<XmlHistory::Step> step = std::move(h.m_open);
    XmlJournal& journal = *step->journal;
    journal.storage()->journal = nullptr;
    // A step joined and then refused keeps what it held before.
    if (m_joined && !m_done && !h.m_broken && journal.size() == m_mark)
        m_done = true;
    if (h.m_broken || (!m_done && !journal.empty())) {
        h.forget();
        return;
    }
    if (m_done && !journal.empty()) {
        step->bytes = sizeof(XmlHistory::Step) + journal.bytes();
        h.push(std::move(step));
    }
}

void XmlChangeStep::commit() {
    m_done = true;
}

void XmlChangeStep::rollBack() {
    XmlHistory& h = *m_history;
    if (h.m_open)
        h.m_open->journal->rollBackTo(m_mark);
    m_done = true;
}

void XmlDocument::prepareReplacement() const {
    XmlStorage& storage = *object().storage;
    storage.measured = XmlStorage::Measured{storage.revision, walkDocumentBytes(storage.doc)};
}
