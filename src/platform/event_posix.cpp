#include "platform/event.h"

#include <cerrno>
#include <ctime>
#include <new>
#include <pthread.h>

namespace Kel {
namespace platform {

namespace {

// A signal goes to a waiting thread that has not been released yet, as a release; with no such thread it
// is kept in `set` for the next wait. Counting releases, rather than keeping a single flag, lets two
// quick signals release two waiting threads, as they would a system event.
struct State {
    pthread_mutex_t mutex;
    pthread_cond_t condition;
    unsigned long waiting;  // threads inside wait()
    unsigned long releases; // signals given to waiting threads and not yet taken; never above waiting
    bool set;
};

static_assert(sizeof(State) <= 128 && alignof(State) <= 16, "the event storage is too small");

State& stateIn(unsigned char* storage) {
    return *std::launder(reinterpret_cast<State*>(storage));
}

// The condition variable times its waits on the monotonic clock, so that setting the wall clock
// neither stretches nor cuts a wait.
bool initialise(State& s) {
    pthread_condattr_t attributes;
    if (pthread_condattr_init(&attributes) != 0) {
        return false;
    }
    bool made = pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC) == 0 &&
                pthread_cond_init(&s.condition, &attributes) == 0;
    pthread_condattr_destroy(&attributes);
    if (!made) {
        return false;
    }
    if (pthread_mutex_init(&s.mutex, nullptr) != 0) {
        pthread_cond_destroy(&s.condition);
        return false;
    }
    s.waiting = 0;
    s.releases = 0;
    s.set = false;
    return true;
}

timespec deadlineAfter(std::uint32_t milliseconds) {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    t.tv_sec += static_cast<time_t>(milliseconds / 1000);
    t.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (t.tv_nsec >= 1000000000L) {
        t.tv_sec += 1;
        t.tv_nsec -= 1000000000L;
    }
    return t;
}

} // namespace

Event::Event() : _storage{} {
    State* s = new (_storage) State;
    if (!initialise(*s)) {
        throw std::bad_alloc();
    }
}

Event::~Event() {
    State& s = stateIn(_storage);
    pthread_cond_destroy(&s.condition);
    pthread_mutex_destroy(&s.mutex);
}

void Event::set() {
    State& s = stateIn(_storage);
    pthread_mutex_lock(&s.mutex);
    if (s.waiting > s.releases) {
        ++s.releases;
        pthread_cond_signal(&s.condition);
    } else {
        s.set = true;
    }
    pthread_mutex_unlock(&s.mutex);
}

bool Event::wait(std::uint32_t milliseconds) {
    State& s = stateIn(_storage);
    pthread_mutex_lock(&s.mutex);
    if (s.set) {
        s.set = false;
        pthread_mutex_unlock(&s.mutex);
        return true;
    }
    ++s.waiting;
    if (milliseconds == infinite) {
        while (s.releases == 0) {
            pthread_cond_wait(&s.condition, &s.mutex);
        }
    } else if (milliseconds > 0) {
        const timespec deadline = deadlineAfter(milliseconds);
        while (s.releases == 0) {
            if (pthread_cond_timedwait(&s.condition, &s.mutex, &deadline) == ETIMEDOUT) {
                break;
            }
        }
    }
    const bool released = s.releases > 0;
    if (released) {
        --s.releases;
    }
    --s.waiting;
    pthread_mutex_unlock(&s.mutex);
    return released;
}

} // namespace platform
} // namespace Kel
