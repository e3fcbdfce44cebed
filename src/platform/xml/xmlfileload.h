#pragma once

#include "platform/work/asidework.h"
#include "platform/xml/xmlparseerror.h"

#include <QString>
#include <functional>
#include <memory>

namespace xmlimpl {
struct ParsedDocument;
}

// Parses a file aside, so that the window stays alive while a big file is read: the
// user-interface thread waits for job() (how far it got is its progress, in bytes), may stop it,
// and once it has finished hands the result to XmlDocument::load(XmlFileLoad&). libxml2 parses
// separate documents on separate threads safely, and keeps its error handlers per thread.
class XmlFileLoad {
public:
    // A file is read as XML, in the encoding it declares (XmlDocument::load); a text as UTF-8
    // text whatever its declaration says (XmlDocument::loadXML of its content).
    enum class Kind { File, Utf8Text };
    explicit XmlFileLoad(const QString& path, Kind kind = Kind::File);
    // An unfinished parse is stopped and ends on its own thread, which frees what it built.
    ~XmlFileLoad();
    XmlFileLoad(const XmlFileLoad&) = delete;
    XmlFileLoad& operator=(const XmlFileLoad&) = delete;

    AsideWork& job() { return *m_job; }
    bool finished() const;
    // The file's size when the parse started.
    qint64 totalBytes() const;
    // Makes the parse end at its next read, without a result.
    void stop();

    // For XmlDocument::load: the parsed document, owned by the caller from now on.
    xmlimpl::ParsedDocument take(XmlParseError& error);

    // For tests: runs on the worker before it starts to read, so a test can hold the parse.
    static void SetBeforeParseHook(std::function<void()> hook);

private:
    struct State;
    std::shared_ptr<State> m_state;
    std::shared_ptr<AsideWork> m_job;
};
