// The caret's place is read backwards from it: markup ends at a ">" and starts at the "<" before
// it, since neither text nor attribute values hold a "<". Comments, CDATA sections and
// processing instructions, which may hold both, are stepped over whole from their end. Reading
// stops as soon as the caller knows enough, so a place deep in a large text costs only the
// markup between it and the nearest element whose name tells all.

#include "document/markupplace.h"

#include "document/markuptokens.h"

#include <cstring>
#include <string_view>

namespace {

using View = std::string_view;

// Comments and the like are looked for this far back: one longer than this around the caret is
// taken for text.
constexpr qsizetype kInsideWindow = 64 * 1024;

bool isNameChar(char c) {
    return !Markup::isBlank(c) && !std::strchr("<>/=\"'!?", c) && c != '\0';
}

QByteArray bytes(View v) {
    return QByteArray(v.data(), static_cast<qsizetype>(v.size()));
}

qsizetype nameEnd(View t, qsizetype from, qsizetype limit) {
    while (from < limit && isNameChar(t[static_cast<size_t>(from)]))
        ++from;
    return from;
}

QByteArray nameFrom(View t, qsizetype from, qsizetype limit) {
    return bytes(
        t.substr(static_cast<size_t>(from), static_cast<size_t>(nameEnd(t, from, limit) - from)));
}

// Whether the caret is inside markup that may hold "<" and ">": `open` last seen after `close`.
bool insideUnclosed(View t, qsizetype caret, View open, View close) {
    const qsizetype from = std::max<qsizetype>(0, caret - kInsideWindow);
    const View window = t.substr(static_cast<size_t>(from), static_cast<size_t>(caret - from));
    const size_t opened = window.rfind(open);
    if (opened == View::npos)
        return false;
    const size_t closed = window.rfind(close);
    return closed == View::npos || closed < opened;
}

struct Attribute {
    QByteArray name;
    QByteArray value;
};

// The attributes of a start tag running from after its name to `end` (its ">" or the caret).
QList<Attribute> attributesIn(View t, qsizetype from, qsizetype end) {
    QList<Attribute> found;
    qsizetype at = from;
    while (at < end) {
        while (at < end && Markup::isBlank(t[static_cast<size_t>(at)]))
            ++at;
        const qsizetype nameStop = nameEnd(t, at, end);
        if (nameStop == at) {
            ++at;
            continue;
        }
        Attribute a{bytes(t.substr(static_cast<size_t>(at), static_cast<size_t>(nameStop - at))),
                    {}};
        at = nameStop;
        while (at < end && Markup::isBlank(t[static_cast<size_t>(at)]))
            ++at;
        if (at < end && t[static_cast<size_t>(at)] == '=') {
            ++at;
            while (at < end && Markup::isBlank(t[static_cast<size_t>(at)]))
                ++at;
            if (at < end &&
                (t[static_cast<size_t>(at)] == '"' || t[static_cast<size_t>(at)] == '\'')) {
                const char quote = t[static_cast<size_t>(at)];
                const size_t close = t.find(quote, static_cast<size_t>(at) + 1);
                const qsizetype valueEnd =
                    close == View::npos ? end
                                        : std::min<qsizetype>(static_cast<qsizetype>(close), end);
                a.value = bytes(
                    t.substr(static_cast<size_t>(at) + 1, static_cast<size_t>(valueEnd - at - 1)));
                at = valueEnd + 1;
            }
        }
        found.append(a);
    }
    return found;
}

MarkupPlace::Namespaces namespacesIn(const QList<Attribute>& attributes) {
    MarkupPlace::Namespaces declared;
    for (const Attribute& a : attributes) {
        if (a.name == "xmlns")
            declared.append({QByteArray(), a.value});
        else if (a.name.startsWith("xmlns:"))
            declared.append({a.name.mid(6), a.value});
    }
    return declared;
}

MarkupPlace::Namespaces namespacesOfTag(View t, qsizetype lt, qsizetype end) {
    const qsizetype nameStop = nameEnd(t, lt + 1, end);
    return namespacesIn(attributesIn(t, nameStop, end));
}

// Siblings mostly repeat a few names: a name like the one before shares its bytes.
void prependSibling(QList<QByteArray>& before, View t, qsizetype from, qsizetype limit) {
    const qsizetype end = nameEnd(t, from, limit);
    const QByteArrayView name(t.data() + from, end - from);
    if (!before.isEmpty() && before.first() == name)
        before.prepend(before.first());
    else
        before.prepend(name.toByteArray());
}

// Walks back from `from` over the markup before it: the siblings before the place (while no
// element is open yet), then the open elements up to the document element or `enough`.
void walkBack(View t, qsizetype from, bool siblings, MarkupPlace& place,
              const std::function<bool(const QList<MarkupPlace::Open>&)>& enough) {
    const char* s = t.data();
    qsizetype p = from;
    int depth = 0;
    auto jumpTo = [&](qsizetype gt, View open) {
        const size_t at = t.rfind(open, static_cast<size_t>(gt));
        p = at == View::npos ? 0 : static_cast<qsizetype>(at);
    };
    while (p > 0) {
        const void* g = memrchr(s, '>', static_cast<size_t>(p));
        if (!g)
            break;
        const qsizetype gt = static_cast<const char*>(g) - s;
        if (gt >= 2 && s[gt - 1] == '-' && s[gt - 2] == '-') {
            jumpTo(gt, "<!--");
            continue;
        }
        if (gt >= 2 && s[gt - 1] == ']' && s[gt - 2] == ']') {
            jumpTo(gt, "<![CDATA[");
            continue;
        }
        if (gt >= 1 && s[gt - 1] == '?') {
            jumpTo(gt, "<?");
            continue;
        }
        const void* l = memrchr(s, '<', static_cast<size_t>(gt));
        if (!l)
            break;
        const qsizetype lt = static_cast<const char*>(l) - s;
        p = lt;
        const char kind = s[lt + 1];
        if (kind == '/') {
            if (depth == 0 && siblings)
                prependSibling(place.before, t, lt + 2, gt);
            ++depth;
            continue;
        }
        if (kind == '!') {
            if (View(s + lt, static_cast<size_t>(gt - lt)).starts_with("<!DOCTYPE"))
                break;
            continue;
        }
        if (kind == '?')
            continue;
        if (s[gt - 1] == '/') {
            if (depth == 0 && siblings)
                prependSibling(place.before, t, lt + 1, gt);
            continue;
        }
        if (depth > 0) {
            --depth;
            continue;
        }
        place.open.append({nameFrom(t, lt + 1, gt), namespacesOfTag(t, lt, gt)});
        siblings = false;
        if (enough && enough(place.open))
            return;
    }
    place.reachedRoot = true;
}

// The sibling elements after the place, up to its parent's end tag.
void walkForward(View t, qsizetype from, MarkupPlace& place) {
    if (from >= static_cast<qsizetype>(t.size()))
        return;
    Markup::Tokens tokens(QByteArrayView(t.data() + from, static_cast<qsizetype>(t.size()) - from));
    Markup::Token token;
    int depth = 0;
    while (place.after.size() < MarkupPlace::kMaxAfter && tokens.next(token)) {
        switch (token.kind) {
        case Markup::Kind::StartTag:
        case Markup::Kind::EmptyTag:
            if (depth == 0)
                place.after.append(bytes(Markup::nameAt(token.begin + 1, token.end)));
            if (token.kind == Markup::Kind::StartTag)
                ++depth;
            break;
        case Markup::Kind::EndTag:
            if (depth-- == 0)
                return;
            break;
        default:
            break;
        }
    }
}

// Reads the start tag that runs from `lt` to the caret: its name being typed, or an attribute's
// name or value.
void inStartTag(View t, qsizetype lt, qsizetype caret, MarkupPlace& place) {
    const qsizetype nameStop = nameEnd(t, lt + 1, caret);
    if (nameStop == caret) {
        place.where = MarkupPlace::Where::ElementName;
        place.typedFrom = lt + 1;
        place.typed = bytes(t.substr(static_cast<size_t>(lt) + 1));
        return;
    }
    qsizetype at = nameStop;
    place.where = MarkupPlace::Where::AttributeName;
    place.typedFrom = caret;
    while (at < caret) {
        const char c = t[static_cast<size_t>(at)];
        if (Markup::isBlank(c)) {
            ++at;
            continue;
        }
        if (c == '/' || c == '>') {
            place.where = MarkupPlace::Where::Elsewhere;
            return;
        }
        const qsizetype nameStop2 = nameEnd(t, at, caret);
        // A quote or "=" where a name should start: no tag can be read on from here.
        if (nameStop2 == at) {
            place.where = MarkupPlace::Where::Elsewhere;
            return;
        }
        const QByteArray name =
            bytes(t.substr(static_cast<size_t>(at), static_cast<size_t>(nameStop2 - at)));
        if (nameStop2 == caret) {
            place.typedFrom = at;
            place.typed = name;
            return;
        }
        at = nameStop2;
        while (at < caret && Markup::isBlank(t[static_cast<size_t>(at)]))
            ++at;
        if (at >= caret) {
            place.where = MarkupPlace::Where::Elsewhere;
            return;
        }
        if (t[static_cast<size_t>(at)] != '=')
            continue;
        ++at;
        while (at < caret && Markup::isBlank(t[static_cast<size_t>(at)]))
            ++at;
        if (at >= caret ||
            (t[static_cast<size_t>(at)] != '"' && t[static_cast<size_t>(at)] != '\'')) {
            place.where = MarkupPlace::Where::Elsewhere;
            return;
        }
        const char quote = t[static_cast<size_t>(at)];
        const size_t close = t.find(quote, static_cast<size_t>(at) + 1);
        if (close == View::npos) {
            place.where = MarkupPlace::Where::AttributeValue;
            place.attribute = name;
            place.typedFrom = at + 1;
            place.typed = bytes(t.substr(static_cast<size_t>(at) + 1));
            return;
        }
        at = static_cast<qsizetype>(close) + 1;
        if (at == caret) {
            // Right after a closing quote there is no room for a name yet.
            place.where = MarkupPlace::Where::Elsewhere;
            return;
        }
    }
}

} // namespace

MarkupPlace ReadMarkupPlace(QByteArrayView textBefore, QByteArrayView textAfter,
                            const std::function<bool(const QList<MarkupPlace::Open>&)>& enough) {
    MarkupPlace place;
    const View t(textBefore.data(), static_cast<size_t>(textBefore.size()));
    const View a(textAfter.data(), static_cast<size_t>(textAfter.size()));
    const qsizetype caret = textBefore.size();
    if (insideUnclosed(t, caret, "<!--", "-->") || insideUnclosed(t, caret, "<![CDATA[", "]]>") ||
        insideUnclosed(t, caret, "<?", "?>"))
        return place;
    const size_t l = t.rfind('<');
    const size_t g = t.rfind('>');
    const qsizetype lt = l == View::npos ? -1 : static_cast<qsizetype>(l);
    const qsizetype gt = g == View::npos ? -1 : static_cast<qsizetype>(g);
    auto children = [&](qsizetype from) {
        walkBack(t, from, true, place, enough);
        const size_t next = a.find('<');
        walkForward(
            a, next == View::npos ? static_cast<qsizetype>(a.size()) : static_cast<qsizetype>(next),
            place);
        place.childOf = place.open.isEmpty() ? -1 : 0;
    };
    if (lt < 0 || gt > lt) {
        place.where = MarkupPlace::Where::Content;
        place.typedFrom = caret;
        children(caret);
        return place;
    }
    const char kind = lt + 1 < caret ? t[static_cast<size_t>(lt) + 1] : '\0';
    if (kind == '/') {
        if (nameEnd(t, lt + 2, caret) != caret)
            return place;
        place.where = MarkupPlace::Where::EndTagName;
        place.typedFrom = lt + 2;
        place.typed = bytes(t.substr(static_cast<size_t>(lt) + 2));
        walkBack(t, lt, false, place, enough);
        return place;
    }
    if (kind == '!' || kind == '?')
        return place;
    inStartTag(t, lt, caret, place);
    if (place.where == MarkupPlace::Where::Elsewhere)
        return place;
    if (place.where == MarkupPlace::Where::ElementName) {
        children(lt);
        return place;
    }
    // An attribute of the tag itself: the tag is the innermost element, with what it declares
    // also after the caret, up to its end.
    const size_t tagEnd = a.find_first_of("<>");
    const qsizetype end =
        tagEnd == View::npos ? static_cast<qsizetype>(a.size()) : static_cast<qsizetype>(tagEnd);
    qsizetype rest = nameEnd(a, 0, end);
    if (place.where == MarkupPlace::Where::AttributeValue) {
        const size_t close = a.find(t[static_cast<size_t>(place.typedFrom) - 1]);
        rest =
            close == View::npos ? end : std::min<qsizetype>(static_cast<qsizetype>(close) + 1, end);
    }
    const QList<Attribute> earlier = attributesIn(t, nameEnd(t, lt + 1, caret), place.typedFrom);
    const QList<Attribute> later = attributesIn(a, rest, end);
    for (const Attribute& attribute : earlier)
        place.attributes.append(attribute.name);
    if (place.where == MarkupPlace::Where::AttributeName) {
        for (const Attribute& attribute : later)
            place.attributes.append(attribute.name);
    }
    place.open.append({nameFrom(t, lt + 1, caret), namespacesIn(earlier + later)});
    if (!enough || !enough(place.open))
        walkBack(t, lt, false, place, enough);
    return place;
}

MarkupPlace::Namespaces RootNamespaces(QByteArrayView text) {
    Markup::Tokens tokens(text);
    Markup::Token token;
    while (tokens.next(token)) {
        if (token.kind == Markup::Kind::StartTag || token.kind == Markup::Kind::EmptyTag) {
            const View t(token.begin, static_cast<size_t>(token.end - token.begin));
            return namespacesOfTag(t, 0, static_cast<qsizetype>(t.size()));
        }
    }
    return {};
}

QByteArray NamespaceAt(const MarkupPlace& place, const MarkupPlace::Namespaces& root,
                       QByteArrayView prefix) {
    if (prefix == "xml")
        return "http://www.w3.org/XML/1998/namespace";
    for (const MarkupPlace::Open& open : place.open) {
        for (const auto& [p, uri] : open.namespaces) {
            if (p == prefix)
                return uri;
        }
    }
    if (!place.reachedRoot) {
        for (const auto& [p, uri] : root) {
            if (p == prefix)
                return uri;
        }
    }
    return {};
}

QByteArray StartTagJustClosed(QByteArrayView before) {
    const View t(before.data(), static_cast<size_t>(before.size()));
    if (t.size() < 3 || t.back() != '>' || t[t.size() - 2] == '/')
        return {};
    const qsizetype end = static_cast<qsizetype>(t.size()) - 1;
    const size_t lt = t.rfind('<', static_cast<size_t>(end));
    if (lt == View::npos || !isNameChar(t[lt + 1]) ||
        insideUnclosed(t, static_cast<qsizetype>(lt), "<!--", "-->") ||
        insideUnclosed(t, static_cast<qsizetype>(lt), "<![CDATA[", "]]>") ||
        insideUnclosed(t, static_cast<qsizetype>(lt), "<?", "?>"))
        return {};
    // A ">" between quotes is part of a value; one before it ended the tag already.
    char quote = 0;
    for (size_t at = lt + 1; at < static_cast<size_t>(end); ++at) {
        const char c = t[at];
        if (quote)
            quote = c == quote ? 0 : quote;
        else if (c == '"' || c == '\'')
            quote = c;
        else if (c == '>')
            return {};
    }
    return quote ? QByteArray() : nameFrom(t, static_cast<qsizetype>(lt) + 1, end);
}
