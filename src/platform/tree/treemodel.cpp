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
    m_storages.assign(1, nullptr);
    m_namespaceTags.clear();
    m_rows.clear();
    m_cursorParent = m_cursorItem = NoItem;
    m_pendingByNode.clear();
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

void TreeModel::link(ItemId id, ItemId parent, ItemId before) {
    TreeItem& p = at(parent);
    TreeItem& i = at(id);
    i.parent = parent;
    i.next = before;
    i.prev = before ? at(before).prev : p.last;
    if (i.prev)
        at(i.prev).next = id;
    else
        p.first = id;
    if (before)
        at(before).prev = id;
    else
        p.last = id;
    if (!p.rowsValid)
        return;
    const int row = i.prev ? item(i.prev).row + 1 : 0;
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
    const ItemId parent = i.parent;
    TreeItem& p = at(parent);
    if (p.rowsValid) {
        int r = i.row;
        for (ItemId c = i.next; c != NoItem; c = item(c).next)
            item(c).row = r++;
        if (const auto rows = m_rows.find(parent); rows != m_rows.end())
            rows->second.erase(rows->second.begin() + i.row);
    }
    if (i.prev)
        at(i.prev).next = i.next;
    else
        p.first = i.next;
    if (i.next)
        at(i.next).prev = i.prev;
    else
        p.last = i.prev;
    i.parent = i.prev = i.next = NoItem;
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
    const ItemId id = static_cast<ItemId>(m_items.size());
    TreeItem created;
    created.alive = 1;
    created.icon = iconIndex(image);
    setLabel(created, text);
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
    return id == NoItem ? NoItem : at(id).prev;
}

int TreeModel::ChildCount(ItemId id) {
    EnsureChildren(id);
    at(id);
    return rowCountOf(id);
}

// ---- item data -------------------------------------------------------------------------------

uint32_t TreeModel::storageIndex(const std::shared_ptr<XmlStorage>& storage) {
    for (size_t i = m_storages.size(); i-- > 1;) {
        if (m_storages[i] == storage)
            return static_cast<uint32_t>(i);
    }
    m_storages.push_back(storage);
    return static_cast<uint32_t>(m_storages.size() - 1);
}

XmlNode TreeModel::Tag(ItemId id) const {
    if (id == NoItem)
        return s_noNode;
    const TreeItem& i = at(id);
    if (!i.node)
        return s_noNode;
    _xmlNs* ns = i.namespaceDeclaration ? m_namespaceTags.at(id) : nullptr;
    return XmlNode(i.node, m_storages[i.storage], ns);
}

void TreeModel::SetTag(ItemId id, const XmlNode& node) {
    if (id == NoItem)
        noSuchItem();
    const bool pending = at(id).pending;
    if (pending)
        forgetPending(id);
    TreeItem& i = at(id);
    i.node = node.raw();
    i.storage = node.isNull() ? 0 : storageIndex(node.storage());
    i.namespaceDeclaration = node.isNamespaceDeclaration();
    if (node.isNamespaceDeclaration())
        m_namespaceTags[id] = node.rawNamespace();
    else
        m_namespaceTags.erase(id);
    if (pending) {
        at(id).pending = 0;
        MarkChildrenPending(id);
    }
}

void TreeModel::setLabel(TreeItem& i, const QString& text) {
    const LabelArena::Place place = m_labels.store(text);
    i.labelChunk = place.chunk;
    i.labelOffset = place.offset;
    i.labelLength = place.length;
    i.wideLabel = place.wide;
}

QString TreeModel::label(const TreeItem& i) const {
    return m_labels.text({i.labelChunk, i.labelOffset, i.labelLength, i.wideLabel != 0});
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
    m_pendingByNode.emplace(i.node, id);
    const auto& storage = m_storages[i.storage];
    const bool watched = std::any_of(m_watched.begin(), m_watched.end(),
                                     [&](const XmlNode& n) { return n.storage() == storage; });
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
    const TreeItem& i = item(id);
    if (!i.pending)
        return;
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
    if (m_pendingByNode.empty())
        return;
    std::vector<XmlNode> chain;
    for (XmlNode n = container; n; n = n.parentNode())
        chain.push_back(n);
    for (auto node = chain.rbegin(); node != chain.rend(); ++node) {
        auto range = m_pendingByNode.equal_range(node->raw());
        std::vector<ItemId> due;
        for (auto it = range.first; it != range.second; ++it)
            due.push_back(it->second);
        for (ItemId id : due)
            EnsureChildren(id);
    }
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
    if (ItemOf(index) == NoItem)
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}
