#include "ui/components/ListLayout.h"

#include <algorithm>

ListLayout::~ListLayout()
{
    while (QLayoutItem* item = takeAt(0))
        delete item;
}

void ListLayout::addItem(QLayoutItem* item)
{
    items_.push_back(item);
}

int ListLayout::count() const
{
    return static_cast<int>(items_.size());
}

QLayoutItem* ListLayout::itemAt(int index) const
{
    return index >= 0 && index < count() ? items_[static_cast<std::size_t>(index)] : nullptr;
}

QLayoutItem* ListLayout::takeAt(int index)
{
    if (index < 0 || index >= count())
        return nullptr;
    QLayoutItem* item = items_[static_cast<std::size_t>(index)];
    items_.erase(items_.begin() + index);
    return item;
}

int ListLayout::heightAt(QLayoutItem* item, int width)
{
    const int wanted = item->hasHeightForWidth() ? item->heightForWidth(width) : item->sizeHint().height();
    return std::max(wanted, item->minimumSize().height());
}
