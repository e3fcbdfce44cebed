#include "tree/itemicons.h"

#include "tree/treebuilder.h"
#include "platform/ui/themedicon.h"

namespace ModGeneral {

QHash<QString, QIcon> ItemIcons() {
    QHash<QString, QIcon> icons;
    for (const QString& key : {kElement, kText, kAttribute, kComment, kCData, kPInstructions})
        icons.insert(key, ThemedIcon(QStringLiteral(":/icons/items/%1.svg").arg(key.toLower())));
    return icons;
}

} // namespace ModGeneral
