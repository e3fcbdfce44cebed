// The questions completion asks of a grammar, answered by derivatives of the content model: the
// model after the siblings before a place is derived by each of their names in turn, and the
// names it can start with are those allowed there. A model is never compiled to an automaton:
// content models are small, and deriving one costs little more than its size.

#include "platform/xml/xmlgrammar.h"

#include <QFileInfo>
#include <QHash>
#include <algorithm>

namespace {

struct Expr;
using E = std::shared_ptr<const Expr>;

struct Expr {
    enum class K { Fail, Eps, Leaf, Seq, Alt, All, Rep, Any };
    K k = K::Fail;
    int element = -1;
    std::vector<E> parts; // Seq: two; Alt and All: any number; Rep: one
    int min = 0;
    int max = 0;
    size_t hash = 0;
};

// An alternative of more branches than this gives up (no names), which keeps a pathological model
// from growing without end while it is derived.
constexpr size_t kMaxBranches = 400;

size_t mix(size_t h, size_t v) {
    return h ^ (v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
}

E make(Expr e) {
    size_t h = mix(static_cast<size_t>(e.k), static_cast<size_t>(e.element + 1));
    h = mix(mix(h, static_cast<size_t>(e.min)), static_cast<size_t>(e.max + 1));
    for (const E& p : e.parts)
        h = mix(h, p->hash);
    e.hash = h;
    return std::make_shared<const Expr>(std::move(e));
}

const E& fail() {
    static const E e = make(Expr{Expr::K::Fail, -1, {}});
    return e;
}
const E& eps() {
    static const E e = make(Expr{Expr::K::Eps, -1, {}});
    return e;
}
const E& any() {
    static const E e = make(Expr{Expr::K::Any, -1, {}});
    return e;
}

bool same(const E& a, const E& b) {
    if (a == b)
        return true;
    if (a->hash != b->hash || a->k != b->k || a->element != b->element || a->min != b->min ||
        a->max != b->max || a->parts.size() != b->parts.size())
        return false;
    for (size_t i = 0; i < a->parts.size(); ++i) {
        if (!same(a->parts[i], b->parts[i]))
            return false;
    }
    return true;
}

E leaf(int element) {
    Expr e{Expr::K::Leaf, -1, {}};
    e.element = element;
    return make(std::move(e));
}

E seq(const E& a, const E& b) {
    if (a->k == Expr::K::Fail || b->k == Expr::K::Fail)
        return fail();
    if (a->k == Expr::K::Eps)
        return b;
    if (b->k == Expr::K::Eps)
        return a;
    return make({Expr::K::Seq, -1, {a, b}});
}

void addBranch(std::vector<E>& branches, const E& e) {
    if (e->k == Expr::K::Fail)
        return;
    if (e->k == Expr::K::Alt) {
        for (const E& p : e->parts)
            addBranch(branches, p);
        return;
    }
    for (const E& b : branches) {
        if (same(b, e))
            return;
    }
    branches.push_back(e);
}

E alt(std::vector<E> parts) {
    std::vector<E> branches;
    for (const E& p : parts)
        addBranch(branches, p);
    if (branches.empty())
        return fail();
    if (branches.size() == 1)
        return branches.front();
    if (branches.size() > kMaxBranches)
        return any();
    return make({Expr::K::Alt, -1, std::move(branches)});
}

E all(std::vector<E> parts) {
    std::vector<E> kept;
    for (const E& p : parts) {
        if (p->k == Expr::K::Fail)
            return fail();
        if (p->k != Expr::K::Eps)
            kept.push_back(p);
    }
    if (kept.empty())
        return eps();
    if (kept.size() == 1)
        return kept.front();
    return make({Expr::K::All, -1, std::move(kept)});
}

E rep(const E& p, int min, int max) {
    if (max == 0 || p->k == Expr::K::Eps)
        return eps();
    if (p->k == Expr::K::Fail)
        return min == 0 ? eps() : fail();
    if (min == 1 && max == 1)
        return p;
    Expr e{Expr::K::Rep, -1, {p}};
    e.min = min;
    e.max = max;
    return make(std::move(e));
}

bool nullable(const E& e) {
    switch (e->k) {
    case Expr::K::Fail:
    case Expr::K::Leaf:
        return false;
    case Expr::K::Eps:
    case Expr::K::Any:
        return true;
    case Expr::K::Seq:
        return nullable(e->parts[0]) && nullable(e->parts[1]);
    case Expr::K::Alt:
        return std::any_of(e->parts.begin(), e->parts.end(), nullable);
    case Expr::K::All:
        return std::all_of(e->parts.begin(), e->parts.end(), nullable);
    case Expr::K::Rep:
        return e->min == 0 || nullable(e->parts[0]);
    }
    return false;
}

E fromParticle(const Particle& p) {
    E body;
    switch (p.kind) {
    case Particle::Kind::Nothing:
        return eps();
    case Particle::Kind::Unknown:
        return any();
    case Particle::Kind::Element:
        body = leaf(p.element);
        break;
    case Particle::Kind::Sequence: {
        body = eps();
        for (auto it = p.parts.crbegin(); it != p.parts.crend(); ++it)
            body = seq(fromParticle(*it), body);
        break;
    }
    case Particle::Kind::Choice: {
        std::vector<E> parts;
        for (const Particle& part : p.parts)
            parts.push_back(fromParticle(part));
        body = alt(std::move(parts));
        break;
    }
    case Particle::Kind::All: {
        std::vector<E> parts;
        for (const Particle& part : p.parts)
            parts.push_back(fromParticle(part));
        body = all(std::move(parts));
        break;
    }
    }
    return rep(body, std::max(p.min, 0), p.max);
}

// Derives models by the names of the elements met, as the grammar compares names.
class Deriver {
public:
    explicit Deriver(const Grammar& grammar) : m_grammar(grammar) {}

    E derive(const E& e, const GrammarName& name) const {
        switch (e->k) {
        case Expr::K::Fail:
        case Expr::K::Eps:
            return fail();
        case Expr::K::Any:
            return e;
        case Expr::K::Leaf:
            return matches(e->element, name) ? eps() : fail();
        case Expr::K::Seq: {
            E first = seq(derive(e->parts[0], name), e->parts[1]);
            if (!nullable(e->parts[0]))
                return first;
            return alt({first, derive(e->parts[1], name)});
        }
        case Expr::K::Alt: {
            std::vector<E> parts;
            for (const E& p : e->parts)
                parts.push_back(derive(p, name));
            return alt(std::move(parts));
        }
        case Expr::K::All: {
            std::vector<E> branches;
            for (size_t i = 0; i < e->parts.size(); ++i) {
                std::vector<E> parts = e->parts;
                parts[i] = derive(parts[i], name);
                branches.push_back(all(std::move(parts)));
            }
            return alt(std::move(branches));
        }
        case Expr::K::Rep: {
            const int max = e->max == Particle::kUnbounded ? e->max : e->max - 1;
            return seq(derive(e->parts[0], name), rep(e->parts[0], std::max(e->min - 1, 0), max));
        }
        }
        return fail();
    }

    // The elements `e` may start with, in the model's order; false when it may start with
    // anything (a place the grammar cannot tell).
    bool firsts(const E& e, QList<int>& into) const {
        switch (e->k) {
        case Expr::K::Fail:
        case Expr::K::Eps:
            return true;
        case Expr::K::Any:
            return false;
        case Expr::K::Leaf:
            if (!into.contains(e->element))
                into.append(e->element);
            return true;
        case Expr::K::Seq:
            if (!firsts(e->parts[0], into))
                return false;
            return !nullable(e->parts[0]) || firsts(e->parts[1], into);
        case Expr::K::Alt:
        case Expr::K::All:
            for (const E& p : e->parts) {
                if (!firsts(p, into))
                    return false;
            }
            return true;
        case Expr::K::Rep:
            return firsts(e->parts[0], into);
        }
        return true;
    }

    bool matches(int element, const GrammarName& name) const {
        const GrammarName& declared = m_grammar.elements[static_cast<size_t>(element)].name;
        return declared.local == name.local &&
               (!m_grammar.usesNamespaces() || declared.ns == name.ns);
    }

private:
    const Grammar& m_grammar;
};

// The element declarations a model holds leaves of, by name.
void leavesNamed(const Particle& p, const Deriver& names, const GrammarName& name,
                 QList<int>& into) {
    if (p.kind == Particle::Kind::Element) {
        if (names.matches(p.element, name) && !into.contains(p.element))
            into.append(p.element);
        return;
    }
    for (const Particle& part : p.parts)
        leavesNamed(part, names, name, into);
}

bool sameParticle(const Particle& a, const Particle& b) {
    if (a.kind != b.kind || a.min != b.min || a.max != b.max || a.element != b.element ||
        a.parts.size() != b.parts.size())
        return false;
    for (qsizetype i = 0; i < a.parts.size(); ++i) {
        if (!sameParticle(a.parts[i], b.parts[i]))
            return false;
    }
    return true;
}

bool sameAttributes(const ElementDecl& a, const ElementDecl& b) {
    if (a.attributes.size() != b.attributes.size())
        return false;
    for (qsizetype i = 0; i < a.attributes.size(); ++i) {
        const AttributeDecl& x = a.attributes[i];
        const AttributeDecl& y = b.attributes[i];
        if (!(x.name == y.name) || x.required != y.required || x.values != y.values ||
            x.fixed != y.fixed || x.defaultValue != y.defaultValue)
            return false;
    }
    return true;
}

} // namespace

Particle Particle::ofElement(int element, int min, int max) {
    Particle p;
    p.kind = Kind::Element;
    p.element = element;
    p.min = min;
    p.max = max;
    return p;
}

Particle Particle::of(Kind kind, QList<Particle> parts, int min, int max) {
    Particle p;
    p.kind = kind;
    p.parts = std::move(parts);
    p.min = min;
    p.max = max;
    return p;
}

bool Grammar::stillCurrent() const {
    for (const ReadFile& file : files) {
        const QFileInfo info(file.path);
        if (!info.exists() || info.lastModified().toMSecsSinceEpoch() != file.modified)
            return false;
    }
    return true;
}

int Grammar::uniqueDecl(const GrammarName& name) const {
    const Deriver names(*this);
    int found = -1;
    for (size_t i = 0; i < elements.size(); ++i) {
        if (!names.matches(static_cast<int>(i), name))
            continue;
        if (found < 0) {
            found = static_cast<int>(i);
            continue;
        }
        const ElementDecl& first = elements[static_cast<size_t>(found)];
        if (!sameParticle(first.content, elements[i].content) ||
            !sameAttributes(first, elements[i]))
            return -1;
    }
    return found;
}

int Grammar::declFor(const QList<GrammarName>& path, bool fromRoot) const {
    if (path.isEmpty())
        return -1;
    const Deriver names(*this);
    int decl = -1;
    if (fromRoot) {
        for (int root : roots) {
            if (names.matches(root, path.first())) {
                decl = root;
                break;
            }
        }
    }
    if (decl < 0)
        decl = uniqueDecl(path.first());
    for (qsizetype i = 1; i < path.size() && decl >= 0; ++i) {
        QList<int> found;
        leavesNamed(elements[static_cast<size_t>(decl)].content, names, path[i], found);
        decl = found.size() == 1 ? found.first() : uniqueDecl(path[i]);
    }
    return decl;
}

QList<GrammarName> Grammar::childrenAllowed(int decl, const QList<GrammarName>& before,
                                            const QList<GrammarName>& after) const {
    QList<GrammarName> names;
    const Deriver deriver(*this);
    if (decl < 0) {
        if (before.isEmpty() && after.isEmpty()) {
            for (int root : roots)
                names.append(elements[static_cast<size_t>(root)].name);
        }
        return names;
    }
    E model = fromParticle(elements[static_cast<size_t>(decl)].content);
    for (const GrammarName& name : before)
        model = deriver.derive(model, name);
    QList<int> candidates;
    if (!deriver.firsts(model, candidates))
        return {};
    const qsizetype checked = std::min<qsizetype>(after.size(), kCheckedAfter);
    auto rest = [&](E e) {
        for (qsizetype i = 0; i < checked && e->k != Expr::K::Fail; ++i)
            e = deriver.derive(e, after[i]);
        return e;
    };
    // Where the siblings already fit the model, a name must keep them fitting; where they do not,
    // it must at least not be the place where they stop fitting.
    const bool completeBefore = checked == after.size() && nullable(rest(model));
    for (int candidate : candidates) {
        const GrammarName& name = elements[static_cast<size_t>(candidate)].name;
        if (names.contains(name))
            continue;
        const E tail = rest(deriver.derive(model, name));
        if (tail->k != Expr::K::Fail && (!completeBefore || nullable(tail)))
            names.append(name);
    }
    return names;
}

QList<AttributeDecl> Grammar::attributesAllowed(int decl, const QList<GrammarName>& present) const {
    QList<AttributeDecl> required, optional;
    if (decl < 0)
        return {};
    for (const AttributeDecl& a : elements[static_cast<size_t>(decl)].attributes) {
        const bool there = std::any_of(present.begin(), present.end(), [&](const GrammarName& p) {
            return p.local == a.name.local && (!usesNamespaces() || p.ns == a.name.ns);
        });
        if (!there)
            (a.required ? required : optional).append(a);
    }
    return required + optional;
}

const AttributeDecl* Grammar::attribute(int decl, const GrammarName& name) const {
    if (decl < 0)
        return nullptr;
    for (const AttributeDecl& a : elements[static_cast<size_t>(decl)].attributes) {
        if (a.name.local == name.local && (!usesNamespaces() || a.name.ns == name.ns))
            return &a;
    }
    return nullptr;
}
