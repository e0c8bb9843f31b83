#include "platform/lock.h"

#include <pthread.h>

namespace Kel {
namespace platform {

namespace {
pthread_mutex_t* mutexIn(unsigned char* storage) {
    return reinterpret_cast<pthread_mutex_t*>(storage);
}
} // namespace

static_assert(sizeof(pthread_mutex_t) <= 64, "the lock storage is too small for pthread_mutex_t");

Lock::Lock() : _storage{} {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(mutexIn(_storage), &attributes);
    pthread_mutexattr_destroy(&attributes);
}

Lock::~Lock() {
    pthread_mutex_destroy(mutexIn(_storage));
}

void Lock::enter() {
    pthread_mutex_lock(mutexIn(_storage));
}

void Lock::leave() {
    pthread_mutex_unlock(mutexIn(_storage));
}

} // namespace platform
} // namespace Kel
