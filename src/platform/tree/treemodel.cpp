#include "platform/tree/treemodel.h"

#include "platform/errors.h"

#include <algorithm>

const XmlNode TreeModel::s_noNode;
const QString TreeModel::s_noText;

namespace {
[[noreturn]] void noSuchItem() {
    throw DescribedError(QStringLiteral("Element not found: the tree item does not exist."));
}
} // namespace

TreeModel::TreeModel(QObject* parent) : QAbstractItemModel(parent) {
    m_items.resize(1);
    m_items[0].alive = true;
}

TreeModel::~TreeModel() {
    unwatchAll();
}

TreeModel::Item& TreeModel::at(ItemId item) {
    if (item < 0 || item >= static_cast<ItemId>(m_items.size()) ||
        !m_items[static_cast<size_t>(item)].alive)
        noSuchItem();
    return m_items[static_cast<size_t>(item)];
}

const TreeModel::Item& TreeModel::at(ItemId item) const {
    if (item < 0 || item >= static_cast<ItemId>(m_items.size()) ||
        !m_items[static_cast<size_t>(item)].alive)
        noSuchItem();
    return m_items[static_cast<size_t>(item)];
}

bool TreeModel::Exists(ItemId item) const {
    return item > 0 && item < static_cast<ItemId>(m_items.size()) &&
           m_items[static_cast<size_t>(item)].alive;
}

// ---- structure -------------------------------------------------------------------------------

void TreeModel::validateRows(ItemId parent) const {
    Item& p = m_items[static_cast<size_t>(parent)];
    if (p.rowsValid)
        return;
    p.rows.clear();
    int row = 0;
    for (ItemId c = p.first; c != NoItem; c = m_items[static_cast<size_t>(c)].next) {
        m_items[static_cast<size_t>(c)].row = row++;
        p.rows.push_back(c);
    }
    p.rowsValid = true;
}

int TreeModel::rowOf(ItemId item) const {
    validateRows(at(item).parent);
    return at(item).row;
}

void TreeModel::link(ItemId item, ItemId parent, ItemId before) {
    Item& p = at(parent);
    Item& i = at(item);
    i.parent = parent;
    i.next = before;
    i.prev = before ? at(before).prev : p.last;
    if (i.prev)
        at(i.prev).next = item;
    else
        p.first = item;
    if (before)
        at(before).prev = item;
    else
        p.last = item;
    if (p.rowsValid) {
        const int row = i.prev ? at(i.prev).row + 1 : 0;
        p.rows.insert(p.rows.begin() + row, item);
        for (size_t r = static_cast<size_t>(row); r < p.rows.size(); ++r)
            m_items[static_cast<size_t>(p.rows[r])].row = static_cast<int>(r);
    }
}

void TreeModel::unlink(ItemId item) {
    Item& i = at(item);
    Item& p = at(i.parent);
    if (p.rowsValid) {
        p.rows.erase(p.rows.begin() + i.row);
        for (size_t r = static_cast<size_t>(i.row); r < p.rows.size(); ++r)
            m_items[static_cast<size_t>(p.rows[r])].row = static_cast<int>(r);
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
    Item item;
    item.alive = true;
    item.text = text;
    item.image = image;
    m_items.push_back(std::move(item));
    ++m_liveCount;
    const bool notify = m_silent == 0;
    if (notify) {
        validateRows(parent);
        const int row = before ? at(before).row : static_cast<int>(at(parent).rows.size());
        beginInsertRows(IndexOf(parent), row, row);
    }
    link(id, parent, before);
    if (notify)
        endInsertRows();
    return id;
}

void TreeModel::Remove(ItemId item) {
    if (item == NoItem)
        noSuchItem();
    const ItemId parent = at(item).parent;
    const bool notify = m_silent == 0;
    if (notify) {
        const int row = rowOf(item);
        beginRemoveRows(IndexOf(parent), row, row);
    }
    unlink(item);
    std::vector<ItemId> stack{item};
    while (!stack.empty()) {
        const ItemId id = stack.back();
        stack.pop_back();
        Item& i = m_items[static_cast<size_t>(id)];
        for (ItemId c = i.first; c != NoItem; c = m_items[static_cast<size_t>(c)].next)
            stack.push_back(c);
        forgetPending(id);
        i = Item();
        --m_liveCount;
    }
    if (notify)
        endRemoveRows();
}

void TreeModel::Clear() {
    beginResetModel();
    unwatchAll();
    m_pendingByNode.clear();
    m_items.clear();
    m_items.resize(1);
    m_items[0].alive = true;
    m_liveCount = 0;
    endResetModel();
}

int TreeModel::Count() {
    for (size_t i = 1; i < m_items.size(); ++i) {
        if (m_items[i].alive && m_items[i].pending)
            EnsureChildren(static_cast<ItemId>(i));
    }
    return m_liveCount;
}

TreeModel::ItemId TreeModel::Parent(ItemId item) const {
    return at(item).parent;
}

TreeModel::ItemId TreeModel::Child(ItemId item) {
    EnsureChildren(item);
    return at(item).first;
}

TreeModel::ItemId TreeModel::LastChild(ItemId item) {
    EnsureChildren(item);
    return at(item).last;
}

TreeModel::ItemId TreeModel::Next(ItemId item) const {
    return item == NoItem ? NoItem : at(item).next;
}

TreeModel::ItemId TreeModel::Previous(ItemId item) const {
    return item == NoItem ? NoItem : at(item).prev;
}

int TreeModel::ChildCount(ItemId item) {
    EnsureChildren(item);
    validateRows(item);
    return static_cast<int>(at(item).rows.size());
}

// ---- item data -------------------------------------------------------------------------------

XmlNode TreeModel::Tag(ItemId item) const {
    return item == NoItem ? s_noNode : at(item).tag;
}

void TreeModel::SetTag(ItemId item, const XmlNode& node) {
    if (item == NoItem)
        noSuchItem();
    const bool pending = at(item).pending;
    if (pending)
        forgetPending(item);
    at(item).tag = node;
    if (pending)
        MarkChildrenPending(item);
}

QString TreeModel::Text(ItemId item) const {
    return item == NoItem ? s_noText : at(item).text;
}

void TreeModel::SetText(ItemId item, const QString& text) {
    if (item == NoItem)
        noSuchItem();
    at(item).text = text;
    if (m_silent == 0) {
        const QModelIndex index = IndexOf(item);
        emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    }
}

QString TreeModel::Image(ItemId item) const {
    return item == NoItem ? s_noText : at(item).image;
}

void TreeModel::SetImage(ItemId item, const QString& key) {
    if (item == NoItem)
        noSuchItem();
    at(item).image = key;
    if (m_silent == 0) {
        const QModelIndex index = IndexOf(item);
        emit dataChanged(index, index, {Qt::DecorationRole, IconKeyRole});
    }
}

// ---- laziness --------------------------------------------------------------------------------

void TreeModel::MarkChildrenPending(ItemId item) {
    Item& i = at(item);
    if (item == NoItem || i.tag.isNull() || i.pending)
        return;
    i.pending = true;
    m_pendingByNode.emplace(i.tag.raw(), item);
    const auto& storage = i.tag.storage();
    const bool watched = std::any_of(m_watched.begin(), m_watched.end(),
                                     [&](const XmlNode& n) { return n.storage() == storage; });
    if (!watched) {
        i.tag.addChangeListener(this);
        m_watched.push_back(i.tag);
    }
}

bool TreeModel::ChildrenPending(ItemId item) const {
    return item != NoItem && at(item).pending;
}

void TreeModel::EnsureChildren(ItemId item) {
    if (item == NoItem || !at(item).pending)
        return;
    forgetPending(item);
    at(item).pending = false;
    if (!m_loader)
        return;
    // Nothing has seen these children yet: the view learns of them when it asks for rows.
    ++m_silent;
    try {
        m_loader(*this, item);
    } catch (...) {
        --m_silent;
        throw;
    }
    --m_silent;
}

void TreeModel::forgetPending(ItemId item) {
    const Item& i = m_items[static_cast<size_t>(item)];
    if (!i.pending)
        return;
    auto range = m_pendingByNode.equal_range(i.tag.raw());
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == item) {
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
        for (ItemId item : due)
            EnsureChildren(item);
    }
}

void TreeModel::unwatchAll() {
    for (const XmlNode& n : m_watched)
        n.removeChangeListener(this);
    m_watched.clear();
}

// ---- QAbstractItemModel ----------------------------------------------------------------------

QModelIndex TreeModel::IndexOf(ItemId item) const {
    if (item == NoItem)
        return {};
    return createIndex(rowOf(item), 0, static_cast<quintptr>(item));
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
    validateRows(p);
    const auto& rows = m_items[static_cast<size_t>(p)].rows;
    if (row >= static_cast<int>(rows.size()))
        return {};
    return createIndex(row, 0, static_cast<quintptr>(rows[static_cast<size_t>(row)]));
}

QModelIndex TreeModel::parent(const QModelIndex& child) const {
    const ItemId id = ItemOf(child);
    return id == NoItem ? QModelIndex() : IndexOf(m_items[static_cast<size_t>(id)].parent);
}

int TreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0)
        return 0;
    const ItemId p = ItemOf(parent);
    if (parent.isValid() && p == NoItem)
        return 0;
    const_cast<TreeModel*>(this)->EnsureChildren(p);
    validateRows(p);
    return static_cast<int>(m_items[static_cast<size_t>(p)].rows.size());
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
    const Item& i = m_items[static_cast<size_t>(p)];
    return i.pending || i.first != NoItem;
}

QVariant TreeModel::data(const QModelIndex& index, int role) const {
    const ItemId id = ItemOf(index);
    if (id == NoItem)
        return {};
    const Item& i = m_items[static_cast<size_t>(id)];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return i.text;
    case Qt::DecorationRole:
        return m_iconProvider && !i.image.isEmpty() ? m_iconProvider(i.image) : QVariant();
    case IconKeyRole:
        return i.image;
    default:
        return {};
    }
}

Qt::ItemFlags TreeModel::flags(const QModelIndex& index) const {
    if (ItemOf(index) == NoItem)
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}
