// Moving collections (the elements' links to their holder follow) and walking them with range-for.

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
struct Job : Collectable {
    explicit Job(const char* key, int cost = 0, long ownerFlags = 0, int* deaths = nullptr)
        : Collectable(ownerFlags, String(key)), _iCost(cost), _pDeaths(deaths) {}
    ~Job() override {
        if (_pDeaths)
            ++*_pDeaths;
    }
    int _iCost;
    int* _pDeaths;
};

struct Shared : MultiCollectable {
    explicit Shared(const char* key) : MultiCollectable(String(key)) {}
};

static_assert(std::is_nothrow_move_constructible<Collection>::value, "moves must not throw");
static_assert(std::is_nothrow_move_assignable<Collection>::value, "moves must not throw");
} // namespace

TEST(CollectionMove, ElementsFollowTheMovedCollection) {
    int deaths = 0;
    Job a("a"), owned("owned", 0, 1, &deaths);
    Job* heapOwned = new Job("heap", 0, 1, &deaths);
    Shared m("m");
    Collection other;
    other.addTail(&m);
    {
        Collection source(1);
        source.addTail(&a);
        source.addTail(&m);
        source.addTail(heapOwned);
        Collection moved(std::move(source));
        EXPECT_EQ(keysOf(moved), "a m heap");
        EXPECT_EQ(keysOf(source), "");
        EXPECT_EQ(m.collectionCount(), 2ul);

        // Every operation on the elements now goes to the new holder, none to the old one.
        EXPECT_THROW_REASON(source.remove(&a, 0), CollectionException, 3);
        EXPECT_THROW_REASON(source.next(&m), CollectionException, 3);
        EXPECT_EQ(moved.next(&a), &m);
        EXPECT_EQ(moved.previous(&m), &a);
        a.remove(0);
        EXPECT_EQ(keysOf(moved), "m heap");
        m.remove(&moved, 0);
        EXPECT_EQ(keysOf(moved), "heap");
        EXPECT_EQ(keysOf(other), "m");
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
    Job kept("kept"), a("a"), b("b");
    Collection target(1), source;
    target.addTail(&kept);
    target.addTail(new Job("dropped", 0, 1, &deaths));
    source.addTail(&a);
    source.addTail(&b);
    target = std::move(source);
    EXPECT_EQ(deaths, 1); // the owned element went as the target's destructor would have let it go
    EXPECT_EQ(keysOf(target), "a b");
    EXPECT_EQ(keysOf(source), "");
    Collection spare;
    spare.addTail(&kept); // free again
    spare.remove(&kept, 0);

    target = std::move(target); // to itself: unchanged
    EXPECT_EQ(keysOf(target), "a b");

    // Moving an outer collection into one that it holds would make that one contain itself: unchanged.
    Collection outer, inner;
    outer.addTail(&inner);
    inner.addTail(&kept);
    inner = std::move(outer);
    EXPECT_EQ(keysOf(outer), "(null)");
    EXPECT_EQ(keysOf(inner), "kept");
    // A held collection that is moved from stays where it is, empty; the new one is free.
    Collection taken(std::move(inner));
    EXPECT_EQ(keysOf(inner), "");
    EXPECT_EQ(keysOf(outer), "(null)");
    EXPECT_EQ(keysOf(taken), "kept");
    outer.addTail(&taken);
    EXPECT_EQ(outer.count(), 2ul);
}

TEST(CollectionMove, CollectionsLiveInAVector) {
    Job a("a"), b("b");
    std::vector<Collection> queues;
    for (int i = 0; i < 20; ++i) // the vector grows several times, moving every collection
        queues.emplace_back();
    queues[3].addTail(&a);
    queues[3].addTail(&b);
    for (int i = 0; i < 100; ++i)
        queues.emplace_back();
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
        (void)e;
        ADD_FAILURE() << "an empty collection has no elements";
    }

    int deaths = 0;
    Collection queue;
    Job a("a", 1), b("b", 2);
    queue.addTail(&a);
    queue.addTail(new Job("c", 4, 1, &deaths));
    queue.addTail(&b);
    std::string order;
    int total = 0;
    for (Job& job : queue.items<Job>()) {
        order += static_cast<const char*>(job.key());
        total += job._iCost;
    }
    EXPECT_EQ(order, "acb");
    EXPECT_EQ(total, 7);

    const Collection& view = queue;
    int costs = 0;
    for (const Job& job : view.items<Job>())
        costs += job._iCost;
    EXPECT_EQ(costs, 7);

    // The body may take away, even delete, the element it is given.
    for (Job& job : queue.items<Job>())
        if (job._iCost >= 2)
            queue.remove(&job, 1);
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(keysOf(queue), "a");
}

TEST(CollectionRange, SharedElementsWalkEachCollectionInItsOwnOrder) {
    Shared x("x"), y("y");
    Collection first, second;
    first.addTail(&x);
    first.addTail(&y);
    second.addHead(&x);
    second.addHead(&y);
    std::string walk;
    for (Shared& e : first.items<Shared>())
        walk += static_cast<const char*>(e.key());
    walk += "|";
    for (Shared& e : second.items<Shared>())
        walk += static_cast<const char*>(e.key());
    EXPECT_EQ(walk, "xy|yx");
}
