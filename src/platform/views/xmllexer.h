#pragma once

#include <Qsci/qscilexercustom.h>
#include <Qsci/qscilexerxml.h>

#include "platform/views/xmlstyling.h"

#include <QMetaObject>
#include <cstdint>
#include <vector>

// The text view's highlighting: QScintilla's XML colours (`XmlStyle`), styled by the view itself
// so that the part of a large text that is shown can be styled without everything before it.
// QScintilla keeps one mark, the end of what is styled; a jump far past it (Ctrl+End, the end of
// a 100 MB text) styles only the lines near the target and remembers the lines passed over as
// gaps, styled when they come into view. A line's style depends on the state the text before it
// leaves: the lexer keeps that state at places it styled (checkpoints, every 64 KB and where a
// styling ended) and reads the text from the nearest one; with none within a bounded stretch before
// the line, it reads that stretch from a guessed state. An edit drops what lies after it.
//
// Fold levels depend on all the text before a line, so while they are kept every styling goes on
// from where the last one ended; the view keeps them for texts of moderate size only.
class XmlLexer : public QsciLexerCustom {
    Q_OBJECT
public:
    explicit XmlLexer(QObject* parent = nullptr);

    const char* language() const override { return "XML"; }
    QString description(int style) const override;
    QColor defaultColor(int style) const override;
    QColor defaultPaper(int style) const override;
    QFont defaultFont(int style) const override;
    bool defaultEolFill(int style) const override;
    void setEditor(QsciScintilla* editor) override;
    void styleText(int start, int end) override;

    // The colours over `palette`'s base: QScintilla's XML colours where they are readable there,
    // else shades of them that are.
    void FollowPalette(const QPalette& palette);

    void setFoldLevels(bool kept);
    bool foldLevels() const { return m_foldLevels; }

    // A jump at least this far past the styled text leaves a gap.
    static constexpr std::int64_t kReach = 64 << 10;
    // How far before a line the text is read, at most, to find the state the line starts in.
    static constexpr std::int64_t kLookBack = 256 << 10;
    static constexpr std::int64_t kCheckpointSpacing = 64 << 10;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Gap {
        std::int64_t from;
        std::int64_t to;
    };
    struct Checkpoint {
        std::int64_t position;
        XmlStyleCarry carry;
    };

    void styleNeeded(std::int64_t position);
    void styleLines(std::int64_t from, std::int64_t to);
    void styleShownGaps();
    XmlStyleCarry carryAt(std::int64_t lineStart);
    void addCheckpoint(std::int64_t position, const XmlStyleCarry& carry);
    void forgetAfter(std::int64_t position);
    void addGap(std::int64_t from, std::int64_t to);
    void removeGaps(std::int64_t from, std::int64_t to);
    std::int64_t lineStart(std::int64_t position) const;
    std::int64_t nextLineStart(std::int64_t position) const;
    long send(unsigned int message, unsigned long wParam = 0, long lParam = 0) const;

    QsciLexerXML m_colours;
    bool m_foldLevels = true;
    std::vector<Gap> m_gaps;
    std::vector<Checkpoint> m_checkpoints; // by position
    std::vector<char> m_styles;
    QMetaObject::Connection m_styleNeeded;
    QMetaObject::Connection m_modified;
};
