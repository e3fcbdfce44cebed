// Reading back parts of the source: bounded, and decoded as libxml2 decoded it.

#include "platform/xml/xmlsourcetext.h"

#include <QByteArrayView>
#include <QIODevice>

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace xmlimpl {
namespace {

bool isUtf8(const QByteArray& encoding) {
    const QByteArray e = encoding.toUpper().replace('-', "").replace('_', "");
    return e.isEmpty() || e == "UTF8";
}

// Turns chunks of source bytes into UTF-8. A character split between two chunks is completed by
// the next one; undecodable bytes become U+FFFD, as a report should still show the rest.
class SourceDecoder {
public:
    explicit SourceDecoder(const QByteArray& encoding) {
        if (!isUtf8(encoding))
            m_converter = iconv_open("UTF-8", encoding.constData());
    }
    ~SourceDecoder() {
        if (converting())
            iconv_close(m_converter);
    }
    SourceDecoder(const SourceDecoder&) = delete;
    SourceDecoder& operator=(const SourceDecoder&) = delete;

    QByteArray decode(const QByteArray& chunk) {
        if (!converting())
            return chunk; // UTF-8, or an encoding iconv lacks: shown as it is
        m_pending += chunk;
        QByteArray out;
        char* in = m_pending.data();
        size_t inLeft = static_cast<size_t>(m_pending.size());
        char buffer[4096];
        while (inLeft > 0) {
            char* o = buffer;
            size_t outLeft = sizeof buffer;
            const size_t done = iconv(m_converter, &in, &inLeft, &o, &outLeft);
            out.append(buffer, static_cast<qsizetype>(sizeof buffer - outLeft));
            if (done != static_cast<size_t>(-1) || errno == E2BIG)
                continue;
            if (errno == EINVAL)
                break; // the rest of the character comes with the next chunk
            out.append("\xEF\xBF\xBD");
            ++in;
            --inLeft;
        }
        m_pending = m_pending.right(static_cast<qsizetype>(inLeft));
        return out;
    }

private:
    bool converting() const { return m_converter != reinterpret_cast<iconv_t>(-1); }
    iconv_t m_converter = reinterpret_cast<iconv_t>(-1);
    QByteArray m_pending;
};

constexpr qsizetype kHalfWindow = 200;

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Where the document type declaration lies in the decoded start of a document known to be
// well-formed, so a plain scan of its prolog suffices.
enum class Scan { Found, NeedMore, Absent };

Scan findDoctype(QByteArrayView s, qsizetype& begin, qsizetype& end) {
    qsizetype i = s.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    auto skipPast = [&](QByteArrayView terminator) {
        const qsizetype at = s.indexOf(terminator, i);
        if (at < 0)
            return false;
        i = at + terminator.size();
        return true;
    };
    auto at = [&](QByteArrayView token) { return s.sliced(i).startsWith(token); };
    constexpr QByteArrayView doctype("<!DOCTYPE");
    for (;;) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n'))
            ++i;
        if (at(doctype))
            break;
        if (s.size() - i < doctype.size() && doctype.startsWith(s.sliced(i)))
            return Scan::NeedMore;
        if (at("<?")) {
            if (!skipPast("?>"))
                return Scan::NeedMore;
        } else if (at("<!--")) {
            if (!skipPast("-->"))
                return Scan::NeedMore;
        } else {
            return Scan::Absent;
        }
    }
    begin = i;
    i += doctype.size();
    bool inSubset = false;
    while (i < s.size()) {
        const char c = s[i];
        if (inSubset && at("<!--")) {
            if (!skipPast("-->"))
                return Scan::NeedMore;
        } else if (inSubset && at("<?")) {
            if (!skipPast("?>"))
                return Scan::NeedMore;
        } else if (c == '"' || c == '\'') {
            const qsizetype close = s.indexOf(c, i + 1);
            if (close < 0)
                return Scan::NeedMore;
            i = close + 1;
        } else {
            if (c == '[')
                inSubset = true;
            else if (c == ']')
                inSubset = false;
            else if (c == '>' && !inSubset) {
                end = i + 1;
                return Scan::Found;
            }
            ++i;
        }
    }
    return Scan::NeedMore;
}

} // namespace

QString sourceLineAt(QIODevice& source, const QByteArray& encoding, int line, int column) {
    if (line < 1)
        return {};
    // Characters [first, last) of the line are kept; the cut around the column comes after.
    const qsizetype first = qMax<qsizetype>(0, column - 1 - 2 * kHalfWindow);
    const qsizetype last = qMax<qsizetype>(0, column - 1) + 2 * kHalfWindow;
    SourceDecoder decoder(encoding);
    int current = 1;
    qsizetype chars = 0; // characters of the error line seen so far
    QByteArray kept;
    bool done = false;
    while (!done && !source.atEnd()) {
        const QByteArray chunk = decoder.decode(source.read(1024 * 1024));
        const char* at = chunk.constData();
        const char* const end = at + chunk.size();
        // The lines before the error's are only counted.
        while (current < line && at < end) {
            const void* found = std::memchr(at, '\n', static_cast<size_t>(end - at));
            if (!found) {
                at = end;
                break;
            }
            at = static_cast<const char*>(found) + 1;
            ++current;
        }
        for (; at < end; ++at) {
            const char c = *at;
            if (c == '\n') {
                done = true;
                break;
            }
            if (!isContinuationByte(c))
                ++chars;
            if (chars > last) {
                done = true;
                break;
            }
            if (chars > first)
                kept.append(c);
        }
    }
    if (current < line)
        return {};
    QString result = QString::fromUtf8(kept);
    if (result.endsWith(QLatin1Char('\r')))
        result.chop(1);
    // A whole megabyte-long line helps nobody in a message: keep the part around the error.
    if (result.size() > 2 * kHalfWindow) {
        const qsizetype at = qMin<qsizetype>(column - first, result.size());
        const qsizetype from = qMax<qsizetype>(0, at - kHalfWindow);
        result = result.mid(from, 2 * kHalfWindow);
    }
    return result;
}

QByteArray doctypeTextIn(QIODevice& source, const QByteArray& encoding) {
    SourceDecoder decoder(encoding);
    QByteArray text;
    qsizetype chunk = 4096; // growing, so that scanning again after each chunk stays linear
    while (!source.atEnd()) {
        text += decoder.decode(source.read(chunk));
        chunk *= 2;
        qsizetype begin = 0, end = 0;
        switch (findDoctype(text, begin, end)) {
        case Scan::Found:
            // The parser reads every line break as LF; so does the rest of the saved file.
            return text.mid(begin, end - begin).replace("\r\n", "\n").replace('\r', '\n');
        case Scan::Absent:
            return {};
        case Scan::NeedMore:
            break;
        }
    }
    return {};
}

} // namespace xmlimpl
