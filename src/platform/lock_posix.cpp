#include "platform/lock.h"

#include <atomic>
#include <cstdint>
#include <new>

#include <pthread.h>
#if __has_include(<sys/single_threaded.h>)
#include <sys/single_threaded.h>
#define KEL_KNOWS_SINGLE_THREADED 1
#endif
#if defined(__linux__)
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>
#else
#include <sched.h>
#endif

namespace Kel {
namespace platform {

namespace {

// The lock's word: free, held, or held with threads that may be asleep waiting for it. A holder's
// re-entry and an uncontended enter and leave are each one atomic instruction on the word, with no call
// into the system; only a thread that must wait, and the holder that leaves while one may be waiting,
// go to the kernel.
enum : int { freeWord = 0, heldWord = 1, contendedWord = 2 };

struct State {
    std::atomic<int> word;
    // The holding thread's identity, 0 when free. Only the holder writes its own identity here and
    // clears it before leaving, so a thread that reads its own identity holds the lock: a relaxed read
    // is enough.
    std::atomic<std::uintptr_t> owner;
    // How often the holder has entered; touched by the holder only.
    unsigned long depth;
};

static_assert(sizeof(State) <= 64 && alignof(State) <= 16, "the lock storage is too small");

State& stateIn(unsigned char* storage) {
    return *std::launder(reinterpret_cast<State*>(storage));
}

// Distinct for every running thread and never 0: the thread's own control block.
std::uintptr_t currentThread() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__aarch64__))
    return reinterpret_cast<std::uintptr_t>(__builtin_thread_pointer());
#else
    return reinterpret_cast<std::uintptr_t>(pthread_self());
#endif
}

#if defined(__linux__)
void sleepWhile(std::atomic<int>& word, int value) {
    // Returns at once when the word no longer holds value; wake-ups may be spurious: the caller looks again.
    ::syscall(SYS_futex, reinterpret_cast<int*>(&word), FUTEX_WAIT_PRIVATE, value, nullptr, nullptr, 0);
}

void wakeOne(std::atomic<int>& word) {
    ::syscall(SYS_futex, reinterpret_cast<int*>(&word), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}
#else
// Without a way to sleep on a word, a waiting thread gives its time slice away and looks again.
void sleepWhile(std::atomic<int>&, int) {
    sched_yield();
}

void wakeOne(std::atomic<int>&) {}
#endif

// Waits until the word is taken by this thread. The word is then marked contended, as another thread may
// still be waiting, so the leave that follows wakes one.
void acquireContended(std::atomic<int>& word, int seen) {
    if (seen != contendedWord) {
        seen = word.exchange(contendedWord, std::memory_order_acquire);
    }
    while (seen != freeWord) {
        sleepWhile(word, contendedWord);
        seen = word.exchange(contendedWord, std::memory_order_acquire);
    }
}

// True while the process has a single thread. Nothing can then take the word at the same time, so it is
// read and written without the bus lock of an atomic exchange, as the C library's own mutexes do. The
// mark goes false before a second thread starts, and that start orders everything written before it.
bool aloneInProcess() {
#if defined(KEL_KNOWS_SINGLE_THREADED)
    return __libc_single_threaded != 0;
#else
    return false;
#endif
}

} // namespace

Lock::Lock() : _storage{} {
    State* s = new (_storage) State;
    s->word.store(freeWord, std::memory_order_relaxed);
    s->owner.store(0, std::memory_order_relaxed);
    s->depth = 0;
}

Lock::~Lock() {
    stateIn(_storage).~State();
}

void Lock::enter() {
    State& s = stateIn(_storage);
    const std::uintptr_t me = currentThread();
    if (s.owner.load(std::memory_order_relaxed) == me) {
        ++s.depth;
        return;
    }
    int seen = freeWord;
    if (aloneInProcess() && s.word.load(std::memory_order_relaxed) == freeWord) {
        s.word.store(heldWord, std::memory_order_relaxed);
    } else if (!s.word.compare_exchange_strong(seen, heldWord, std::memory_order_acquire,
                                               std::memory_order_relaxed)) {
        acquireContended(s.word, seen);
    }
    s.owner.store(me, std::memory_order_relaxed);
    s.depth = 1;
}

void Lock::leave() {
    State& s = stateIn(_storage);
    if (--s.depth > 0) {
        return;
    }
    s.owner.store(0, std::memory_order_relaxed);
    if (aloneInProcess()) {
        s.word.store(freeWord, std::memory_order_relaxed);
    } else if (s.word.exchange(freeWord, std::memory_order_release) == contendedWord) {
        wakeOne(s.word);
    }
}

} // namespace platform
} // namespace Kel
