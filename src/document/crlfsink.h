#pragma once

#include <QByteArray>
#include <functional>

// Passes text on with every line break made CR LF (a CR LF pair, a lone CR and a lone LF alike),
// as the text view holds it, in pieces of up to 64 KB. A CR at the end of one piece is paired
// with an LF at the start of the next.
class CrLfSink {
public:
    using Sink = std::function<bool(const char*, int)>;
    explicit CrLfSink(Sink out) : m_out(std::move(out)) { m_buffer.reserve(kPiece + 2); }

    // False once the receiver has refused a piece.
    bool write(const char* data, int len);
    // Hands on what is still buffered.
    bool finish();
    // As a sink for the serialiser.
    Sink asSink() {
        return [this](const char* data, int len) { return write(data, len); };
    }

    // The whole conversion at once, for short texts.
    static QByteArray converted(QByteArrayView text);

private:
    static constexpr int kPiece = 64 * 1024;

    Sink m_out;
    QByteArray m_buffer;
    bool m_afterCr = false;
    bool m_ok = true;
};
