#include "platform/tree/itemstore.h"

#include <algorithm>
#include <cstring>

void TreeItemVector::push_back(const TreeItem& item) {
    if ((m_size >> kBits) == m_chunks.size())
        m_chunks.push_back(std::make_unique<TreeItem[]>(kMask + 1));
    (*this)[m_size++] = item;
}

void TreeItemVector::clear() {
    m_chunks.clear();
    m_size = 0;
}

namespace {
constexpr size_t kChunkBytes = size_t(1) << 20;
} // namespace

char* LabelArena::reserve(size_t bytes, size_t alignment, Place& place) {
    if (bytes > kChunkBytes / 4) {
        m_chunks.push_back(std::make_unique_for_overwrite<char[]>(bytes));
        place.chunk = static_cast<uint32_t>(m_chunks.size() - 1);
        place.offset = 0;
        return m_chunks.back().get();
    }
    m_used = (m_used + alignment - 1) / alignment * alignment;
    if (!m_started || m_used + bytes > kChunkBytes) {
        m_chunks.push_back(std::make_unique_for_overwrite<char[]>(kChunkBytes));
        m_current = static_cast<uint32_t>(m_chunks.size() - 1);
        m_used = 0;
        m_started = true;
    }
    place.chunk = m_current;
    place.offset = static_cast<uint32_t>(m_used);
    m_used += bytes;
    return m_chunks[m_current].get() + place.offset;
}

LabelArena::Place LabelArena::store(QStringView text) {
    Place place;
    if (text.isEmpty())
        return place;
    place.length = static_cast<uint32_t>(text.size());
    place.wide = std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0xff; });
    if (place.wide) {
        char* to = reserve(text.size() * sizeof(char16_t), alignof(char16_t), place);
        std::memcpy(to, text.utf16(), text.size() * sizeof(char16_t));
    } else {
        char* to = reserve(static_cast<size_t>(text.size()), 1, place);
        for (qsizetype i = 0; i < text.size(); ++i)
            to[i] = static_cast<char>(text[i].unicode());
    }
    return place;
}

QString LabelArena::text(const Place& place) const {
    if (place.length == 0)
        return {};
    const char* from = m_chunks[place.chunk].get() + place.offset;
    if (place.wide)
        return QString(reinterpret_cast<const QChar*>(from), place.length);
    return QString::fromLatin1(from, place.length);
}

void LabelArena::clear() {
    m_chunks.clear();
    m_current = 0;
    m_used = 0;
    m_started = false;
}
