#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// One item of a tree's store, kept to 40 bytes because a fully expanded 100 MB document has
// millions: links by id (the previous sibling is found through the parent's rows), the node by its
// key (its document's storage and a namespace declaration are held by the model), the label
// as a place in a LabelArena and the icon as an index into the model's key table.
struct TreeItem {
    int parent = 0, first = 0, last = 0, next = 0;
    int row = 0; // valid while the parent's rows are valid
    uint32_t labelLength = 0;
    const void* node = nullptr; // XmlNode::Key::node
    uint32_t labelWhere = 0;
    uint32_t alive : 1 = 0;
    uint32_t pending : 1 = 0;
    uint32_t pendingFiled : 1 = 0; // pending and found by its node (see TreeModel::BulkBuild)
    uint32_t rowsValid : 1 = 1;
    uint32_t wideLabel : 1 = 0;
    uint32_t keepsExpanded : 1 = 0;
    uint32_t namespaceDeclaration : 1 = 0;
    uint32_t icon : 6 = 0;
    uint32_t storage : 19 = 0;
};
static_assert(sizeof(TreeItem) <= 40);

// The items by id, in chunks of a fixed size: growing never copies the items already stored,
// and never asks for one block twice the size of all of them.
class TreeItemVector {
public:
    TreeItem& operator[](size_t id) { return m_chunks[id >> kBits][id & kMask]; }
    const TreeItem& operator[](size_t id) const { return m_chunks[id >> kBits][id & kMask]; }
    size_t size() const { return m_size; }
    void push_back(const TreeItem& item);
    void clear();

private:
    static constexpr int kBits = 16;
    static constexpr size_t kMask = (size_t(1) << kBits) - 1;
    std::vector<std::unique_ptr<TreeItem[]>> m_chunks;
    size_t m_size = 0;
};

// Item labels packed one after another in large blocks, Latin-1 where the text allows it. A
// replaced label's old place is not reused: labels change by edits, a few at a time, and the
// whole arena goes with the tree, and a short label met again is kept once. A place is 32 bits: a
// block and an offset in it, or for a label too large to share a block (or once the shared blocks
// are used up) the index of its own block.
class LabelArena {
public:
    struct Place {
        uint32_t where = 0, length = 0;
        bool wide = false;
    };
    Place store(QStringView text);
    QString text(const Place& place) const;
    void clear();

private:
    Place storeNew(QStringView text);
    char* reserve(size_t bytes, size_t alignment, Place& place);
    const char* bytes(const Place& place) const;
    bool holds(const Place& place, QStringView text) const;
    std::vector<std::unique_ptr<char[]>> m_chunks; // shared blocks
    // Short labels repeat (element names, small texts and values): the last stored with each hash
    // is shared. A place is never written again, so sharing it is safe.
    std::array<Place, 1024> m_recent{};
    std::vector<std::unique_ptr<char[]>> m_own; // labels with a block of their own
    size_t m_used = 0;                          // in the last shared block
};
