#include <kel/collection.h>

#include "kel_test.h"
#include "list_check.h"

#include <cstddef>
#include <cstring>

using namespace Kel;
using kel_test::keysOf;

namespace {
// An element that counts its destruction and may delete a partner when it goes.
struct Item : Collectable {
    explicit Item(const char* key, long ownerFlags = 0, int* deaths = nullptr)
        : Collectable(ownerFlags, String(key)), _pDeaths(deaths) {}
    ~Item() override {
        if (_pDeaths)
            ++*_pDeaths;
        delete _pPartner;
    }
    int* _pDeaths;
    Item* _pPartner = nullptr;
};
} // namespace

TEST(Collection, LinksStayRightInBothDirectionsThroughRemoveAndReAdd) {
    Collection c, d;
    Item a("a"), b("b"), x("x");
    c.addTail(&a);
    c.addTail(&b);
    c.addHead(&x);
    EXPECT_EQ(keysOf(c), "x a b");
    c.remove(&a, 0);
    EXPECT_EQ(keysOf(c), "x b");
    c.remove(&x, 0);
    c.remove(&b, 0);
    EXPECT_EQ(keysOf(c), "");
    c.addHead(&b);
    c.addHead(&a);
    d.addTail(&x);
    c.remove(&a, 0);
    d.addHead(&a);
    EXPECT_EQ(keysOf(c), "b");
    EXPECT_EQ(keysOf(d), "a x");
}

TEST(Collection, MisuseThrowsAndChangesNothing) {
    Collection c, d;
    Item a("a"), b("b"), loose("loose");
    c.addTail(&a);
    c.addTail(&b);
    EXPECT_THROW_REASON(c.addTail(&a), CollectionException, 1);
    EXPECT_THROW_REASON(d.addHead(&b), CollectionException, 1);
    EXPECT_THROW_REASON(c.addTail(nullptr), CollectionException, 4);
    EXPECT_THROW_REASON(d.next(&a), CollectionException, 3);
    EXPECT_THROW_REASON(d.previous(&a), CollectionException, 3);
    EXPECT_THROW_REASON(d.remove(&a, 1), CollectionException, 3);
    EXPECT_THROW_REASON(c.remove(&loose, 0), CollectionException, 3);
    EXPECT_THROW_REASON(c.remove(nullptr, 0), CollectionException, 3);
    c.remove(&a, 0);
    EXPECT_THROW_REASON(c.remove(&a, 0), CollectionException, 3); // removed twice
    EXPECT_THROW_REASON(c.next(&a), CollectionException, 3);      // stepping on from a removed element
    a.remove(1);                                                  // free: nothing to leave
    EXPECT_EQ(keysOf(c), "b");
    EXPECT_EQ(keysOf(d), "");
}

TEST(Collection, FindStartsAfterTheGivenElement) {
    Collection c, other;
    Item x1("x"), y("y"), x2("x"), xx("xx"), stranger("x");
    for (Item* e : {&x1, &y, &x2, &xx})
        c.addTail(e);
    other.addTail(&stranger);
    EXPECT_EQ(c.find(String("x")), &x1);
    EXPECT_EQ(c.find(String("x"), &x1), &x2);
    EXPECT_EQ(c.find(String("x"), &x2), nullptr);
    EXPECT_EQ(c.find(String("xx"), &xx), nullptr);
    EXPECT_EQ(c.find(String()), nullptr);
    EXPECT_THROW_REASON(c.find(String("x"), &stranger), CollectionException, 3);
}

TEST(Collection, RemovalDeletesOnlyWithBothConsents) {
    const long cases[][3] = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 1}, {3, 7, 1}, {2, 1, 0}};
    for (const auto& k : cases) {
        int deaths = 0;
        Collection c;
        Item* e = new Item("e", k[0], &deaths);
        c.addTail(e);
        e->remove(k[1]); // through the holder's remove(e, flag)
        EXPECT_EQ(deaths, k[2]) << "owner flags " << k[0] << ", delete flag " << k[1];
        EXPECT_EQ(keysOf(c), "");
        if (!deaths)
            delete e;
    }
}

TEST(Collection, DestructionLeavesEverythingConsistent) {
    int deaths = 0;
    Item plain("plain", 0, &deaths);
    Item* owned = new Item("owned", 1, &deaths);
    {
        Collection c(1);
        c.addTail(owned);
        c.addTail(&plain); // owner flags 0: survives, free again
    }
    EXPECT_EQ(deaths, 1);
    Collection c;
    c.addTail(&plain);
    {
        Item first("first"), middle("middle");
        c.addHead(&first);
        c.addTail(&middle);
        c.addTail(new Item("last"));
    }
    delete c.previous(nullptr);
    EXPECT_EQ(keysOf(c), "plain");
}

TEST(Collection, RemoveAllSurvivesElementsThatDeleteTheirSuccessor) {
    int deaths = 0;
    Collection c;
    Item* first = new Item("first", 1, &deaths);
    first->_pPartner = new Item("second", 1, &deaths);
    c.addTail(first);
    c.addTail(first->_pPartner);
    c.addTail(new Item("third", 1, &deaths));
    c.removeAll(1);
    EXPECT_EQ(deaths, 3);
    EXPECT_EQ(keysOf(c), "");
}

TEST(Collection, NestsButNeverContainsItself) {
    Collection outer, middle, inner;
    Item a("a");
    outer.addTail(&middle);
    middle.addTail(&inner);
    inner.addTail(&a);
    EXPECT_THROW_REASON(outer.addTail(&outer), CollectionException, 2);
    EXPECT_THROW_REASON(inner.addTail(&outer), CollectionException, 2);
    // Already held and a cycle as well: "already held" comes first.
    EXPECT_THROW_REASON(inner.addHead(&middle), CollectionException, 1);
    EXPECT_THROW_REASON(inner.addTail(&inner), CollectionException, 1);
    EXPECT_THROW_REASON(middle.addTail(&middle), CollectionException, 1);
    EXPECT_EQ(keysOf(outer), "(null)");
    EXPECT_EQ(keysOf(inner), "a");
    outer.remove(&middle, 1); // a collection's owner flags are 0: never deleted
    inner.addTail(&outer);
    EXPECT_EQ(keysOf(inner), "a (null)");
    {
        Collection nested(1);
        outer.addTail(&nested);
    }
    EXPECT_EQ(outer.count(), 0ul);
}

TEST(Collection, CopiesNeverShareMembership) {
    int deaths = 0;
    Collection c;
    Item a("a", 1), b("b");
    c.addTail(&a);
    c.addTail(&b);
    Item copy(a);
    c.addHead(&copy);    // the copy is free
    b = Item("renamed"); // takes key and flags, stays where it is
    EXPECT_EQ(keysOf(c), "a a renamed");
    Collection twin(c), assigned(1);
    assigned.addTail(new Item("kept", 1, &deaths));
    assigned = c; // keeps its element, takes the flag 0
    EXPECT_EQ(twin.count() + assigned.count() + c.count(), 4ul);
    assigned.removeAll(1);
    EXPECT_EQ(deaths, 1);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
namespace {
// In the Itanium C++ ABI a pointer to a virtual member function holds 1 + the byte offset of its slot.
template <typename F> std::ptrdiff_t slotOf(F f) {
    std::ptrdiff_t raw[2];
    static_assert(sizeof(F) == sizeof(raw), "unexpected member pointer size");
    std::memcpy(raw, &f, sizeof(raw));
    return (raw[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

// Overrides share the slots they override; slots 6 and 7 hold the ABI's two destructor entries.
struct SlotProbe : MultiCollectable {
    static void check() {
        EXPECT_EQ(slotOf(&SlotProbe::addToCollectionHead), 0);
        EXPECT_EQ(slotOf(&SlotProbe::addToCollectionTail), 1);
        EXPECT_EQ(slotOf(&SlotProbe::next), 2);
        EXPECT_EQ(slotOf(&SlotProbe::previous), 3);
        EXPECT_EQ(slotOf(&SlotProbe::removeFrom), 4);
        EXPECT_EQ(slotOf(&SlotProbe::canIDeleteYou), 5);
        EXPECT_EQ(slotOf(static_cast<void (Collectable::*)(long)>(&Collectable::remove)), 8);
        EXPECT_EQ(
            slotOf(static_cast<void (MultiCollectable::*)(Collection*, long)>(&MultiCollectable::remove)), 9);
    }
};
} // namespace

TEST(Collection, VirtualOperationsKeepTheirSlotOrder) {
    SlotProbe::check();
    using Step = Collectable* (Collection::*)(Collectable*);
    EXPECT_EQ(slotOf(&Collection::addTail), 9);
    EXPECT_EQ(slotOf(&Collection::addHead), 10);
    EXPECT_EQ(slotOf(static_cast<Step>(&Collection::next)), 11);
    EXPECT_EQ(slotOf(static_cast<Step>(&Collection::previous)), 12);
    EXPECT_EQ(slotOf(&Collection::find), 13);
    EXPECT_EQ(slotOf(static_cast<void (Collection::*)(Collectable*, long)>(&Collection::remove)), 14);
    EXPECT_EQ(slotOf(&Collection::removeAll), 15);
}
#endif
