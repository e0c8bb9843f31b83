#ifndef KEL_SRC_PROFILE_TEXT_INDEX_H
#define KEL_SRC_PROFILE_TEXT_INDEX_H

// The look-up table of large profiles: from a text (a section name, an entry key) to the first link
// that carries it. Open addressing over slots that keep each text's hash, length and first bytes, so
// that a look-up reads the link's own text only to confirm a long match.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace Kel {
namespace detail {

// A hash of the length bytes at text, read eight at a time.
inline std::uint64_t hashText(const char* text, std::size_t length) {
    const std::uint64_t multiplier = 0x9E3779B97F4A7C15ull;
    std::uint64_t hash = length * multiplier;
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        std::uint64_t chunk;
        std::memcpy(&chunk, text + i, 8);
        hash = (hash ^ chunk) * multiplier;
        hash ^= hash >> 29;
    }
    std::uint64_t tail = 0;
    std::memcpy(&tail, text + i, length - i);
    hash = (hash ^ tail) * multiplier;
    return hash ^ (hash >> 32);
}

// textOf(link) gives the text a link carries; the link keeps it unchanged while it is indexed.
template <class Link, const char* (*textOf)(const Link*)> class TextIndex {
public:
    // The first link added with this text; null when there is none.
    Link* find(const char* text, std::size_t length) const {
        if (_slots.empty()) {
            return nullptr;
        }
        const std::uint64_t hash = hashText(text, length);
        const std::size_t mask = _slots.size() - 1;
        for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
            const Slot& slot = _slots[i];
            if (slot.link == nullptr) {
                return nullptr;
            }
            if (slot.hash == hash && slot.length == length && matches(slot, text, length)) {
                return slot.link;
            }
        }
    }

    // Adds link under its text, unless a link with the same text is there already.
    void addFirst(Link* link) {
        const char* text = textOf(link);
        const std::size_t length = std::strlen(text);
        if (find(text, length) != nullptr) {
            return;
        }
        if ((_count + 1) * 2 > _slots.size()) {
            grow();
        }
        Slot slot;
        slot.hash = hashText(text, length);
        slot.length = length;
        std::memcpy(slot.head, text, length < sizeof slot.head ? length : sizeof slot.head);
        slot.link = link;
        place(slot);
        ++_count;
    }

private:
    struct Slot {
        std::uint64_t hash = 0;
        std::size_t length = 0;
        char head[16] = {};
        Link* link = nullptr;
    };

    static bool matches(const Slot& slot, const char* text, std::size_t length) {
        const std::size_t inHead = length < sizeof slot.head ? length : sizeof slot.head;
        return std::memcmp(slot.head, text, inHead) == 0 &&
               (length == inHead ||
                std::memcmp(textOf(slot.link) + inHead, text + inHead, length - inHead) == 0);
    }

    void place(const Slot& slot) {
        const std::size_t mask = _slots.size() - 1;
        std::size_t i = static_cast<std::size_t>(slot.hash) & mask;
        while (_slots[i].link != nullptr) {
            i = (i + 1) & mask;
        }
        _slots[i] = slot;
    }

    void grow() {
        std::vector<Slot> old(_slots.empty() ? 16 : _slots.size() * 2);
        old.swap(_slots);
        for (const Slot& slot : old) {
            if (slot.link != nullptr) {
                place(slot);
            }
        }
    }

    std::vector<Slot> _slots;
    std::size_t _count = 0;
};

} // namespace detail
} // namespace Kel

#endif
