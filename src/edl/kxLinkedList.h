// The project's sorted list: an intrusive, doubly linked list whose items carry
// their own links and supply their sort key through GetLocation(). addItem keeps
// the list in ascending key order and puts an item behind every item of equal key,
// so takes come out oldest first, ties in the order they were added.
//
// The list owns its items: removeAll and the destructor release them;
// removeItem only unlinks. This header depends on nothing else of proj2wav.
#pragma once

#include <cstdint>

class kxListItem {
public:
    kxListItem() = default;
    kxListItem(const kxListItem&) = delete;
    kxListItem& operator=(const kxListItem&) = delete;
    virtual ~kxListItem() = default;

    // The sort key; the base returns 0.
    virtual int64_t GetLocation() const { return 0; }
    // -1, 0 or 1 as this item's key is below, equal to or above the other's;
    // -1 for a null other.
    virtual int32_t compare(const kxListItem* other) const;

    kxListItem* next = nullptr;
    kxListItem* prev = nullptr;
};

class kxLinkedList {
public:
    kxLinkedList() = default;
    kxLinkedList(const kxLinkedList&) = delete;
    kxLinkedList& operator=(const kxLinkedList&) = delete;
    ~kxLinkedList() { removeAll(); }

    int32_t GetCount() const { return count; }
    // Link `item` directly behind / in front of a neighbour, keys unseen; nothing
    // when either is null.
    void addAfter(kxListItem* item, kxListItem* after);
    void addBefore(kxListItem* item, kxListItem* before);
    // Sorted insertion; returns `item` (null for a null item).
    kxListItem* addItem(kxListItem* item);
    // Unlinks `item` (which must be in this list) without releasing it.
    void removeItem(kxListItem* item);
    // Releases every item.
    void removeAll();

    int32_t count = 0;
    kxListItem* head = nullptr;
    kxListItem* tail = nullptr;
};
