#include "platform/xml/xmlpackeddocument.h"

#include "platform/work/asidework.h"
#include "platform/work/memoryahead.h"
#include "platform/xml/xmlerror.h"
#include "platform/xml/xmlplainwriter.h"
#include "platform/xml/xmlsourcewrite.h"
#include "platform/xml/xmlstorage.h"

#include <QByteArray>

#include <exception>
#include <mutex>
#include <utility>
#include <vector>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

using namespace xmlimpl;

namespace {

using PackHook = std::function<void(const std::atomic<bool>&)>;

// Set by a test on its thread while a worker of an earlier test may still start: taken and
// replaced under a lock, and called from a copy.
std::mutex& hookMutex() {
    static std::mutex mutex;
    return mutex;
}

PackHook& beforePackHook() {
    static PackHook hook;
    return hook;
}

PackHook currentHook() {
    std::lock_guard<std::mutex> lock(hookMutex());
    return beforePackHook();
}

// Compressed in pieces as the writer hands the text over, so the whole text is never held.
constexpr qsizetype kPiece = 1 << 20;

// Nothing waits for the packing: it gives way to the threads that someone waits for.
void yieldToOthers() {
#ifdef __linux__
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
#endif
}

XmlDocument unpack(const std::vector<QByteArray>& pieces, const QByteArray& plain,
                   qsizetype textBytes, const XmlSource* source) {
    QByteArray text = plain;
    if (pieces.size() || text.isNull()) {
        text.reserve(textBytes);
        for (const QByteArray& piece : pieces)
            text += qUncompress(piece);
    }
    if (text.size() != textBytes)
        throw XmlError(QStringLiteral("The document kept for undo could not be unpacked."));
    XmlDocument document = XmlDocument::create();
    if (!document.loadUtf8(text))
        throw XmlError(QStringLiteral("The document kept for undo could not be read back: %1")
                           .arg(document.parseError().reason));
    if (source) {
        document.keepSourceText(text);
        XmlStorage& storage = *document.asNode().storage();
        std::lock_guard<std::mutex> lock(storage.sourceMutex);
        storage.source.bom = source->bom;
        storage.source.encoding = source->encoding;
    }
    return document;
}

} // namespace

struct XmlPackedDocument::State {
    std::mutex mutex;
    XmlDocument document; // until packed
    std::vector<QByteArray> pieces;
    QByteArray plain; // the text as it is, instead of pieces
    qsizetype textBytes = 0;
    bool overSource = false; // the text is the document written over its source
    XmlSource source;        // that source's byte order mark and encoding
    bool packed = false;
    std::shared_ptr<XmlGateReader> reader;
    std::shared_ptr<AsideWork> worker;
};

XmlPackedDocument::XmlPackedDocument(XmlDocument document) : m_state(std::make_shared<State>()) {
    State& state = *m_state;
    state.document = std::move(document);
    std::shared_ptr<XmlStorage> storage = state.document.asNode().storage();
    state.reader = storage->readerGate.begin(true);
    state.worker = AsideWork::Start([&state, storage = std::move(storage)]() mutable {
        yieldToOthers();
        if (const PackHook hook = currentHook())
            hook(state.reader->stop);
        std::vector<QByteArray> pieces;
        qsizetype textBytes = 0;
        QByteArray piece;
        const auto compress = [&] {
            pieces.push_back(qCompress(piece, 1));
            textBytes += piece.size();
            piece.clear();
        };
        const auto sink = [&](const char* data, int len) {
            if (state.reader->stop.load())
                return false;
            piece.append(data, len);
            if (piece.size() >= kPiece)
                compress();
            return true;
        };
        // A document written over its source is kept as that text, so that it comes back with
        // the same layout; any other as plain markup.
        bool overSource = false;
        bool written = false;
        try {
            overSource = writeOverSource(*storage, sink);
            written = overSource;
        } catch (const XmlError&) {
            overSource = true; // stopped
        }
        XmlSource kept;
        if (overSource) {
            std::lock_guard<std::mutex> lock(storage->sourceMutex);
            kept.bom = storage->source.bom;
            kept.encoding = storage->source.encoding;
        } else {
            written = writePlain(*storage, sink, state.reader->stop);
        }
        storage->readerGate.end(state.reader);
        if (!written)
            return;
        if (!piece.isEmpty())
            compress();
        XmlDocument gone;
        {
            std::lock_guard<std::mutex> lock(state.mutex);
            state.pieces = std::move(pieces);
            state.textBytes = textBytes;
            state.overSource = overSource;
            state.source = kept;
            state.packed = true;
            gone = std::move(state.document);
        }
        storage.reset();
        // Freed here, where it keeps no window waiting, when this was the last hold on it.
        gone = XmlDocument();
        ReturnFreedMemory();
    });
}

XmlPackedDocument::XmlPackedDocument(XmlDocument document, const QByteArray& text, bool overSource)
    : m_state(std::make_shared<State>()) {
    State& state = *m_state;
    state.plain = text;
    state.textBytes = text.size();
    state.overSource = overSource;
    if (overSource) {
        const XmlStorage& storage = *document.asNode().storage();
        std::lock_guard<std::mutex> lock(storage.sourceMutex);
        state.source.bom = storage.source.bom;
        state.source.encoding = storage.source.encoding;
    }
    state.packed = true;
    state.worker = AsideWork::Start([document = std::move(document)]() mutable {
        yieldToOthers();
        document = XmlDocument();
        ReturnFreedMemory();
    });
}

// Not waited for: what the worker has done so far is dropped.
XmlPackedDocument::~XmlPackedDocument() {
    if (m_state->reader)
        m_state->reader->stop.store(true);
    finish();
}

void XmlPackedDocument::SetBeforePackHook(PackHook hook) {
    std::lock_guard<std::mutex> lock(hookMutex());
    beforePackHook() = std::move(hook);
}

bool XmlPackedDocument::finish() {
    if (const std::shared_ptr<AsideWork> worker = std::exchange(m_state->worker, nullptr))
        worker->Wait();
    return m_state->packed;
}

qint64 XmlPackedDocument::textBytes() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->packed ? m_state->textBytes : 0;
}

XmlDocument XmlPackedDocument::take(bool* readBack, const Runner& run) {
    State& state = *m_state;
    // The worker either stops before it has the whole text, or has finished and freed the
    // document: what it leaves is one or the other.
    if (state.reader)
        state.reader->stop.store(true);
    finish();
    if (readBack)
        *readBack = state.packed;
    if (!state.packed)
        return std::exchange(state.document, XmlDocument());
    XmlDocument document;
    std::exception_ptr failure;
    const auto work = [&] {
        try {
            document = unpack(state.pieces, state.plain, state.textBytes,
                              state.overSource ? &state.source : nullptr);
        } catch (...) {
            failure = std::current_exception();
        }
    };
    run ? run(work) : work();
    // The pieces stay until the document is back, so a failure loses nothing.
    if (failure)
        std::rethrow_exception(failure);
    state.pieces.clear();
    state.plain = QByteArray();
    state.packed = false;
    return document;
}
