#include "document/textcompletion.h"

#include <QSet>

namespace {

QString text(QByteArrayView utf8) {
    return QString::fromUtf8(utf8);
}

// How an element of `name` is written at the place: with a prefix in scope for its namespace,
// unprefixed in the default one, or with a declaration of its own.
class Writer {
public:
    Writer(const Grammar& grammar, const MarkupPlace& place, const MarkupPlace::Namespaces& root)
        : m_grammar(grammar), m_place(place), m_root(root) {}

    GrammarName nameOf(const QByteArray& written, bool attribute) const {
        if (!m_grammar.usesNamespaces())
            return {{}, text(written)};
        const qsizetype colon = written.indexOf(':');
        const QByteArray prefix = colon < 0 ? QByteArray() : written.left(colon);
        if (colon < 0 && attribute)
            return {{}, text(written)};
        return {text(NamespaceAt(m_place, m_root, prefix)), text(written.mid(colon + 1))};
    }

    // The element's name, and the declaration it needs; no name when it cannot be written.
    std::pair<QString, QString> element(const GrammarName& name) const {
        if (!m_grammar.usesNamespaces())
            return {name.local, {}};
        const QString ns = text(NamespaceAt(m_place, m_root, ""));
        if (ns == name.ns)
            return {name.local, {}};
        if (const QString prefix = prefixOf(name.ns); !prefix.isEmpty())
            return {prefix + u':' + name.local, {}};
        return {name.local, QStringLiteral(" xmlns=\"%1\"").arg(name.ns)};
    }

    QString attribute(const GrammarName& name) const {
        if (!m_grammar.usesNamespaces() || name.ns.isEmpty())
            return name.local;
        if (name.ns == QLatin1String("http://www.w3.org/XML/1998/namespace"))
            return QStringLiteral("xml:") + name.local;
        const QString prefix = prefixOf(name.ns);
        return prefix.isEmpty() ? QString() : prefix + u':' + name.local;
    }

private:
    // A prefix declared for `ns` at the place and not hidden by an inner declaration of itself.
    QString prefixOf(const QString& ns) const {
        auto scan = [&](const MarkupPlace::Namespaces& declared) -> QString {
            for (const auto& [prefix, uri] : declared) {
                if (!prefix.isEmpty() && text(uri) == ns &&
                    text(NamespaceAt(m_place, m_root, prefix)) == ns)
                    return text(prefix);
            }
            return {};
        };
        for (const MarkupPlace::Open& open : m_place.open) {
            if (QString found = scan(open.namespaces); !found.isEmpty())
                return found;
        }
        return m_place.reachedRoot ? QString() : scan(m_root);
    }

    const Grammar& m_grammar;
    const MarkupPlace& m_place;
    const MarkupPlace::Namespaces& m_root;
};

// The declaration of the element open[index], by the names from it outwards as far as they were
// read.
int declOfOpen(const Grammar& grammar, const MarkupPlace& place, const Writer& names, int index) {
    QList<GrammarName> path;
    for (qsizetype i = place.open.size() - 1; i >= index; --i)
        path.append(names.nameOf(place.open[i].name, false));
    return grammar.declFor(path, place.reachedRoot);
}

void addElements(const Grammar& grammar, const MarkupPlace& place, const Writer& names,
                 TextCompletion& completion, bool withBracket) {
    const int decl = place.childOf < 0 ? -1 : declOfOpen(grammar, place, names, place.childOf);
    if (decl < 0 && !(place.open.isEmpty() && place.reachedRoot))
        return;
    QList<GrammarName> before, after;
    for (const QByteArray& name : place.before)
        before.append(names.nameOf(name, false));
    for (const QByteArray& name : place.after)
        after.append(names.nameOf(name, false));
    for (const GrammarName& name : grammar.childrenAllowed(decl, before, after)) {
        const auto [written, declaration] = names.element(name);
        const QString label = declaration.isEmpty() ? written : written + declaration;
        completion.choices.append(
            {label, (withBracket ? QStringLiteral("<") : QString()) + label, 0, false});
    }
}

void addAttributes(const Grammar& grammar, const MarkupPlace& place, const Writer& names,
                   TextCompletion& completion) {
    QList<GrammarName> present;
    for (const QByteArray& name : place.attributes)
        present.append(names.nameOf(name, true));
    const int decl = declOfOpen(grammar, place, names, 0);
    for (const AttributeDecl& a : grammar.attributesAllowed(decl, present)) {
        const QString written = names.attribute(a.name);
        if (written.isEmpty())
            continue;
        const bool values = !a.values.isEmpty() || !a.fixed.isEmpty();
        completion.choices.append({written, written + QStringLiteral("=\"\""), 1, values});
    }
}

void addValues(const Grammar& grammar, const MarkupPlace& place, const Writer& names,
               TextCompletion& completion) {
    const AttributeDecl* a = grammar.attribute(declOfOpen(grammar, place, names, 0),
                                               names.nameOf(place.attribute, true));
    if (!a)
        return;
    QStringList values = a->values;
    if (!a->fixed.isEmpty())
        values = {a->fixed};
    for (const QString& value : values)
        completion.choices.append({value, value, 0, false});
}

// The walk back can stop at an element whose name alone tells its declaration. Its prefix is
// read with the declarations met so far and the document element's.
std::function<bool(const QList<MarkupPlace::Open>&)>
enoughFor(const Grammar& grammar, const MarkupPlace::Namespaces& root) {
    return [&grammar, &root](const QList<MarkupPlace::Open>& open) {
        MarkupPlace sofar;
        sofar.open = open;
        return grammar.uniqueDecl(Writer(grammar, sofar, root).nameOf(open.last().name, false)) >=
               0;
    };
}

} // namespace

namespace {
// What a character just typed may begin.
bool begins(char typed, MarkupPlace::Where where) {
    switch (typed) {
    case 0:
        return true;
    case '<':
        return where == MarkupPlace::Where::ElementName;
    case '/':
        return where == MarkupPlace::Where::EndTagName;
    case ' ':
    case '\t':
        return where == MarkupPlace::Where::AttributeName;
    case '"':
    case '\'':
        return where == MarkupPlace::Where::AttributeValue;
    default:
        return false;
    }
}
} // namespace

TextCompletion CompleteText(const Grammar& grammar, QByteArrayView before, QByteArrayView after,
                            const MarkupPlace::Namespaces& root, char typed) {
    const MarkupPlace place = ReadMarkupPlace(before, after, enoughFor(grammar, root));
    TextCompletion completion;
    if (!begins(typed, place.where))
        return completion;
    completion.from = place.typedFrom;
    const Writer names(grammar, place, root);
    switch (place.where) {
    case MarkupPlace::Where::Content:
        addElements(grammar, place, names, completion, true);
        break;
    case MarkupPlace::Where::ElementName:
        addElements(grammar, place, names, completion, false);
        break;
    case MarkupPlace::Where::EndTagName:
        if (!place.open.isEmpty())
            completion.choices.append(
                {text(place.open.first().name), text(place.open.first().name) + u'>', 0, false});
        completion.atOnce = place.typed.isEmpty();
        break;
    case MarkupPlace::Where::AttributeName:
        addAttributes(grammar, place, names, completion);
        break;
    case MarkupPlace::Where::AttributeValue:
        addValues(grammar, place, names, completion);
        break;
    case MarkupPlace::Where::Elsewhere:
        break;
    }
    const QString begun = text(place.typed);
    if (!begun.isEmpty()) {
        QList<TextChoice> kept;
        for (const TextChoice& choice : completion.choices) {
            if (choice.insert.startsWith(begun))
                kept.append(choice);
        }
        completion.choices = kept;
    }
    return completion;
}
