#ifndef KEL_TESTS_COLLECTION_LIST_CHECK_H
#define KEL_TESTS_COLLECTION_LIST_CHECK_H

#include <kel/collection.h>

#include <string>

namespace kel_test {

// The keys of c walking forward ("a b c", "(null)" for a null key), after checking that the backward walk
// meets the same elements and that the count agrees; otherwise a description of the damage.
inline std::string keysOf(Kel::Collection& c) {
    std::string forward, backward;
    unsigned long walked = 0;
    auto text = [](Kel::Collectable* e) { return e->key().isNull() ? "(null)" : std::string(e->key()); };
    for (Kel::Collectable* e = c.next(nullptr); e && walked <= c.count(); e = c.next(e), ++walked) {
        forward += (forward.empty() ? "" : " ") + text(e);
    }
    for (Kel::Collectable* e = c.previous(nullptr); e && walked <= 2 * c.count();
         e = c.previous(e), ++walked) {
        backward = text(e) + (backward.empty() ? "" : " ") + backward;
    }
    if (forward != backward || walked != 2 * c.count()) {
        return "count " + std::to_string(c.count()) + ", forward [" + forward + "] backward [" + backward +
               "]";
    }
    return forward;
}

// The keys of several collections, " | " between them.
template <typename... More> std::string keysOf(Kel::Collection& c, Kel::Collection& next, More&... more) {
    return keysOf(c) + " | " + keysOf(next, more...);
}

} // namespace kel_test

#endif
