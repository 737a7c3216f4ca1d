#pragma once

#include "PhotoInfo.h"

#include <memory>
#include <vector>

// The opened photos in the order they were opened, each only its settings record, and which
// one is current. The list owns the records; the photo view refers to the current one.
class PhotoList {
public:
    int count() const { return int(entries_.size()); }
    bool isEmpty() const { return entries_.empty(); }
    TPhotoInfo* at(int index) const;
    // The position of a record of this list, or -1.
    int indexOf(const TPhotoInfo* info) const;

    // -1 and nullptr while no photo is current.
    int currentIndex() const { return current_; }
    TPhotoInfo* current() const { return current_ < 0 ? nullptr : at(current_); }
    // Makes the entry at index current (-1: none).
    void setCurrent(int index);

    // Appends a record at the end; which photo is current does not change.
    TPhotoInfo* append(std::unique_ptr<TPhotoInfo> info);

    // Frees the entry at index and leaves no photo current. Returns the entry that takes its
    // place as current: the one that followed it (now at index), else the one before it,
    // else -1 when the list is empty.
    int remove(int index);
    // Frees every entry, from the last to the first.
    void clear();

    // The neighbours of the current photo; -1 at either end (no wrapping) or without one.
    int previousIndex() const;
    int nextIndex() const;

private:
    std::vector<std::unique_ptr<TPhotoInfo>> entries_;
    int current_ = -1;
};
