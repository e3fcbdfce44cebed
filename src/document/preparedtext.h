#pragma once

#include "platform/xml/xmldocument.h"

#include <QByteArray>
#include <QList>
#include <exception>
#include <functional>
#include <memory>

// The text view's text of a Document (its serialisation as UTF-8, every line break CR LF), made on
// a worker thread from a copy of the Document as it is when preparing starts. A change to the
// Document waits only while the copy is being made (a read-only pass over it); afterwards the
// Document is free again and the text is written from the copy, which is then freed there too.
class PreparedText {
public:
    // Copying: reading the Document (writing straight from it, or copying it); Writing: writing
    // from the copy.
    enum class Stage { Copying, Writing };
    using Pieces = QList<QByteArray>;

    static std::shared_ptr<PreparedText> Start(const XmlDocument& document);
    ~PreparedText();
    PreparedText(const PreparedText&) = delete;
    PreparedText& operator=(const PreparedText&) = delete;

    bool IsReady() const;
    // Waits until the text is ready and hands it over in pieces (once); throws what preparing
    // threw.
    Pieces Take();
    // For tests: called on the worker as each stage begins, so a test can hold the worker there.
    static void SetStageHook(std::function<void(Stage)> hook);

private:
    struct State;
    explicit PreparedText(std::shared_ptr<State> state) : m_state(std::move(state)) {}
    std::shared_ptr<State> m_state;
};
