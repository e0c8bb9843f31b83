#include <kel/collection.h>

#include "kel_test.h"
#include "list_check.h"

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

using namespace Kel;
using kel_test::keysOf;

namespace {
// An element that counts its destruction, has a cost for the typed walks and may delete a partner when it
// goes.
template <typename Base> struct Counted : Base {
    explicit Counted(const char* key, long ownerFlags = 0, int* deaths = nullptr, int cost = 0)
        : Base(ownerFlags, String(key)), _pDeaths(deaths), _iCost(cost) {}
    ~Counted() override {
        if (_pDeaths) {
            ++*_pDeaths;
        }
        delete _pPartner;
    }
    int* _pDeaths;
    int _iCost;
    Counted* _pPartner = nullptr;
};
using Item = Counted<Collectable>;
using Multi = Counted<MultiCollectable>;

void addAll(Collection& c, std::initializer_list<Collectable*> elements) {
    for (Collectable* e : elements) {
        c.addTail(e);
    }
}

static_assert(std::is_nothrow_move_constructible<Collection>::value, "moves must not throw");
static_assert(std::is_nothrow_move_assignable<Collection>::value, "moves must not throw");
} // namespace

TEST(Collection, LinksStayRightInBothDirectionsAndMisuseChangesNothing) {
    Collection c, d;
    Item a("a"), b("b"), x("x"), y("y"), loose("loose");
    addAll(c, {&a, &b});
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
    c.addTail(&y);
    EXPECT_EQ(keysOf(c, d), "b y | a x");

    EXPECT_THROW_REASON(c.addTail(&b), CollectionException, 1);
    EXPECT_THROW_REASON(d.addHead(&b), CollectionException, 1);
    EXPECT_THROW_REASON(c.addTail(nullptr), CollectionException, 4);
    EXPECT_THROW_REASON(d.next(&b), CollectionException, 3);
    EXPECT_THROW_REASON(d.previous(&b), CollectionException, 3);
    EXPECT_THROW_REASON(d.remove(&b, 1), CollectionException, 3);
    EXPECT_THROW_REASON(c.remove(&loose, 0), CollectionException, 3);
    EXPECT_THROW_REASON(c.remove(nullptr, 0), CollectionException, 3);
    c.remove(&b, 0);
    EXPECT_THROW_REASON(c.remove(&b, 0), CollectionException, 3); // removed twice
    EXPECT_THROW_REASON(c.next(&b), CollectionException, 3);      // stepping on from a removed element
    b.remove(1);                                                  // free: nothing to leave
    EXPECT_EQ(keysOf(c, d), "y | a x");
}

TEST(Collection, FindStartsAfterTheGivenElement) {
    Collection c, other;
    Item x1("x"), y("y"), x2("x"), xx("xx"), stranger("x");
    addAll(c, {&x1, &y, &x2, &xx});
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
        SCOPED_TRACE("owner flags " + std::to_string(k[0]) + ", delete flag " + std::to_string(k[1]));
        int deaths = 0;
        Collection c;
        Item* e = new Item("e", k[0], &deaths);
        c.addTail(e);
        e->remove(k[1]); // through the holder's remove(e, flag)
        EXPECT_EQ(deaths, k[2]);
        EXPECT_EQ(keysOf(c), "");
        if (!deaths) {
            delete e;
        }
    }
}

TEST(Collection, DestructionAndRemoveAllLeaveEverythingConsistent) {
    int deaths = 0;
    Item plain("plain", 0, &deaths);
    {
        Collection c(1);
        addAll(c, {new Item("owned", 1, &deaths), &plain}); // plain, owner flags 0: survives, free again
    }
    EXPECT_EQ(deaths, 1);
    Collection c;
    c.addTail(&plain);
    {
        Item first("first"), middle("middle");
        c.addHead(&first);
        addAll(c, {&middle, new Item("last")});
    }
    delete c.previous(nullptr);
    EXPECT_EQ(keysOf(c), "plain");
    c.remove(&plain, 0);

    // removeAll survives elements that delete their successor.
    Item* first = new Item("first", 1, &deaths);
    first->_pPartner = new Item("second", 1, &deaths);
    addAll(c, {first, first->_pPartner, new Item("third", 1, &deaths)});
    c.removeAll(1);
    EXPECT_EQ(deaths, 4);
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
    EXPECT_EQ(keysOf(outer, inner), "(null) | a");
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
    addAll(c, {&a, &b});
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

    // A copy of an element of several collections starts in none, and keeps its membership when assigned to.
    Multi m("m", 1);
    twin.addTail(&m);
    Multi multiCopy(m);
    EXPECT_EQ(multiCopy.collectionCount(), 0ul);
    twin.addTail(&multiCopy);
    multiCopy = Multi("renamed");
    EXPECT_EQ(keysOf(twin), "m renamed");
}

// Moving collections: the elements' links to their holder follow.
TEST(CollectionMove, ElementsFollowTheMovedCollection) {
    int deaths = 0;
    Item a("a"), owned("owned", 1, &deaths);
    Multi m("m");
    Collection other;
    other.addTail(&m);
    {
        Collection source(1);
        addAll(source, {&a, &m, new Item("heap", 1, &deaths)});
        Collection moved(std::move(source));
        EXPECT_EQ(keysOf(moved, source), "a m heap | ");
        EXPECT_EQ(m.collectionCount(), 2ul);

        // Every operation on the elements now goes to the new holder, none to the old one.
        EXPECT_THROW_REASON(source.remove(&a, 0), CollectionException, 3);
        EXPECT_THROW_REASON(source.next(&m), CollectionException, 3);
        EXPECT_EQ(moved.next(&a), &m);
        EXPECT_EQ(moved.previous(&m), &a);
        a.remove(0);
        EXPECT_EQ(keysOf(moved), "m heap");
        m.remove(&moved, 0);
        EXPECT_EQ(keysOf(moved, other), "heap | m");
        moved.addHead(&a);
        source.addTail(&owned); // the moved-from collection is an ordinary empty one
        EXPECT_EQ(keysOf(source), "owned");
        source.remove(&owned, 0);
        EXPECT_EQ(deaths, 0);
    } // moved deletes what consents (the delete-on-destroy flag came along); source has nothing left
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(keysOf(other), "m");
}

TEST(CollectionMove, AssignmentReleasesTheTargetsElementsFirst) {
    int deaths = 0;
    Item kept("kept"), a("a"), b("b");
    Collection target(1), source;
    addAll(target, {&kept, new Item("dropped", 1, &deaths)});
    addAll(source, {&a, &b});
    target = std::move(source);
    EXPECT_EQ(deaths, 1); // the owned element went as the target's destructor would have let it go
    EXPECT_EQ(keysOf(target, source), "a b | ");
    target = std::move(target); // to itself: unchanged
    EXPECT_EQ(keysOf(target), "a b");

    // Moving an outer collection into one that it holds would make that one contain itself: unchanged.
    Collection outer, inner;
    outer.addTail(&inner);
    inner.addTail(&kept); // free again
    inner = std::move(outer);
    EXPECT_EQ(keysOf(outer, inner), "(null) | kept");
    // A held collection that is moved from stays where it is, empty; the new one is free.
    Collection taken(std::move(inner));
    EXPECT_EQ(keysOf(inner, outer, taken), " | (null) | kept");
    outer.addTail(&taken);
    EXPECT_EQ(outer.count(), 2ul);
}

TEST(CollectionMove, CollectionsLiveInAVector) {
    Item a("a"), b("b");
    std::vector<Collection> queues(20);
    addAll(queues[3], {&a, &b});
    queues.resize(40); // the vector grows, moving every collection each time
    queues.resize(160);
    EXPECT_EQ(keysOf(queues[3]), "a b");
    queues.erase(queues.begin()); // shifts by move assignment
    EXPECT_EQ(keysOf(queues[2]), "a b");
    a.remove(0);
    EXPECT_EQ(keysOf(queues[2]), "b");
    queues.clear();
    Collection c;
    c.addTail(&b); // free again after its holder went
}

TEST(CollectionRange, TypedWalkInOrderAndRemovalOfTheCurrentElement) {
    Collection empty;
    for (Collectable& e : empty.items()) {
        ADD_FAILURE() << "an empty collection has no element " << static_cast<const char*>(e.key());
    }
    int deaths = 0, total = 0;
    Collection queue;
    Item a("a", 0, nullptr, 1), b("b", 0, nullptr, 2);
    addAll(queue, {&a, new Item("c", 1, &deaths, 4), &b});
    std::string order;
    for (Item& job : queue.items<Item>()) {
        order += static_cast<const char*>(job.key());
    }
    for (const Item& job : static_cast<const Collection&>(queue).items<Item>()) {
        total += job._iCost;
    }
    EXPECT_EQ(order, "acb");
    EXPECT_EQ(total, 7);

    // The body may take away, even delete, the element it is given.
    for (Item& job : queue.items<Item>()) {
        if (job._iCost >= 2) {
            queue.remove(&job, 1);
        }
    }
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(keysOf(queue), "a");
}

// Elements that belong to several collections at once.
TEST(MultiCollectable, EachCollectionKeepsItsOwnOrderAmongPlainElements) {
    Collection c1, c2;
    Collectable p1(String("p1")), p2(String("p2"));
    Multi a("a"), b("b"), x("x");
    addAll(c1, {&a, &p1, &b, &p2, &x});
    for (Multi* m : {&a, &b, &x}) {
        c2.addHead(m);
    }
    EXPECT_EQ(keysOf(c1, c2), "a p1 b p2 x | x b a");
    std::string walk;
    for (Multi& e : c2.items<Multi>()) {
        walk += static_cast<const char*>(e.key());
    }
    EXPECT_EQ(walk, "xba");
    c1.remove(&p1, 0); // between two multis
    c1.remove(&b, 0);  // between a multi and a plain element
    EXPECT_EQ(keysOf(c1, c2), "a p2 x | x b a");
    a.remove(&c2, 0);
    c1.remove(&x, 0);
    c1.addHead(&b);
    EXPECT_EQ(keysOf(c1, c2), "b a p2 | x b");
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
    EXPECT_EQ(keysOf(c1, c2), "n | ");
}

TEST(MultiCollectable, LeavingOrDyingClearsEveryCollection) {
    int deaths = 0;
    Collection c1, c2;
    Multi m("m", 3, &deaths), n("n", 3, &deaths);
    addAll(c1, {&m, &n});
    addAll(c2, {&m, &n});
    m.remove(1); // leaves all, never deletes
    {
        Multi doomed("doomed");
        c1.addHead(&doomed);
        c2.addTail(&doomed);
    }
    EXPECT_EQ(keysOf(c1, c2), "n | n");
    n.remove(MultiCollectable::allCollections(), 1);
    EXPECT_EQ(deaths, 0);
    EXPECT_EQ(c1.count() + c2.count(), 0ul);
}

TEST(MultiCollectable, Bit0WaitsForTheLastCollectionBit1DoesNot) {
    int deaths = 0;
    Collection c1, c2;
    Multi stay("stay");
    Multi* lastOnly = new Multi("lastOnly", 1, &deaths);
    Multi* anyTime = new Multi("anyTime", 2, &deaths);
    addAll(c1, {lastOnly, anyTime});
    addAll(c2, {&stay, lastOnly, anyTime});
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
