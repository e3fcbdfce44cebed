#pragma once

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
    struct Item {
        ItemId parent = NoItem, first = NoItem, last = NoItem, prev = NoItem, next = NoItem;
        int row = 0; // valid while the parent's row list is valid
        bool alive = false;
        bool pending = false;
        bool rowsValid = true;
        XmlNode tag;
        QString text;
        QString image;
        std::vector<ItemId> rows; // child ids by row, cached
    };

    void aboutToChange(const XmlNode& container) override;
    Item& at(ItemId item);
    const Item& at(ItemId item) const;
    void validateRows(ItemId parent) const;
    int rowOf(ItemId item) const;
    void link(ItemId item, ItemId parent, ItemId before);
    void unlink(ItemId item);
    void forgetPending(ItemId item);
    void unwatchAll();

    mutable std::vector<Item> m_items; // [0] is the invisible root
    int m_liveCount = 0;
    int m_silent = 0; // building pending children the view has never seen: no signals
    ChildLoader m_loader;
    std::function<QVariant(const QString&)> m_iconProvider;
    std::unordered_multimap<const void*, ItemId> m_pendingByNode;
    std::vector<XmlNode> m_watched; // one node per document storage we listen to
    static const XmlNode s_noNode;
    static const QString s_noText;
};
