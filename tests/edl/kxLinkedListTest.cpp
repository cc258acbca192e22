// The sorted, intrusive list that holds a project's takes.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "edl/kxLinkedList.h"

namespace {

int alive = 0;  // items constructed and not yet released

class KeyedItem : public kxListItem {
public:
    KeyedItem(int64_t sortKey, std::string itemName) : key(sortKey), name(std::move(itemName)) {
        ++alive;
    }
    ~KeyedItem() override { --alive; }
    int64_t GetLocation() const override { return key; }

    int64_t key;
    std::string name;
};

// The names from head to tail, after checking that the links agree both ways and
// with the count.
std::string Order(const kxLinkedList& list) {
    std::string forward;
    int visited = 0;
    const kxListItem* last = nullptr;
    for (const kxListItem* item = list.head; item != nullptr; item = item->next) {
        EXPECT_EQ(item->prev, last) << "broken prev link";
        forward += static_cast<const KeyedItem*>(item)->name + " ";
        last = item;
        ++visited;
    }
    EXPECT_EQ(list.tail, last);
    EXPECT_EQ(visited, list.GetCount());
    return forward;
}

}  // namespace

TEST(kxLinkedList, KeepsKeysAscendingAndEqualKeysInArrivalOrder) {
    {
        kxLinkedList list;
        auto* first = new KeyedItem(5, "5a");
        EXPECT_EQ(list.addItem(first), first);
        EXPECT_EQ(list.head, first);
        EXPECT_EQ(list.tail, first);
        EXPECT_EQ(first->next, nullptr);
        EXPECT_EQ(first->prev, nullptr);
        list.addItem(new KeyedItem(3, "3"));
        list.addItem(new KeyedItem(5, "5b"));
        list.addItem(new KeyedItem(1, "1"));
        EXPECT_EQ(Order(list), "1 3 5a 5b ");

        list.addItem(new KeyedItem(0, "0"));   // below every key: the new head
        list.addItem(new KeyedItem(5, "5c"));  // equal to the greatest: the new tail
        // Keys are 64-bit: truncated to 32 bits, 2^32 + 2 would sort as 2.
        list.addItem(new KeyedItem((int64_t{1} << 32) + 2, "big"));
        list.addItem(new KeyedItem(-(int64_t{1} << 40), "negative"));
        list.addItem(new KeyedItem(4, "4"));
        EXPECT_EQ(Order(list), "negative 0 1 3 4 5a 5b 5c big ");
        EXPECT_EQ(list.addItem(nullptr), nullptr);
        EXPECT_EQ(list.GetCount(), 9);
        EXPECT_EQ(alive, 9);
    }
    EXPECT_EQ(alive, 0) << "the list's destructor releases its items";
}

TEST(kxLinkedList, RemovesUpdatesComparesAndReleases) {
    kxLinkedList list;
    list.removeItem(nullptr);
    auto* lone = new KeyedItem(1, "lone");
    list.removeItem(lone);  // not in the empty list: nothing happens
    EXPECT_EQ(list.GetCount(), 0);
    list.addItem(lone);
    KeyedItem stranger(2, "stranger");
    list.removeItem(&stranger);  // a one-item list is emptied whatever the argument
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.head, nullptr);
    EXPECT_EQ(list.tail, nullptr);
    delete lone;

    auto* a = new KeyedItem(10, "a");
    auto* b = new KeyedItem(20, "b");
    auto* c = new KeyedItem(20, "c");
    auto* d = new KeyedItem(30, "d");
    for (KeyedItem* item : {d, b, a, c}) list.addItem(item);
    EXPECT_EQ(Order(list), "a b c d ");
    list.removeItem(nullptr);
    EXPECT_EQ(Order(list), "a b c d ");

    list.removeItem(b);  // middle
    EXPECT_EQ(Order(list), "a c d ");
    list.removeItem(a);  // head
    EXPECT_EQ(Order(list), "c d ");
    list.removeItem(d);  // tail
    EXPECT_EQ(Order(list), "c ");
    for (KeyedItem* item : {a, b, d}) list.addItem(item);
    EXPECT_EQ(Order(list), "a c b d ");

    a->key = 20;  // raised to an existing key: goes behind the items that hold it
    EXPECT_EQ(list.updateItem(a), a);
    EXPECT_EQ(Order(list), "c b a d ");
    d->key = 0;
    list.updateItem(d);
    EXPECT_EQ(Order(list), "d c b a ");

    EXPECT_EQ(a->compare(nullptr), -1);
    EXPECT_EQ(a->compare(b), 0);
    EXPECT_EQ(d->compare(a), -1);
    EXPECT_EQ(a->compare(d), 1);
    const KeyedItem far((int64_t{1} << 33), "far");
    EXPECT_EQ(a->compare(&far), -1) << "compared as 64-bit keys";

    list.deleteItem(c);
    EXPECT_EQ(Order(list), "d b a ");
    EXPECT_EQ(alive, 5);  // three in the list, plus `far` and `stranger`
    list.deleteItem(nullptr);
    list.removeAll();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.head, nullptr);
    EXPECT_EQ(list.tail, nullptr);
    EXPECT_EQ(alive, 2);
    list.removeAll();
    EXPECT_EQ(Order(list), "");
}
