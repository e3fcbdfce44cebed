#pragma once

#include <QHash>
#include <QIcon>
#include <QString>

namespace ModGeneral {
// The icons of the item kinds, by the keys the tree builder gives items.
QHash<QString, QIcon> ItemIcons();
} // namespace ModGeneral
