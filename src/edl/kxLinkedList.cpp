#include "edl/kxLinkedList.h"

int32_t kxListItem::compare(const kxListItem* other) const {
    if (other == nullptr) return -1;
    if (GetLocation() == other->GetLocation()) return 0;
    return GetLocation() < other->GetLocation() ? -1 : 1;
}

void kxLinkedList::addAfter(kxListItem* item, kxListItem* after) {
    if (item == nullptr || after == nullptr) return;
    kxListItem* following = after->next;
    if (following == nullptr) {
        tail = item;
        if (head == nullptr) head = item;
    } else {
        following->prev = item;
    }
    item->next = following;
    item->prev = after;
    after->next = item;
    ++count;
}

void kxLinkedList::addBefore(kxListItem* item, kxListItem* before) {
    if (item == nullptr || before == nullptr) return;
    kxListItem* preceding = before->prev;
    if (preceding == nullptr) {
        head = item;
        if (tail == nullptr) tail = item;
    } else {
        preceding->next = item;
    }
    item->prev = preceding;
    item->next = before;
    before->prev = item;
    ++count;
}

kxListItem* kxLinkedList::addItem(kxListItem* item) {
    if (item == nullptr) return nullptr;
    if (count == 0 || head == nullptr) {
        item->prev = nullptr;
        item->next = nullptr;
        head = tail = item;
        ++count;
        return item;
    }
    const int64_t key = item->GetLocation();
    // Items that arrive in key order go straight behind the tail, where the scan
    // below would put them too.
    if (tail->GetLocation() <= key) {
        addAfter(item, tail);
        return item;
    }
    for (kxListItem* n = head; n != nullptr; n = n->next) {
        if (n->GetLocation() > key) {
            addBefore(item, n);
            return item;
        }
    }
    addAfter(item, tail);
    return item;
}

void kxLinkedList::removeItem(kxListItem* item) {
    if (item == nullptr || count == 0) return;
    if (count == 1) {
        count = 0;
        head = tail = nullptr;
        return;
    }
    if (item == head) {
        head = item->next;
        head->prev = nullptr;
    } else if (item == tail) {
        tail = item->prev;
        tail->next = nullptr;
    } else {
        if (item->prev != nullptr) item->prev->next = item->next;
        if (item->next != nullptr) item->next->prev = item->prev;
    }
    --count;
}

void kxLinkedList::removeAll() {
    kxListItem* item = head;
    while (item != nullptr) {
        kxListItem* following = item->next;
        delete item;
        item = following;
    }
    count = 0;
    head = tail = nullptr;
}
