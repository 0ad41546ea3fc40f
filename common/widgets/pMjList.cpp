#include "pMjList.h"

#include <memory>

namespace pMjList {

void AddItem(QListWidget* list, const QString& text, std::int32_t itemData) {
    auto* item = new QListWidgetItem(text, list);
    item->setData(Qt::UserRole, itemData);
}

void MoveSelectedItems(QListWidget* from, QListWidget* to) {
    const int remembered = from->currentRow();
    for (int i = 0; i < from->count(); ++i) {
        const QListWidgetItem* item = from->item(i);
        if (item->isSelected())
            AddItem(to, item->text(), ListItemData(from, i));
    }
    for (int i = from->count() - 1; i >= 0; --i) {
        if (!from->item(i)->isSelected())
            continue;
        const std::unique_ptr<QListWidgetItem> taken(from->takeItem(i));
    }
    from->clearSelection();
    if (remembered >= 0 && remembered < from->count()) {
        from->setCurrentRow(remembered);
    } else {
        from->setCurrentRow(-1);
    }
}

void MoveAllItems(QListWidget* from, QListWidget* to) {
    for (int i = 0; i < from->count(); ++i)
        AddItem(to, from->item(i)->text(), ListItemData(from, i));
    from->clear();
}

std::int32_t ListItemData(const QListWidget* list, int index) {
    if (index < 0 || index >= list->count())
        return -1;
    return list->item(index)->data(Qt::UserRole).toInt();
}

std::vector<std::int32_t> AllItemData(const QListWidget* list) {
    std::vector<std::int32_t> out;
    for (int i = 0; i < list->count(); ++i)
        out.push_back(ListItemData(list, i));
    return out;
}

}  // namespace pMjList
