#include "PhotoList.h"

#include <stdexcept>

TPhotoInfo* PhotoList::at(int index) const
{
    if (index < 0 || index >= count())
        throw std::out_of_range("photo list position out of range");
    return entries_[size_t(index)].get();
}

int PhotoList::indexOf(const TPhotoInfo* info) const
{
    for (int i = 0; i < count(); ++i)
        if (entries_[size_t(i)].get() == info)
            return i;
    return -1;
}

void PhotoList::setCurrent(int index)
{
    if (index < -1 || index >= count())
        throw std::out_of_range("photo list position out of range");
    current_ = index;
}

TPhotoInfo* PhotoList::append(std::unique_ptr<TPhotoInfo> info)
{
    entries_.push_back(std::move(info));
    return entries_.back().get();
}

int PhotoList::remove(int index)
{
    if (index < 0 || index >= count())
        throw std::out_of_range("photo list position out of range");
    entries_.erase(entries_.begin() + index);
    current_ = -1;
    if (index < count())
        return index;
    return index > 0 ? index - 1 : -1;
}

void PhotoList::clear()
{
    while (!entries_.empty())
        entries_.pop_back();
    current_ = -1;
}

int PhotoList::previousIndex() const
{
    return current_ > 0 ? current_ - 1 : -1;
}

int PhotoList::nextIndex() const
{
    return current_ >= 0 && current_ + 1 < count() ? current_ + 1 : -1;
}
