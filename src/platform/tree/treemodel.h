#pragma once

#include "platform/tree/itemstore.h"
#include "platform/xml/xmlnode.h"

#include <QAbstractItemModel>
#include <QString>
#include <functional>
#include <unordered_map>
#include <vector>

// The item store of a tree control, shown through QAbstractItemModel. Items are addressed by a
// stable Index (1, 2, ... in the order of creation; 0 is "no item"). The order of items is the
// store's own: it is built from the DOM, but edits can make it differ, so it is never derived
// from the DOM.
//
// Children may be left pending: the first time anything needs a pending item's children (the
// view, navigation, adding or removing a child, counting), the child loader builds them from
// the item's Tag at that moment. A change of the Tag's node in the DOM builds them first, so
// that laziness is never observable.
class TreeModel : public QAbstractItemModel, private XmlChangeListener {
    Q_OBJECT
public:
    using ItemId = int;
    static constexpr ItemId NoItem = 0;
    enum Relationship { tvwFirst = 0, tvwLast = 1, tvwNext = 2, tvwPrevious = 3, tvwChild = 4 };
    static constexpr int IconKeyRole = Qt::UserRole + 1;

    explicit TreeModel(QObject* parent = nullptr);
    ~TreeModel() override;

    // Adds an item placed by `relationship` to `relative`; with NoItem as relative, a last
    // top-level item.
    ItemId Add(ItemId relative, Relationship relationship, const QString& text,
               const QString& image = QString());
    ItemId Add(const QString& text, const QString& image = QString()) {
        return Add(NoItem, tvwLast, text, image);
    }
    // Adds a last child of `parent` (a last top-level item with NoItem) that shows `node`, with its
    // label and icon: one step for each of the millions of items a builder may make.
    ItemId AddShowing(ItemId parent, const XmlNode& node, const QString& text,
                      const QString& image);
    // Removes the item with all its descendants.
    void Remove(ItemId item);
    void Clear();
    // Every item, pending ones included.
    int Count();
    bool IsEmpty() const { return m_items[0].first == NoItem; }
    bool Exists(ItemId item) const;

    ItemId Parent(ItemId item) const;
    ItemId Child(ItemId item);
    ItemId LastChild(ItemId item);
    ItemId Next(ItemId item) const;
    ItemId Previous(ItemId item) const;
    ItemId FirstTopLevel() const { return m_items[0].first; }
    int ChildCount(ItemId item);

    XmlNode Tag(ItemId item) const;
    // Whether the item's Tag is `node`, without making a handle.
    bool Shows(ItemId item, const XmlNode& node) const;
    void SetTag(ItemId item, const XmlNode& node);
    QString Text(ItemId item) const;
    void SetText(ItemId item, const QString& text);
    QString Image(ItemId item) const;
    void SetImage(ItemId item, const QString& key);

    // Laziness. The loader fills an item's children from its Tag.
    using ChildLoader = std::function<void(TreeModel&, ItemId)>;
    void SetChildLoader(ChildLoader loader) { m_loader = std::move(loader); }
    void MarkChildrenPending(ItemId item);
    bool ChildrenPending(ItemId item) const;
    void EnsureChildren(ItemId item);
    // Items that exist now, pending children not built.
    int BuiltCount() const { return m_liveCount; }
    // While one lives, items marked pending are listed instead of being filed by their node: a
    // walk that builds nearly all of them straight away (Expand All) saves filing and unfiling
    // each. Those still pending are filed when it ends, and before any change of the DOM.
    class BulkBuild {
    public:
        explicit BulkBuild(TreeModel& model) : m_model(model) { ++m_model.m_bulk; }
        ~BulkBuild();
        BulkBuild(const BulkBuild&) = delete;
        BulkBuild& operator=(const BulkBuild&) = delete;

    private:
        TreeModel& m_model;
    };

    // Calls `watcher` with the number of rows the view has asked for so far, every few thousand
    // rows; an empty function stops it. A layout of millions of rows passes over the events so.
    void WatchRowsAsked(std::function<void(qint64)> watcher);

    // An item without children that was expanded: the view keeps no state for it, so the store
    // does, and the view shows its children expanded once it has some.
    bool KeepsExpanded(ItemId item) const { return item != NoItem && at(item).keepsExpanded; }
    void SetKeepsExpanded(ItemId item, bool keeps) { at(item).keepsExpanded = keeps; }

    // Icons: the view side turns icon keys into pictures.
    void SetIconProvider(std::function<QVariant(const QString&)> provider) {
        m_iconProvider = std::move(provider);
    }

    QModelIndex IndexOf(ItemId item) const;
    ItemId ItemOf(const QModelIndex& index) const;

    // QAbstractItemModel
    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void aboutToChange(const XmlNode& container) override;
    TreeItem& at(ItemId item);
    const TreeItem& at(ItemId item) const;
    TreeItem& item(ItemId id) const { return m_items[static_cast<size_t>(id)]; }
    void validateRows(ItemId parent) const;
    int rowOf(ItemId item) const;
    int rowCountOf(ItemId parent) const;
    ItemId childAt(ItemId parent, int row) const;
    ItemId previousOf(ItemId item) const;
    TreeItem newItem(const QString& text, const QString& image);
    ItemId insert(ItemId parent, ItemId before, const TreeItem& created);
    void setNode(TreeItem& item, ItemId id, const XmlNode& node);
    void link(ItemId item, ItemId parent, ItemId before);
    void unlink(ItemId item);
    void forgetPending(ItemId item);
    void fileListedPending();
    void forgetRows(ItemId parent) const;
    void unwatchAll();
    void setLabel(TreeItem& item, const QString& text);
    QString label(const TreeItem& item) const;
    uint32_t iconIndex(const QString& key);
    uint32_t ownerIndex(const XmlNode::Owner& owner);
    void resetStore();

    mutable TreeItemVector m_items; // [0] is the invisible root
    int m_liveCount = 0;
    int m_silent = 0; // building pending children the view has never seen: no signals
    LabelArena m_labels;
    std::vector<QString> m_iconKeys;                     // [0] is no icon
    std::vector<XmlNode::Owner> m_owners; // [0] is no node
    std::unordered_map<ItemId, const void*> m_namespaceTags; // items showing a declaration
    // Parents with many children keep their children by row; the others are walked, from the
    // last child asked for when the view goes down the rows in order.
    mutable std::unordered_map<ItemId, std::vector<ItemId>> m_rows;
    mutable ItemId m_cursorParent = NoItem, m_cursorItem = NoItem;
    ChildLoader m_loader;
    std::function<QVariant(const QString&)> m_iconProvider;
    std::unordered_multimap<const void*, ItemId> m_pendingByNode;
    std::vector<ItemId> m_listedPending; // marked pending during a BulkBuild, not filed yet
    int m_bulk = 0;
    std::function<void(qint64)> m_rowsWatcher;
    mutable qint64 m_rowsAsked = 0;
    std::vector<XmlNode> m_watched; // one node per document storage we listen to
    static const XmlNode s_noNode;
    static const QString s_noText;
};
