#include <kel/collection.h>

#include "kel_test.h"
#include "list_check.h"

using namespace Kel;
using kel_test::keysOf;

namespace {
struct Multi : MultiCollectable {
    explicit Multi(const char* key, long ownerFlags = 0, int* deaths = nullptr)
        : MultiCollectable(ownerFlags, String(key)), _pDeaths(deaths) {}
    ~Multi() override {
        if (_pDeaths)
            ++*_pDeaths;
    }
    int* _pDeaths;
};
} // namespace

TEST(MultiCollectable, EachCollectionKeepsItsOwnOrderAmongPlainElements) {
    Collection c1, c2;
    Collectable p1(String("p1")), p2(String("p2"));
    Multi a("a"), b("b"), x("x");
    c1.addTail(&a);
    c1.addTail(&p1);
    c1.addTail(&b);
    c1.addTail(&p2);
    c1.addTail(&x);
    for (Multi* m : {&a, &b, &x})
        c2.addHead(m);
    EXPECT_EQ(keysOf(c1), "a p1 b p2 x");
    EXPECT_EQ(keysOf(c2), "x b a");
    c1.remove(&p1, 0); // between two multis
    c1.remove(&b, 0);  // between a multi and a plain element
    EXPECT_EQ(keysOf(c1), "a p2 x");
    EXPECT_EQ(keysOf(c2), "x b a");
    a.remove(&c2, 0);
    c1.remove(&x, 0);
    c1.addHead(&b);
    EXPECT_EQ(keysOf(c1), "b a p2");
    EXPECT_EQ(keysOf(c2), "x b");
}

TEST(MultiCollectable, MisuseThrowsAndLeavesNoRecordBehind) {
    Collection c1, c2, stranger;
    Multi m("m"), n("n");
    c1.addTail(&n);
    for (int round = 0; round < 20; ++round) {
        (round % 2) ? c1.addHead(&m) : c1.addTail(&m);
        EXPECT_THROW_REASON(c1.addHead(&m), CollectionException, 1);
        c2.addTail(&m); // a second collection is fine
        EXPECT_THROW_REASON(stranger.next(&m), CollectionException, 3);
        EXPECT_THROW_REASON(stranger.remove(&m, 1), CollectionException, 3);
        EXPECT_THROW_REASON(m.remove(&stranger, 0), CollectionException, 3);
        c1.remove(&m, 0);
        m.remove(&c2, 0);
        EXPECT_THROW_REASON(c2.remove(&m, 0), CollectionException, 3);
        EXPECT_EQ(m.collectionCount(), 0ul);
    }
    EXPECT_EQ(keysOf(c1), "n");
    EXPECT_EQ(keysOf(c2), "");
}

TEST(MultiCollectable, LeavingOrDyingClearsEveryCollection) {
    int deaths = 0;
    Collection c1, c2;
    Multi m("m", 3, &deaths), n("n", 3, &deaths);
    for (Collection* c : {&c1, &c2}) {
        c->addTail(&m);
        c->addTail(&n);
    }
    m.remove(1); // leaves all, never deletes
    {
        Multi doomed("doomed");
        c1.addHead(&doomed);
        c2.addTail(&doomed);
    }
    EXPECT_EQ(keysOf(c1), "n");
    EXPECT_EQ(keysOf(c2), "n");
    n.remove(MultiCollectable::allCollections(), 1);
    EXPECT_EQ(deaths, 0);
    EXPECT_EQ(c1.count() + c2.count(), 0ul);
}

TEST(MultiCollectable, Bit0WaitsForTheLastCollectionBit1DoesNot) {
    int deaths = 0;
    Collection c1, c2;
    Multi stay("stay");
    c2.addTail(&stay);
    Multi* lastOnly = new Multi("lastOnly", 1, &deaths);
    Multi* anyTime = new Multi("anyTime", 2, &deaths);
    for (Multi* m : {lastOnly, anyTime}) {
        c1.addTail(m);
        c2.addTail(m);
    }
    c1.remove(lastOnly, 1); // still in c2: kept
    EXPECT_EQ(deaths, 0);
    c1.remove(anyTime, 1); // deleted at once, and gone from c2 too
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(keysOf(c2), "stay lastOnly");
    {
        Collection owning(1);
        owning.addTail(&stay); // owner flags 0: survives
    }
    c2.removeAll(1); // lastOnly's last collection
    EXPECT_EQ(deaths, 2);
}

TEST(MultiCollectable, ACopyStartsInNoCollection) {
    Collection c;
    Multi m("m", 1);
    c.addTail(&m);
    Multi copy(m);
    EXPECT_EQ(copy.collectionCount(), 0ul);
    c.addTail(&copy);
    copy = Multi("renamed"); // keeps its membership
    EXPECT_EQ(keysOf(c), "m renamed");
}
