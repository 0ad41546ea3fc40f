#pragma once
// List-box helpers of the department pairs. An item's ItemData (a 32-bit
// number) is kept under Qt::UserRole.

#include <QListWidget>
#include <cstdint>
#include <vector>

namespace pMjList {

// Appends an item with its ItemData.
void AddItem(QListWidget* list, const QString& text, std::int32_t itemData);
// Moves the selected items of `from`, in order, to the end of `to`; the item at
// from's former current index is selected again when it still exists.
void MoveSelectedItems(QListWidget* from, QListWidget* to);
// Moves every item of `from`, in order, to the end of `to`.
void MoveAllItems(QListWidget* from, QListWidget* to);
// ItemData of the item at `index`; -1 for an index of -1 or less.
std::int32_t ListItemData(const QListWidget* list, int index);
// ItemData of every item, first to last.
std::vector<std::int32_t> AllItemData(const QListWidget* list);

}  // namespace pMjList
