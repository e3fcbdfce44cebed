// Replace's matching on plain text: literal texts, whole words, case, regular expressions with
// their groups in the replacement, line ends of both kinds, and the same on UTF-8 text.

#include "document/textsearch.h"

#include <gtest/gtest.h>

namespace {

std::string str(const QString& s) {
    return s.toStdString();
}

TEST(TextSearch, ReplacesEveryMatchAsTheOptionsSay) {
    const struct {
        const char* find;
        bool matchCase, wholeWord, regex;
        const char* text;
        const char* with;
        const char* result;
        qint64 count;
    } rows[] = {
        {"cat", false, false, false, "cat Cat concat", "dog", "dog dog condog", 3},
        {"cat", true, false, false, "cat Cat concat", "dog", "dog Cat condog", 2},
        {"cat", true, true, false, "cat Cat concat", "dog", "dog Cat concat", 1},
        {"cat", false, true, false, "cat_x cat-x (cat)", "dog", "cat_x dog-x (dog)", 2},
        {"a.b", false, false, false, "a.b axb", "c", "c axb", 1},        // a text, not a pattern
        {"\\1", false, false, false, "x\\1y", "\\2", "x\\2y", 1},        // groups only in patterns
        {"(\\w+)@(\\w+)", true, false, true, "me@host, you@there", "\\2 at \\1",
         "host at me, there at you", 2},
        {"x(\\d)", true, false, true, "x1 x2", "[\\0|\\\\|\\1]", "[x1|\\|1] [x2|\\|2]", 2},
        {"a*", true, false, true, "baac", "-", "-b--c-", 4},               // empty matches too
        {"^\\s*#.*$", true, false, true, "a\r\n  # c\r\nb\n# d", "", "a\r\n\r\nb\n", 2},
        {"x$", true, false, true, "ax\r\nbx\rcx", "y", "ay\r\nby\rcy", 3}, // any line end
        {"é", false, false, false, "éÉe", "E", "EEe", 2},               // case beyond ASCII
        {"über", false, true, false, "Über überall", "x", "x überall", 1}, // words beyond ASCII
        {"a|b", true, true, true, "a ab b", "c", "c ab c", 2},             // the word holds all
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.find);
        const TextSearch search({QString::fromUtf8(row.find), row.matchCase, row.wholeWord,
                                 row.regex});
        ASSERT_EQ(str(search.Problem()), "");
        qint64 count = -1;
        const QString text = QString::fromUtf8(row.text);
        const QString with = QString::fromUtf8(row.with);
        EXPECT_EQ(str(search.ReplaceAll(text, with, count)), row.result);
        EXPECT_EQ(count, row.count);
        const std::optional<QByteArray> utf8 = search.ReplaceAllUtf8(text.toUtf8(), with, count);
        ASSERT_TRUE(utf8);
        EXPECT_EQ(utf8->toStdString(), row.result);
        EXPECT_EQ(count, row.count);
    }
}

TEST(TextSearch, SaysWhyAPatternCannotBeUsed) {
    EXPECT_EQ(str(TextSearch({QString(), false, false, false}).Problem()),
              "Please enter text to find.");
    const QString problem = TextSearch({QStringLiteral("a(b"), false, false, true}).Problem();
    EXPECT_TRUE(problem.startsWith(QStringLiteral("The regular expression is not valid: ")))
        << str(problem);
    EXPECT_EQ(str(TextSearch({QStringLiteral("a(b"), false, false, false}).Problem()), "");
}

// The selection is replaced only when it is a match where it stands: the text around it counts.
TEST(TextSearch, TheSelectionIsAMatchOnlyInItsPlace) {
    const TextSearch search({QStringLiteral("cat"), true, true, false});
    const QString text = QStringLiteral("cat concat");
    EXPECT_TRUE(search.MatchExactly(text, 0, 3));
    EXPECT_FALSE(search.MatchExactly(text, 7, 10)) << "part of a word";
    EXPECT_FALSE(search.MatchExactly(text, 0, 2));
    EXPECT_EQ(search.MatchFrom(text, 1).capturedStart(), -1);
}

TEST(TextSearch, Utf8TextIsCountedInBytesAndCanBeStopped) {
    for (const char* text : {"", "a", "é", "€", "😀", "aé€😀z"})
        EXPECT_EQ(Utf8Length(QString::fromUtf8(text)), qsizetype(strlen(text))) << text;
    const TextSearch search({QStringLiteral("x"), true, false, false});
    QByteArray big((1 << 20) + 1000, 'x');
    WorkProgress progress;
    qint64 count = 0;
    ASSERT_TRUE(search.ReplaceAllUtf8(big, QStringLiteral("y"), count, &progress));
    EXPECT_EQ(count, big.size());
    EXPECT_EQ(progress.done.load(), big.size());
    // Texts longer than one piece: the same as replacing the whole text at once.
    QString lines;
    for (int i = 0; lines.size() < (5 << 20); ++i)
        lines += QStringLiteral("<é n=\"%1\">cat%1 cat Cat_</é>\r\n").arg(i);
    for (const TextPattern& pattern :
         {TextPattern{QStringLiteral("cat"), false, true, false},
          TextPattern{QStringLiteral("\\d+\"(>)"), true, false, true}}) {
        const TextSearch s(pattern);
        qint64 whole = 0, pieces = 0;
        const QByteArray expected = s.ReplaceAll(lines, QStringLiteral("\\1ü"), whole).toUtf8();
        EXPECT_EQ(s.ReplaceAllUtf8(lines.toUtf8(), QStringLiteral("\\1ü"), pieces), expected);
        EXPECT_EQ(pieces, whole);
        EXPECT_GT(whole, 100000);
    }
    // Bytes that are no UTF-8 come out as the replacement character, as the view would show them.
    EXPECT_EQ(search.ReplaceAllUtf8("a\xff" "x", QStringLiteral("y"), count),
              QByteArray("a\xef\xbf\xbd" "y"));
    WorkProgress stopped;
    stopped.stop = true;
    EXPECT_FALSE(search.ReplaceAllUtf8(big, QStringLiteral("y"), count, &stopped));
}

} // namespace
