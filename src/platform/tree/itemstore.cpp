#include "platform/tree/itemstore.h"

#include <algorithm>
#include <cstring>

#include <QHashFunctions>

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
constexpr int kOffsetBits = 20;
constexpr size_t kChunkBytes = size_t(1) << kOffsetBits;
constexpr uint32_t kOwnBlock = uint32_t(1) << 31;
constexpr size_t kMaxChunks = kOwnBlock >> kOffsetBits;
constexpr qsizetype kShortLabel = 24;
} // namespace

char* LabelArena::reserve(size_t bytes, size_t alignment, Place& place) {
    m_used = (m_used + alignment - 1) / alignment * alignment;
    const bool fits = !m_chunks.empty() && m_used + bytes <= kChunkBytes;
    if (bytes > kChunkBytes / 4 || (!fits && m_chunks.size() == kMaxChunks)) {
        m_own.push_back(std::make_unique_for_overwrite<char[]>(bytes));
        place.where = kOwnBlock | static_cast<uint32_t>(m_own.size() - 1);
        return m_own.back().get();
    }
    if (!fits) {
        m_chunks.push_back(std::make_unique_for_overwrite<char[]>(kChunkBytes));
        m_used = 0;
    }
    place.where = static_cast<uint32_t>(((m_chunks.size() - 1) << kOffsetBits) | m_used);
    char* to = m_chunks.back().get() + m_used;
    m_used += bytes;
    return to;
}

const char* LabelArena::bytes(const Place& place) const {
    return place.where & kOwnBlock
               ? m_own[place.where & ~kOwnBlock].get()
               : m_chunks[place.where >> kOffsetBits].get() + (place.where & (kChunkBytes - 1));
}

bool LabelArena::holds(const Place& place, QStringView text) const {
    if (place.length != static_cast<uint32_t>(text.size()))
        return false;
    const char* from = bytes(place);
    if (place.wide)
        return std::memcmp(from, text.utf16(), text.size() * sizeof(char16_t)) == 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (static_cast<unsigned char>(from[i]) != text[i].unicode())
            return false;
    }
    return true;
}

LabelArena::Place LabelArena::store(QStringView text) {
    if (text.isEmpty())
        return {};
    Place* recent = nullptr;
    if (text.size() <= kShortLabel) {
        recent = &m_recent[qHash(text) % m_recent.size()];
        if (holds(*recent, text))
            return *recent;
    }
    const Place place = storeNew(text);
    if (recent)
        *recent = place;
    return place;
}

LabelArena::Place LabelArena::storeNew(QStringView text) {
    Place place;
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
    const char* from = bytes(place);
    if (place.wide)
        return QString(reinterpret_cast<const QChar*>(from), place.length);
    return QString::fromLatin1(from, place.length);
}

void LabelArena::clear() {
    m_chunks.clear();
    m_own.clear();
    m_used = 0;
    m_recent.fill({});
}
