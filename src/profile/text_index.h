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

// The length bytes at text, 0 to 8 of them, folded into one word without reading past them: two
// overlapping loads, so no call to copy a variable count. Texts of one length fold alike only when equal.
inline std::uint64_t foldShort(const char* text, std::size_t length) {
    if (length >= 4) {
        std::uint32_t low;
        std::uint32_t high;
        std::memcpy(&low, text, 4);
        std::memcpy(&high, text + length - 4, 4);
        return low | (static_cast<std::uint64_t>(high) << ((length - 4) * 8));
    }
    if (length == 0) {
        return 0;
    }
    const auto byte = [text](std::size_t i) {
        return static_cast<std::uint64_t>(static_cast<unsigned char>(text[i]));
    };
    return byte(0) | byte(length / 2) << 8 | byte(length - 1) << 16;
}

// Whether length bytes at a and b, 0 to 16 of them, are equal: overlapping word loads, not a call.
inline bool equalShort(const char* a, const char* b, std::size_t length) {
    if (length < 8) {
        return foldShort(a, length) == foldShort(b, length);
    }
    std::uint64_t a1, a2, b1, b2;
    std::memcpy(&a1, a, 8);
    std::memcpy(&b1, b, 8);
    std::memcpy(&a2, a + length - 8, 8);
    std::memcpy(&b2, b + length - 8, 8);
    return ((a1 ^ b1) | (a2 ^ b2)) == 0;
}

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
    hash = (hash ^ foldShort(text + i, length - i)) * multiplier;
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
            if (!slot.link) {
                return nullptr;
            }
            if (slot.hash == static_cast<std::uint32_t>(hash) && slot.length == length &&
                matches(slot, text, length)) {
                return slot.link;
            }
        }
    }

    // Adds link under its text, unless a link with the same text is there already.
    void addFirst(Link* link) {
        const char* text = textOf(link);
        const std::size_t length = std::strlen(text);
        if (find(text, length)) {
            return;
        }
        if ((_count + 1) * 2 > _slots.size()) {
            grow();
        }
        Slot slot;
        slot.hash = static_cast<std::uint32_t>(hashText(text, length));
        slot.length = static_cast<std::uint32_t>(length);
        std::memcpy(slot.head, text, length < sizeof slot.head ? length : sizeof slot.head);
        slot.link = link;
        place(slot);
        ++_count;
    }

private:
    // 32 bytes, two to a cache line: the low half of the hash, whose lowest bits also place the slot,
    // and the length, which no text of a profile line comes near to overflowing.
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t length = 0;
        char head[16] = {};
        Link* link = nullptr;
    };

    static bool matches(const Slot& slot, const char* text, std::size_t length) {
        const std::size_t inHead = length < sizeof slot.head ? length : sizeof slot.head;
        return equalShort(slot.head, text, inHead) &&
               (length == inHead ||
                std::memcmp(textOf(slot.link) + inHead, text + inHead, length - inHead) == 0);
    }

    void place(const Slot& slot) {
        const std::size_t mask = _slots.size() - 1;
        std::size_t i = static_cast<std::size_t>(slot.hash) & mask;
        while (_slots[i].link) {
            i = (i + 1) & mask;
        }
        _slots[i] = slot;
    }

    void grow() {
        std::vector<Slot> old(_slots.empty() ? 16 : _slots.size() * 2);
        old.swap(_slots);
        for (const Slot& slot : old) {
            if (slot.link) {
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
