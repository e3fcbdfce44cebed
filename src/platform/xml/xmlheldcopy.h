#pragma once

#include "platform/xml/xmldocument.h"

#include <functional>
#include <memory>

struct XmlStorage;
struct XmlGateReader;

// A copy of a document as it is at the moment this is made, taken later on any thread. Until the
// copy is taken (or this is dropped), every change to the document waits, so the copy is the
// document of that moment even when a change is asked for before it is taken. Taking the copy
// only reads the document, so a recovery copy may be written from it at the same time.
class XmlHeldCopy {
public:
    // On the user-interface thread.
    explicit XmlHeldCopy(const XmlDocument& document);
    ~XmlHeldCopy();
    XmlHeldCopy(const XmlHeldCopy&) = delete;
    XmlHeldCopy& operator=(const XmlHeldCopy&) = delete;

    // The copy, once; changes go on from here. Throws XmlError when memory runs out. A quick copy
    // is made on two threads and is larger: for a reader that drops it soon.
    enum class Copy { Compact, Quick };
    XmlDocument take(Copy kind = Copy::Compact);
    // Instead of a copy: writes the document's text (its serialisation, as UTF-8) straight from
    // it when writing needs nothing in it changed for the time, which holds for most documents;
    // changes go on once it is written. False, with nothing written and the copy still to take,
    // otherwise.
    bool writeInPlace(const std::function<bool(const char*, int)>& sink);

private:
    void release();

    std::shared_ptr<XmlStorage> m_storage;
    std::shared_ptr<XmlGateReader> m_reader;
};
