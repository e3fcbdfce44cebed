#pragma once

// Undo and redo of every change to a document. The XML layer records each change where it is
// made, so a command needs no code of its own beyond opening a step around its changes:
//
//     XmlChangeStep step(document, QStringLiteral("Delete"));
//     parent.removeChild(node);
//     step.commit();
//
// Undo puts back exactly what was there: the same node objects (handles held anywhere stay
// valid and show the restored nodes), the same order of children and attributes, the same
// namespace declarations and the same declaration behind every name. Redo makes the change again
// with the same node objects.

#include "platform/xml/xmldocument.h"

#include <QString>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>

struct XmlStorage;
class XmlPackedDocument;

class XmlHistory {
public:
    XmlHistory();
    ~XmlHistory();
    XmlHistory(const XmlHistory&) = delete;
    XmlHistory& operator=(const XmlHistory&) = delete;

    // The containers of the first and the last change of the step (in the order the command made
    // them), as they are after undo or redo, for a window to show; null when nothing was done.
    // `focus` is the node the step's first change was made to when it is in the document
    // afterwards, else that change's container: the place a window brings into view.
    struct Affected {
        XmlNode first;
        XmlNode last;
        XmlNode focus;
    };

    bool canUndo() const;
    bool canRedo() const;
    QString undoCaption() const;
    QString redoCaption() const;
    // Nothing happens while a step is open. Silent steps go with the step below them.
    Affected undo();
    Affected redo();
    // Forgets every step. Whether the document is as saved stays known.
    void clear();

    void markSaved();
    // No position is the saved one (the document is in no file yet).
    void markUnsaved() { m_saved = -1; }
    bool isAtSavedPosition() const;

    // What the steps hold, estimated: the records and the values they keep, and the documents
    // that whole-document steps keep alive. A subtree a change removed is not counted: the
    // document keeps it for the handles that may show it, with or without its step.
    size_t memoryUse() const;
    int undoCount() const { return static_cast<int>(m_undo.size()); }
    // Steps made since the history began (silent ones not counted), less those undone: each
    // state of the document has its own number.
    size_t stepsDone() const { return position(); }
    // The step `back` steps before the newest one that Undo would undo.
    size_t undoStepMemory(int back = 0) const;
    // Drops the oldest steps while the total is over the limit; the newest step always stays.
    void setMemoryLimit(size_t bytes);

    // The document this history belongs to is replaced by `replacement` (a load, a paste of a
    // whole document): the history moves to `replacement`, and the step keeps the replaced
    // document. Undo and redo hand the document that is the current one again to `show`. A
    // replaced document that was changed while it waited in the step comes back without the
    // steps made on it before (they no longer fit it).
    // A silent step replaces the document with one that shows the same (the document read again
    // from its own text): no undo or redo stops at it; it is undone with the step below it and
    // redone with that step, so the steps below stay reachable.
    // A replaced document whose nodes take more than the pack limit is kept packed as text
    // (xmlpackeddocument.h), so its memory goes back to the system; the steps made on its nodes
    // go then (those before the step, or after it once it is undone), and undo or redo reads it
    // back as new nodes. A silent step always keeps its document.
    using ShowDocument = std::function<void(const XmlDocument&)>;
    void replaceDocument(const QString& caption, const XmlDocument& replacement, ShowDocument show,
                         bool silent = false);
    void setPackAbove(size_t bytes);
    // Runs the reading back of a packed document (see XmlPackedDocument::take); empty: in place.
    void setReadBackRunner(std::function<void(const std::function<void()>& work)> run);
    // Waits until the documents being packed are packed (or are kept as they are).
    void finishPacking();
    // The bytes of text that the next undo (or redo) reads back as a document kept packed; 0 when
    // it reads none.
    qint64 packedTextAhead(bool undo) const;
    // Undo (or redo) of such a step when the document it reads back does not fit in memory beside
    // `shown`, the one this history belongs to: `shown` is packed and its nodes freed first, with
    // the steps made on them. The holder of `shown` lets go of every other handle on it first.
    // When the other document cannot be read back, `shown` is read back instead, and the error
    // is thrown. Nothing happens when the next step is not such a step.
    Affected travelMakingRoom(bool undo, XmlDocument& shown);

private:
    friend class XmlChangeStep;
    friend class XmlDocument;
    friend class XmlDocumentAside;
    friend struct XmlStorage;
    struct Step;
    using Steps = std::deque<std::unique_ptr<Step>>;

    Affected apply(Step& step, bool backwards);
    // The newest step that is not silent, nullptr when there is none.
    static const Step* newestShown(const Steps& steps);
    // Moves the newest step of `from` to `to` and applies it.
    Affected travel(Steps& from, Steps& to, bool backwards);
    void push(std::unique_ptr<Step> step);
    // XmlDocumentAside: the history leaves its document, whose nodes are about to go, with the
    // steps made on them; and comes to `document`, with a step that brings back `packed`.
    void leave();
    void come(const XmlDocument& document, const QString& caption, ShowDocument show,
              size_t bytes, quint64 revision, std::unique_ptr<XmlPackedDocument> packed);
    static size_t bytesOf(const XmlStorage& storage);
    // Whether a whole-document step keeps `doc` packed.
    bool packs(const Step& step, const XmlDocumentObject& document) const;
    // Gives `step` the document it brings back, packed or as it is.
    void keep(Step& step, XmlDocument replaced, bool pack);
    void dropMadeOn(const Step& step, bool backwards);
    void dropRedo();
    void dropOldest(size_t count);
    void enforceLimit();
    void forget();
    // Steps made since the history began, silent ones not counted: a silent step changes nothing
    // a save would write differently.
    size_t position() const;

    std::weak_ptr<XmlDocumentObject> m_owner;
    Steps m_undo;
    Steps m_redo;
    std::unique_ptr<Step> m_open;
    int m_depth = 0;
    bool m_broken = false; // a change on another document was made while the step was open
    size_t m_dropped = 0;  // the oldest steps dropped (not silent), so positions stay comparable
    long long m_saved = 0; // the position that was saved; -1 when no undo or redo reaches it
    size_t m_total = 0;
    size_t m_limit = 0; // 0: none
    size_t m_packAbove = size_t(128) << 20;
    std::function<void(const std::function<void()>&)> m_readBackRunner;
};

// A command's step: the changes made while the outermost scope on a document is open form one
// undo step. Scopes opened inside it join it.
class XmlChangeStep {
public:
    // With `joinNewest`, the changes go into the newest step (which keeps its caption) when it is
    // one of this document's and nothing was undone since: the name typed into the item an insert
    // just made is part of the insert.
    XmlChangeStep(const XmlDocument& document, const QString& caption, bool joinNewest = false);
    // Without commit() the outermost scope keeps nothing. The XML layer changes nothing when it
    // refuses, so a refused command recorded nothing; if something was recorded all the same,
    // the document changed with no step to undo it, and the history ends there.
    ~XmlChangeStep();
    XmlChangeStep(const XmlChangeStep&) = delete;
    XmlChangeStep& operator=(const XmlChangeStep&) = delete;

    // Keeps the step, when it changed anything. In an inner scope the outermost one decides.
    void commit();
    // Undoes what was changed since this scope was opened, for a command that failed half-way.
    void rollBack();

private:
    std::shared_ptr<XmlHistory> m_history;
    size_t m_mark = 0;
    bool m_outer = false;
    bool m_joined = false;
    bool m_done = false;
};
