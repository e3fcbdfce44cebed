#include "platform/tree/treemodel.h"

#include "platform/errors.h"

#include <algorithm>

const XmlNode TreeModel::s_noNode;
const QString TreeModel::s_noText;

namespace {
[[noreturn]] void noSuchItem() {
    throw DescribedError(QStringLiteral("Element not found: the tree item does not exist."));
}
// Below this many children a parent's rows are found by walking its children.
constexpr int kIndexedRows = 32;
constexpr qint64 kRowsBetweenWatches = 4096;
} // namespace

TreeModel::TreeModel(QObject* parent) : QAbstractItemModel(parent) {
    resetStore();
}

TreeModel::~TreeModel() {
    unwatchAll();
}

void TreeModel::resetStore() {
    m_items.clear();
    TreeItem root;
    root.alive = 1;
    m_items.push_back(root);
    m_labels.clear();
    m_iconKeys.assign(1, QString());
    m_owners.assign(1, nullptr);
    m_namespaceTags.clear();
    m_rows.clear();
    m_cursorParent = m_cursorItem = NoItem;
    m_pendingByNode.clear();
    m_listedPending = {};
    m_liveCount = 0;
}

TreeItem& TreeModel::at(ItemId id) {
    if (id < 0 || id >= static_cast<ItemId>(m_items.size()) || !item(id).alive)
        noSuchItem();
    return item(id);
}

const TreeItem& TreeModel::at(ItemId id) const {
    if (id < 0 || id >= static_cast<ItemId>(m_items.size()) || !item(id).alive)
        noSuchItem();
    return item(id);
}

bool TreeModel::Exists(ItemId id) const {
    return id > 0 && id < static_cast<ItemId>(m_items.size()) && item(id).alive;
}

// ---- structure -------------------------------------------------------------------------------

void TreeModel::validateRows(ItemId parent) const {
    TreeItem& p = item(parent);
    if (p.rowsValid)
        return;
    int row = 0;
    for (ItemId c = p.first; c != NoItem; c = item(c).next)
        item(c).row = row++;
    if (row > kIndexedRows) {
        auto& rows = m_rows[parent];
        rows.clear();
        rows.reserve(static_cast<size_t>(row));
        for (ItemId c = p.first; c != NoItem; c = item(c).next)
            rows.push_back(c);
    } else {
        m_rows.erase(parent);
    }
    p.rowsValid = 1;
}

void TreeModel::forgetRows(ItemId parent) const {
    item(parent).rowsValid = 0;
    m_rows.erase(parent);
}

int TreeModel::rowOf(ItemId id) const {
    validateRows(at(id).parent);
    return at(id).row;
}

int TreeModel::rowCountOf(ItemId parent) const {
    validateRows(parent);
    const ItemId last = item(parent).last;
    return last == NoItem ? 0 : item(last).row + 1;
}

TreeModel::ItemId TreeModel::childAt(ItemId parent, int row) const {
    if (row < 0 || row >= rowCountOf(parent))
        return NoItem;
    if (const auto rows = m_rows.find(parent); rows != m_rows.end())
        return rows->second[static_cast<size_t>(row)];
    ItemId c = item(parent).first;
    if (m_cursorParent == parent && m_cursorItem != NoItem && item(m_cursorItem).alive &&
        item(m_cursorItem).parent == parent && item(m_cursorItem).row <= row)
        c = m_cursorItem;
    while (item(c).row < row)
        c = item(c).next;
    m_cursorParent = parent;
    m_cursorItem = c;
    return c;
}

TreeModel::ItemId TreeModel::previousOf(ItemId id) const {
    const ItemId parent = item(id).parent;
    if (item(parent).first == id)
        return NoItem;
    validateRows(parent);
    return childAt(parent, item(id).row - 1);
}

void TreeModel::link(ItemId id, ItemId parent, ItemId before) {
    TreeItem& p = at(parent);
    const ItemId prev = before ? previousOf(before) : p.last;
    TreeItem& i = at(id);
    i.parent = parent;
    i.next = before;
    if (prev)
        at(prev).next = id;
    else
        p.first = id;
    if (!before)
        p.last = id;
    if (!p.rowsValid)
        return;
    const int row = prev ? item(prev).row + 1 : 0;
    int r = row;
    for (ItemId c = id; c != NoItem; c = item(c).next)
        item(c).row = r++;
    if (const auto rows = m_rows.find(parent); rows != m_rows.end())
        rows->second.insert(rows->second.begin() + row, id);
    else if (r > kIndexedRows)
        forgetRows(parent); // the next look indexes them
}

void TreeModel::unlink(ItemId id) {
    TreeItem& i = at(id);
    const ItemId prev = previousOf(id);
    const ItemId parent = i.parent;
    TreeItem& p = at(parent);
    if (p.rowsValid) {
        int r = i.row;
        for (ItemId c = i.next; c != NoItem; c = item(c).next)
            item(c).row = r++;
        if (const auto rows = m_rows.find(parent); rows != m_rows.end())
            rows->second.erase(rows->second.begin() + i.row);
    }
    if (prev)
        at(prev).next = i.next;
    else
        p.first = i.next;
    if (!i.next)
        p.last = prev;
    i.parent = i.next = NoItem;
    m_cursorParent = m_cursorItem = NoItem;
}

TreeModel::ItemId TreeModel::Add(ItemId relative, Relationship relationship, const QString& text,
                                 const QString& image) {
    ItemId parent = NoItem;
    ItemId before = NoItem;
    if (relative != NoItem) {
        const ItemId relParent = at(relative).parent;
        switch (relationship) {
        case tvwChild:
            EnsureChildren(relative);
            parent = relative;
            break;
        case tvwFirst:
            parent = relParent;
            before = at(relParent).first;
            break;
        case tvwLast:
            parent = relParent;
            break;
        case tvwNext:
            parent = relParent;
            before = at(relative).next;
            break;
        case tvwPrevious:
            parent = relParent;
            before = relative;
            break;
        default:
            throw DescribedError(QStringLiteral("Invalid relationship for a new tree item."));
        }
    }
    return insert(parent, before, newItem(text, image));
}

TreeModel::ItemId TreeModel::AddShowing(ItemId parent, const XmlNode& node, const QString& text,
                                        const QString& image) {
    if (parent != NoItem)
        EnsureChildren(parent);
    at(parent);
    TreeItem created = newItem(text, image);
    const ItemId id = static_cast<ItemId>(m_items.size());
    setNode(created, id, node);
    return insert(parent, NoItem, created);
}

TreeItem TreeModel::newItem(const QString& text, const QString& image) {
    TreeItem created;
    created.alive = 1;
    created.icon = iconIndex(image);
    setLabel(created, text);
    return created;
}

TreeModel::ItemId TreeModel::insert(ItemId parent, ItemId before, const TreeItem& created) {
    const ItemId id = static_cast<ItemId>(m_items.size());
    m_items.push_back(created);
    ++m_liveCount;
    const bool notify = m_silent == 0;
    if (notify) {
        const int row = before ? rowOf(before) : rowCountOf(parent);
        beginInsertRows(IndexOf(parent), row, row);
    }
    link(id, parent, before);
    if (notify)
        endInsertRows();
    return id;
}

void TreeModel::Remove(ItemId id) {
    if (id == NoItem)
        noSuchItem();
    const ItemId parent = at(id).parent;
    const bool notify = m_silent == 0;
    if (notify) {
        const int row = rowOf(id);
        beginRemoveRows(IndexOf(parent), row, row);
    }
    unlink(id);
    std::vector<ItemId> stack{id};
    while (!stack.empty()) {
        const ItemId gone = stack.back();
        stack.pop_back();
        TreeItem& i = item(gone);
        for (ItemId c = i.first; c != NoItem; c = item(c).next)
            stack.push_back(c);
        forgetPending(gone);
        if (i.namespaceDeclaration)
            m_namespaceTags.erase(gone);
        m_rows.erase(gone);
        i = TreeItem();
        --m_liveCount;
    }
    if (notify)
        endRemoveRows();
}

void TreeModel::Clear() {
    beginResetModel();
    unwatchAll();
    resetStore();
    endResetModel();
}

int TreeModel::Count() {
    for (size_t i = 1; i < m_items.size(); ++i) {
        if (m_items[i].alive && m_items[i].pending)
            EnsureChildren(static_cast<ItemId>(i));
    }
    return m_liveCount;
}

TreeModel::ItemId TreeModel::Parent(ItemId id) const {
    return at(id).parent;
}

TreeModel::ItemId TreeModel::Child(ItemId id) {
    EnsureChildren(id);
    return at(id).first;
}

TreeModel::ItemId TreeModel::LastChild(ItemId id) {
    EnsureChildren(id);
    return at(id).last;
}

TreeModel::ItemId TreeModel::Next(ItemId id) const {
    return id == NoItem ? NoItem : at(id).next;
}

TreeModel::ItemId TreeModel::Previous(ItemId id) const {
    if (id == NoItem)
        return NoItem;
    at(id);
    return previousOf(id);
}

int TreeModel::ChildCount(ItemId id) {
    EnsureChildren(id);
    at(id);
    return rowCountOf(id);
}

// ---- item data -------------------------------------------------------------------------------

uint32_t TreeModel::ownerIndex(const XmlNode::Owner& owner) {
    for (size_t i = m_owners.size(); i-- > 1;) {
        if (m_owners[i] == owner)
            return static_cast<uint32_t>(i);
    }
    m_owners.push_back(owner);
    return static_cast<uint32_t>(m_owners.size() - 1);
}

XmlNode TreeModel::Tag(ItemId id) const {
    if (id == NoItem)
        return s_noNode;
    const TreeItem& i = at(id);
    if (!i.node)
        return s_noNode;
    const void* declaration = i.namespaceDeclaration ? m_namespaceTags.at(id) : nullptr;
    return XmlNode::fromKey({i.node, declaration}, m_owners[i.storage]);
}

bool TreeModel::Shows(ItemId id, const XmlNode& node) const {
    if (id == NoItem)
        return node.isNull();
    const TreeItem& i = at(id);
    const XmlNode::Key key = node.key();
    if (i.node != key.node || (i.node && m_owners[i.storage] != node.owner()))
        return false;
    return (i.namespaceDeclaration ? m_namespaceTags.at(id) : nullptr) == key.declaration;
}

void TreeModel::SetTag(ItemId id, const XmlNode& node) {
    if (id == NoItem)
        noSuchItem();
    const bool pending = at(id).pending;
    if (pending)
        forgetPending(id);
    setNode(at(id), id, node);
    if (pending) {
        at(id).pending = 0;
        MarkChildrenPending(id);
    }
}

void TreeModel::setNode(TreeItem& i, ItemId id, const XmlNode& node) {
    const XmlNode::Key key = node.key();
    i.node = key.node;
    i.storage = node.isNull() ? 0 : ownerIndex(node.owner());
    if (key.declaration)
        m_namespaceTags[id] = key.declaration;
    else if (i.namespaceDeclaration)
        m_namespaceTags.erase(id);
    i.namespaceDeclaration = key.declaration != nullptr;
}

void TreeModel::setLabel(TreeItem& i, const QString& text) {
    const LabelArena::Place place = m_labels.store(text);
    i.labelWhere = place.where;
    i.labelLength = place.length;
    i.wideLabel = place.wide;
}

QString TreeModel::label(const TreeItem& i) const {
    return m_labels.text({i.labelWhere, i.labelLength, i.wideLabel != 0});
}

QString TreeModel::Text(ItemId id) const {
    return id == NoItem ? s_noText : label(at(id));
}

void TreeModel::SetText(ItemId id, const QString& text) {
    if (id == NoItem)
        noSuchItem();
    setLabel(at(id), text);
    if (m_silent == 0) {
        const QModelIndex index = IndexOf(id);
        emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    }
}

// The keys are few (one per kind of item), so a look through the table is enough.
uint32_t TreeModel::iconIndex(const QString& key) {
    if (key.isEmpty())
        return 0;
    for (size_t i = 1; i < m_iconKeys.size(); ++i) {
        if (m_iconKeys[i].constData() == key.constData() || m_iconKeys[i] == key)
            return static_cast<uint32_t>(i);
    }
    if (m_iconKeys.size() >= 64)
        throw DescribedError(QStringLiteral("Too many kinds of tree icons."));
    m_iconKeys.push_back(key);
    return static_cast<uint32_t>(m_iconKeys.size() - 1);
}

QString TreeModel::Image(ItemId id) const {
    return id == NoItem ? s_noText : m_iconKeys[at(id).icon];
}

void TreeModel::SetImage(ItemId id, const QString& key) {
    if (id == NoItem)
        noSuchItem();
    at(id).icon = iconIndex(key);
    if (m_silent == 0) {
        const QModelIndex index = IndexOf(id);
        emit dataChanged(index, index, {Qt::DecorationRole, IconKeyRole});
    }
}

// ---- laziness --------------------------------------------------------------------------------

void TreeModel::MarkChildrenPending(ItemId id) {
    TreeItem& i = at(id);
    if (id == NoItem || !i.node || i.pending)
        return;
    i.pending = 1;
    if (m_bulk > 0) {
        // A walk builds most items soon after listing them: drop those before the list grows.
        auto& listed = m_listedPending;
        if (listed.size() == listed.capacity()) {
            std::erase_if(listed, [this](ItemId built) { return !item(built).pending; });
            if (listed.size() * 2 > listed.capacity())
                listed.reserve(std::max<size_t>(1024, listed.capacity() * 2));
        }
        listed.push_back(id);
    } else {
        m_pendingByNode.emplace(i.node, id);
        i.pendingFiled = 1;
    }
    const XmlNode::Owner& owner = m_owners[i.storage];
    const bool watched = std::any_of(m_watched.begin(), m_watched.end(),
                                     [&](const XmlNode& n) { return n.owner() == owner; });
    if (!watched) {
        const XmlNode tag = Tag(id);
        tag.addChangeListener(this);
        m_watched.push_back(tag);
    }
}

bool TreeModel::ChildrenPending(ItemId id) const {
    return id != NoItem && at(id).pending;
}

void TreeModel::EnsureChildren(ItemId id) {
    if (id == NoItem || !at(id).pending)
        return;
    forgetPending(id);
    at(id).pending = 0;
    if (!m_loader)
        return;
    // Nothing has seen these children yet: the view learns of them when it asks for rows.
    ++m_silent;
    try {
        m_loader(*this, id);
    } catch (...) {
        --m_silent;
        throw;
    }
    --m_silent;
}

void TreeModel::forgetPending(ItemId id) {
    TreeItem& i = item(id);
    if (!i.pending || !i.pendingFiled)
        return;
    i.pendingFiled = 0;
    auto range = m_pendingByNode.equal_range(i.node);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == id) {
            m_pendingByNode.erase(it);
            break;
        }
    }
}

// A change anywhere below a pending item would show in children built later, so the pending
// items on the way down to the changed node are built first, from the top.
void TreeModel::aboutToChange(const XmlNode& container) {
    fileListedPending();
    if (m_pendingByNode.empty())
        return;
    std::vector<XmlNode> chain;
    for (XmlNode n = container; n; n = n.parentNode())
        chain.push_back(n);
    for (auto node = chain.rbegin(); node != chain.rend(); ++node) {
        auto range = m_pendingByNode.equal_range(node->key().node);
        std::vector<ItemId> due;
        for (auto it = range.first; it != range.second; ++it)
            due.push_back(it->second);
        for (ItemId id : due)
            EnsureChildren(id);
    }
}

void TreeModel::fileListedPending() {
    for (ItemId id : m_listedPending) {
        TreeItem& i = item(id);
        if (i.alive && i.pending && !i.pendingFiled) {
            m_pendingByNode.emplace(i.node, id);
            i.pendingFiled = 1;
        }
    }
    m_listedPending = {};
}

TreeModel::BulkBuild::~BulkBuild() {
    if (--m_model.m_bulk == 0)
        m_model.fileListedPending();
}

void TreeModel::WatchRowsAsked(std::function<void(qint64)> watcher) {
    m_rowsWatcher = std::move(watcher);
    m_rowsAsked = 0;
}

void TreeModel::unwatchAll() {
    for (const XmlNode& n : m_watched)
        n.removeChangeListener(this);
    m_watched.clear();
}

// ---- QAbstractItemModel ----------------------------------------------------------------------

QModelIndex TreeModel::IndexOf(ItemId id) const {
    if (id == NoItem)
        return {};
    return createIndex(rowOf(id), 0, static_cast<quintptr>(id));
}

TreeModel::ItemId TreeModel::ItemOf(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this)
        return NoItem;
    const auto id = static_cast<ItemId>(index.internalId());
    return Exists(id) ? id : NoItem;
}

QModelIndex TreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0 || (parent.isValid() && parent.column() != 0))
        return {};
    const ItemId p = ItemOf(parent);
    if (parent.isValid() && p == NoItem)
        return {};
    const_cast<TreeModel*>(this)->EnsureChildren(p);
    if (m_rowsWatcher && (++m_rowsAsked & (kRowsBetweenWatches - 1)) == 0)
        m_rowsWatcher(m_rowsAsked);
    const ItemId child = childAt(p, row);
    return child == NoItem ? QModelIndex() : createIndex(row, 0, static_cast<quintptr>(child));
}

QModelIndex TreeModel::parent(const QModelIndex& child) const {
    const ItemId id = ItemOf(child);
    return id == NoItem ? QModelIndex() : IndexOf(item(id).parent);
}

int TreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0)
        return 0;
    const ItemId p = ItemOf(parent);
    if (parent.isValid() && p == NoItem)
        return 0;
    const_cast<TreeModel*>(this)->EnsureChildren(p);
    return rowCountOf(p);
}

int TreeModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() && parent.column() != 0 ? 0 : 1;
}

bool TreeModel::hasChildren(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0)
        return false;
    const ItemId p = ItemOf(parent);
    if (parent.isValid() && p == NoItem)
        return false;
    const TreeItem& i = item(p);
    return i.pending || i.first != NoItem;
}

QVariant TreeModel::data(const QModelIndex& index, int role) const {
    const ItemId id = ItemOf(index);
    if (id == NoItem)
        return {};
    const TreeItem& i = item(id);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return label(i);
    case Qt::DecorationRole:
        return m_iconProvider && i.icon ? m_iconProvider(m_iconKeys[i.icon]) : QVariant();
    case IconKeyRole:
        return m_iconKeys[i.icon];
    default:
        return {};
    }
}

Qt::ItemFlags TreeModel::flags(const QModelIndex& index) const {
    const ItemId id = ItemOf(index);
    if (id == NoItem)
        return Qt::NoItemFlags;
    const Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
    // Said of every leaf, it spares the view a look for a persistent index of each one in every
    // layout; a leaf that is to open when it gets children is kept by the store (KeepsExpanded).
    const TreeItem& i = item(id);
    return i.pending || i.first != NoItem ? flags : flags | Qt::ItemNeverHasChildren;
}
