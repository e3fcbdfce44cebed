#include "document/documentreplace.h"

#include "platform/xml/xmlerror.h"

#include <vector>

namespace {

class NodeReplace {
public:
    NodeReplace(const TextSearch& search, const QString& with, const ReplaceScope& scope)
        : m_search(search), m_with(with), m_scope(scope) {}

    void element(XmlNode& element) {
        if (m_scope.elementNames)
            attempt(element.nodeName(), [&](const QString& name) { element.rename(name); });
        if (!m_scope.attributeNames && !m_scope.attributeValues)
            return;
        for (const XmlNode& attribute : element.attributes().toVector()) {
            const QString name = attribute.nodeName();
            QString value = attribute.text();
            if (m_scope.attributeValues)
                attempt(value, [&](const QString& replaced) {
                    element.setAttribute(name, replaced);
                    value = replaced;
                });
            if (m_scope.attributeNames)
                attempt(name, [&](const QString& renamed) {
                    renameAttribute(element, name, renamed, value);
                });
        }
    }

    // Answers whether the node is still in the document.
    bool leaf(XmlNode& node) {
        const int type = node.nodeType();
        const bool text = type == NODE_TEXT || type == NODE_CDATA_SECTION;
        if (!(text ? m_scope.text : type == NODE_COMMENT && m_scope.comments))
            return true;
        bool kept = true;
        attempt(node.text(), [&](const QString& replaced) {
            if (replaced.isEmpty() && type == NODE_TEXT) {
                node.parentNode().removeChild(node);
                kept = false;
            } else {
                node.setText(replaced);
            }
        });
        return kept;
    }

    ReplaceCount count;

private:
    template <typename Apply> void attempt(const QString& value, Apply apply) {
        qint64 matches = 0;
        const QString replaced = m_search.ReplaceAll(value, m_with, matches);
        if (matches == 0 || replaced == value)
            return;
        try {
            apply(replaced);
            count.made += matches;
        } catch (const XmlError&) {
            count.skipped += matches;
        }
    }

    // The attribute under its new name, with its value; the old name goes. Another attribute of
    // that name already there is not overwritten.
    static void renameAttribute(XmlNode& element, const QString& name, const QString& renamed,
                                const QString& value) {
        if (!element.attributes().getNamedItem(renamed).isNull())
            throw XmlError(QStringLiteral("The attribute %1 already exists.").arg(renamed));
        element.setAttribute(renamed, value);
        try {
            element.removeAttribute(name);
        } catch (const XmlError&) {
            element.removeAttribute(renamed);
            throw;
        }
    }

    const TextSearch& m_search;
    const QString& m_with;
    const ReplaceScope& m_scope;
};

} // namespace

ReplaceCount ReplaceInNodes(XmlDocument& document, const TextSearch& search, const QString& with,
                            const ReplaceScope& scope, const std::function<void()>& step) {
    NodeReplace replace(search, with, scope);
    constexpr qint64 kStepEvery = 4096;
    qint64 visited = 0;
    // A walk without recursion: documents nest 10,000 deep. Children are taken before a node is
    // changed, so a text removed does not lose the way.
    XmlNode root = document.asNode();
    XmlNode node = root.firstChild();
    while (node) {
        if (++visited % kStepEvery == 0 && step)
            step();
        XmlNode next = node.nextSibling();
        XmlNode parent = node.parentNode();
        if (node.nodeType() == NODE_ELEMENT) {
            replace.element(node);
            if (XmlNode child = node.firstChild()) {
                node = child;
                continue;
            }
        } else {
            replace.leaf(node);
        }
        while (!next) {
            node = parent;
            if (node.isNull() || node == root)
                return replace.count;
            next = node.nextSibling();
            parent = node.parentNode();
        }
        node = next;
    }
    return replace.count;
}
