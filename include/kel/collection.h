#ifndef KEL_COLLECTION_H
#define KEL_COLLECTION_H

// Intrusive doubly linked collections of keyed elements, and elements that belong to several collections
// at once.
//
// The list operations are virtual members of the element: a Collection asks each element to link itself
// in, unlink itself and step to its neighbours, passing itself, so that MultiCollectable can keep its
// links per collection. Collectable keeps one pair of links and belongs to at most one collection;
// MultiCollectable keeps one pair per collection that holds it. Both kinds may be mixed in one collection.
//
// A Collection does not own its elements. Removing an element deletes it only when the caller asks (a
// non-zero delete flag) and the element consents (canIDeleteYou()).
//
// Threads: each Collection owns a re-entrant lock held by addHead, addTail, remove and removeAll (with the
// deletion of removed elements). next, previous, find, first, last, count and the range-for of items()
// take no lock: a thread that walks a collection while others add or remove holds a lock of its own (a
// Mutex that every thread changing the collection takes as well) for the whole walk. A plain Collectable is
// added and removed through one collection at a time; a MultiCollectable guards its own records, so several
// threads may move it between collections. No operation holds two collection locks at once, except that
// deleting a removed element runs its destructor, which takes the locks of the collections that still hold
// it, and that a move holds the target's lock, then the source's.
//
// CollectionException reasons:
//   1  the element is already held: by another collection (Collectable), or by this one (MultiCollectable)
//   2  the element is this collection, or a collection that holds this one directly or through nested
//      collections; linking it would make a collection contain itself. Reason 1 wins when both apply (an
//      element that is held already is refused as such first). Found by walking up the holders of this
//      collection (nesting is changed by one thread at a time).
//   3  the element is not held by the collection it is stepped from or removed from (a null element
//      included)
//   4  a null element is given to addHead or addTail

#include <kel/foundation.h>
#include <kel/string.h>

#include <cstddef>
#include <cstdint>
#include <iterator>

namespace Kel {

class Collection;
class MultiCollectable;

// The GNU and LLVM compilers warn that next(Collectable*) and previous(Collectable*) hide the element
// slots of the same names (the warning points at the slots); the hiding is wanted, so that c.next(0) keeps
// its single meaning.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Woverloaded-virtual"
#endif

/// An element that a Collection can hold: its own next and previous links, the collection that holds it
/// (none when free), a text key, owner flags and a being-deleted mark.
///
/// Owner flags: bit 0 lets a collection delete the element when it removes it with a non-zero delete flag.
/// MultiCollectable also reads bit 1.
///
/// A copy takes the key and the owner flags and nothing else: it starts free, unlinked and not being
/// deleted. Assignment copies the key and the owner flags and leaves the target's membership as it is.
///
/// Subclasses that override the link slots (addToCollectionHead to removeFrom) call the implementation
/// they override; an element that keeps its links elsewhere derives from MultiCollectable.
class KEL_API Collectable {
    friend class Collection;
    friend class MultiCollectable;

public:
    /// Free, with owner flags 0 and the given key.
    explicit Collectable(const String& key = String());
    ///@{
    /// Free, with the given owner flags and key.
    Collectable(long ownerFlags, const String& key);
    ///@}
    ///@{
    /// Copy construction and assignment, as the class comment describes.
    Collectable(const Collectable& o);
    Collectable& operator=(const Collectable& o);
    ///@}

protected:
    ///@{
    /// Links this element in at the head / tail of c. Throws CollectionException(1), changing nothing,
    /// when the element already has a holder.
    virtual void addToCollectionHead(Collection* c);
    virtual void addToCollectionTail(Collection* c);
    ///@}
    ///@{
    /// The neighbour within c; none at the end. Throws CollectionException(3) when c does not hold this.
    virtual Collectable* next(Collection* c);
    virtual Collectable* previous(Collection* c);
    ///@}
    /// Unlinks this element from c, keeping c's head and tail right, and makes it free. Throws
    /// CollectionException(3), changing nothing, when c does not hold this.
    virtual void removeFrom(Collection* c);
    /// 1 when a collection may delete this element on removal: bit 0 of the owner flags is set and the
    /// element is not being deleted already; otherwise 0.
    virtual long canIDeleteYou() const;

public:
    /// Marks the element as being deleted, then leaves its holder (never deleting it a second time).
    virtual ~Collectable();
    /// Leaves the holder through the holder's remove(this, deleteFlag), which may delete this element; a
    /// free element does nothing.
    virtual void remove(long deleteFlag);

    /// The key, as given at construction or by assignment.
    const String& key() const { return _key; }

protected:
    /// Non-zero once the destructor has begun.
    long isBeingDeleted() const { return _lBeingDeleted; }

private:
    /// Writes the next / previous link that e keeps for c. e is held by c.
    static void setNextIn(Collectable* e, Collection* c, Collectable* link);
    static void setPreviousIn(Collectable* e, Collection* c, Collectable* link);
    /// e, held by from, is now held by to (a moved collection).
    static void changeHolder(Collectable* e, const Collection* from, Collection* to) noexcept;

    Collectable* _pNext;
    Collectable* _pPrevious;
    Collection* _pHolder;
    String _key;
    std::int32_t _lOwnerFlags;
    std::int32_t _lBeingDeleted;
};

/// An intrusive doubly linked list of Collectables, itself a Collectable (with a null key) so that
/// collections can be nested. It keeps its head, its tail, its count, the flag it passes as the delete
/// flag for every element when it is destroyed, and its own re-entrant lock.
///
/// A copy is an empty collection with the source's key, owner flags and delete-on-destroy flag, a lock of
/// its own and no holder. Assignment copies the key, the owner flags and the delete-on-destroy flag;
/// the target keeps its elements, its lock and its holder.
///
/// A move takes the elements: they stay where they are in memory and now name the target as their
/// holder. Each object keeps its own lock and its own place in a collection that holds it. The
/// moved-from collection is empty and keeps its delete-on-destroy flag.
///
/// Range-for walks the elements from the head, each seen as a T (every element must be one):
/// \code
/// for (Job& job : queue.items<Job>())
///     job.run();
/// \endcode
/// The loop body may remove, or remove and delete, the element it is given (the walk has taken the next
/// one already), but no other element.
class KEL_API Collection : public Collectable {
    friend class Collectable;
    friend class MultiCollectable;

public:
    ///@{
    /// Empty. When deleteOnDestroy is non-zero the destructor deletes every element that consents.
    explicit Collection(long deleteOnDestroy = 0);
    ///@}
    ///@{
    /// Copy construction and assignment, as the class comment describes.
    Collection(const Collection& o);
    Collection& operator=(const Collection& o);
    ///@}
    ///@{
    /// Moves, as the class comment describes. The assignment first removes the target's elements with
    /// its delete-on-destroy flag, as its destructor would, and takes the source's delete-on-destroy
    /// flag, key and owner flags. A collection moved to itself, or into a collection that it holds
    /// (directly or nested), which would then contain itself, is left unchanged.
    Collection(Collection&& o) noexcept;
    Collection& operator=(Collection&& o) noexcept;
    ///@}
    /// Removes every element with the delete-on-destroy flag, then leaves its own holder.
    ~Collection() override;

    template <typename T> class Range;
    /// The elements from head to tail as T&, for range-for (see the class comment).
    template <typename T = Collectable> Range<T> items() { return Range<T>(this); }
    /// The same as const T&.
    template <typename T = Collectable> Range<const T> items() const {
        return Range<const T>(const_cast<Collection*>(this));
    }

    ///@{
    /// Links e in at the tail / head under the lock. Throws CollectionException 4 (null e), 1 (e already
    /// held) or 2 (e would contain this collection); the collection and its count are then unchanged.
    virtual void addTail(Collectable* e);
    virtual void addHead(Collectable* e);
    ///@}
    ///@{
    /// With none, the head / tail; otherwise e's neighbour here, none at the end. Throws
    /// CollectionException(3) when e is not held here.
    virtual Collectable* next(Collectable* e);
    virtual Collectable* previous(Collectable* e);
    ///@}
    /// The first element after `after` (from the head when none) whose key equals key; none when no later
    /// element matches. Throws CollectionException(3) when `after` is not held here.
    virtual Collectable* find(const String& key, Collectable* after = nullptr);
    /// Unlinks e under the lock, then deletes it when deleteFlag is non-zero and e consents. Throws
    /// CollectionException(3), changing nothing, when e is not held here.
    virtual void remove(Collectable* e, long deleteFlag);
    /// Removes every element, head first, with deleteFlag, holding the lock throughout.
    virtual void removeAll(long deleteFlag);

    /// Collectable::remove(long): this collection leaves its own holder.
    using Collectable::remove;

    /// The number of elements.
    unsigned long count() const { return _ulCount; }

protected:
    ///@{
    /// The head / tail element; null when the collection is empty.
    Collectable* first() const { return _pFirst; }
    Collectable* last() const { return _pLast; }
    ///@}
    ///@{
    /// Overwrite the head / tail pointer, for elements that keep their links elsewhere.
    void first(Collectable* e) { _pFirst = e; }
    void last(Collectable* e) { _pLast = e; }
    ///@}

private:
    /// Throws when linking e would make a collection contain itself: CollectionException(1) when e is
    /// held already, CollectionException(2) otherwise.
    void refuseCycle(const Collectable* e) const;
    /// True when c is this collection or holds it, directly or through nested collections.
    bool isWithin(const Collection* c) const;
    /// Takes o's elements, which must be empty here.
    void takeElementsOf(Collection& o) noexcept;

    Collectable* _pFirst;
    Collectable* _pLast;
    std::int32_t _lDeleteOnDestroy;
    std::uint32_t _ulCount;
    /// The collection's re-entrant lock lives here, inside the object, for the object's lifetime.
    alignas(16) unsigned char _lock[64];
};

/// A forward walk over a collection's elements as T, for range-for. It keeps the element after the
/// current one, so that the current one may leave the collection during the walk.
template <typename T> class Collection::Range {
public:
    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = T*;
        using reference = T&;

        iterator() = default;
        T& operator*() const { return static_cast<T&>(*_pCurrent); }
        T* operator->() const { return static_cast<T*>(_pCurrent); }
        iterator& operator++() {
            _pCurrent = _pFollowing;
            _pFollowing = _pCurrent ? _pCollection->next(_pCurrent) : nullptr;
            return *this;
        }
        iterator operator++(int) {
            iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const iterator& o) const { return _pCurrent == o._pCurrent; }
        bool operator!=(const iterator& o) const { return _pCurrent != o._pCurrent; }

    private:
        friend class Range;
        iterator(Collection* c, Collectable* e)
            : _pCollection(c), _pCurrent(e), _pFollowing(e ? c->next(e) : nullptr) {}

        Collection* _pCollection = nullptr;
        Collectable* _pCurrent = nullptr;
        Collectable* _pFollowing = nullptr;
    };

    explicit Range(Collection* c) : _pCollection(c) {}
    iterator begin() const { return iterator(_pCollection, _pCollection->next(nullptr)); }
    iterator end() const { return iterator(); }

private:
    Collection* _pCollection;
};

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

/// An element that several collections can hold at once, each at most once. It keeps one record per
/// holding collection, with the element's neighbours in that collection; a record is released as soon as
/// the element leaves its collection.
///
/// Owner flags: bit 0 lets a collection delete the element on removal when no other collection holds it
/// any more; bit 1 lets a collection delete it even while others still hold it (the destructor then takes
/// it out of them, under their locks).
///
/// A copy takes the key and the owner flags and starts held by no collection; assignment copies the key
/// and the owner flags and leaves the target's memberships as they are.
class KEL_API MultiCollectable : public Collectable {
public:
    /// Held by no collection, with owner flags 0 and the given key.
    explicit MultiCollectable(const String& key = String());
    ///@{
    /// Held by no collection, with the given owner flags and key.
    MultiCollectable(long ownerFlags, const String& key);
    ///@}
    ///@{
    /// Copy construction and assignment, as the class comment describes.
    MultiCollectable(const MultiCollectable& o);
    MultiCollectable& operator=(const MultiCollectable& o);
    ///@}

    /// The marker that remove(Collection*, long) reads as "every collection": the all-ones pointer value.
    static Collection* allCollections() { return reinterpret_cast<Collection*>(~std::uintptr_t(0)); }

protected:
    ///@{
    /// Links this element in at the head / tail of c. Throws CollectionException(1), changing nothing,
    /// when c already holds it.
    void addToCollectionHead(Collection* c) override;
    void addToCollectionTail(Collection* c) override;
    ///@}
    ///@{
    /// The neighbour within c; none at the end. Throws CollectionException(3) when c does not hold this.
    Collectable* next(Collection* c) override;
    Collectable* previous(Collection* c) override;
    ///@}
    /// Unlinks this element from c and releases its record for c. Throws CollectionException(3), changing
    /// nothing, when c does not hold this.
    void removeFrom(Collection* c) override;
    /// 0 while being deleted; otherwise 1 when bit 1 of the owner flags is set, or bit 0 is set and no
    /// collection holds the element; otherwise 0.
    long canIDeleteYou() const override;

public:
    /// Marks the element as being deleted and takes it out of every collection that holds it.
    ~MultiCollectable() override;
    /// Leaves every collection that holds it; never deletes, whatever deleteFlag says.
    void remove(long deleteFlag) override;
    /// Leaves c through c->remove(this, 0), or every holding collection when c is allCollections(). Never
    /// deletes; deleteFlag has no effect. Throws CollectionException(3) when c does not hold this.
    virtual void remove(Collection* c, long deleteFlag);

    /// The number of collections that hold this element.
    unsigned long collectionCount() const;

private:
    class Position;

    /// The record for c, or none. Called with the records' lock held.
    Position* positionFor(const Collection* c) const;
    void linkInto(Collection* c, bool atHead);
    /// Writes the next (nextLink) or previous link of the record for c, when there is one.
    void setLinkIn(Collection* c, Collectable* link, bool nextLink);
    /// The record for from now names to: the element's membership follows a moved collection.
    void changeHolder(const Collection* from, Collection* to) noexcept;
    void leaveAll();

    friend class Collectable;

    Collection _positions;
};

} // namespace Kel

#endif
