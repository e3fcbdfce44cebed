#include "tree/itemicons.h"

#include "tree/treebuilder.h"

namespace ModGeneral {

QHash<QString, QIcon> ItemIcons() {
    QHash<QString, QIcon> icons;
    for (const QString& key : {kElement, kText, kAttribute, kComment, kCData, kPInstructions})
        icons.insert(key, QIcon(QStringLiteral(":/icons/items/%1.svg").arg(key.toLower())));
    return icons;
}

} // namespace ModGeneral
