#pragma once

#include "platform/xml/xmldocument.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <exception>
#include <functional>
#include <memory>

// The text view's text of a Document (its serialisation as UTF-8, every line break CR LF), made on
// a worker thread from a copy of the Document as it is when preparing starts. A change to the
// Document waits only while the copy is being made (a read-only pass over it); afterwards the
// Document is free again and the text is written from the copy, which is then freed there too.
// Started against a text already shown, it prepares the text only when it differs from that.
class PreparedText {
public:
    // Copying: reading the Document (writing straight from it, or copying it); Writing: writing
    // from the copy.
    enum class Stage { Copying, Writing };
    using Pieces = QList<QByteArray>;
    using ShownReader = std::function<void(QByteArrayView shown)>;

    static std::shared_ptr<PreparedText> Start(const XmlDocument& document);
    // Compares the text with `shown` as it is written and keeps it only when they differ. `shown`
    // is read in place: it must not change until this is ready or abandoned. `onReady` is called
    // on the worker once the answer is there.
    static std::shared_ptr<PreparedText> StartUnlessShown(const XmlDocument& document,
                                                          QByteArrayView shown,
                                                          std::function<void()> onReady);
    ~PreparedText();
    PreparedText(const PreparedText&) = delete;
    PreparedText& operator=(const PreparedText&) = delete;

    bool IsReady() const;
    // Waits until the text is ready and hands it over in pieces (once); throws what preparing
    // threw.
    Pieces Take();
    // After Take(): whether the text is exactly the shown text (no pieces then).
    bool Matched() const;
    // Started against a shown text: `read` gets that text on the worker once it turned out to be
    // the text (where it is called, waiting for the answer, when the worker is past that point);
    // not at all when it differs, preparing failed or was abandoned.
    void ThenReadShown(ShownReader read);
    // Stops the worker at its next piece and waits until it reads nothing any more and is past
    // calling `onReady`.
    void Abandon();
    // For tests: called on the worker as each stage begins, so a test can hold the worker there.
    static void SetStageHook(std::function<void(Stage)> hook);

private:
    struct State;
    explicit PreparedText(std::shared_ptr<State> state) : m_state(std::move(state)) {}
    static std::shared_ptr<PreparedText> start(const XmlDocument& document, QByteArrayView shown,
                                               bool comparing, std::function<void()> onReady);
    std::shared_ptr<State> m_state;
};
