// Expansion of the general entities that a DOCTYPE declares. An expansion is decoded like the text that
// refers to it, so entities may refer to other entities; the limits keep a small document from growing
// without bound ("billion laughs"), from keeping the reader busy with expansions that give little or
// nothing, and from referring to itself.

#include "xml/xml_text.h"

#include <cstring>

namespace Kel {
namespace detail {

EntityTable::EntityTable(std::size_t inputSize) {
    constexpr std::size_t floor = std::size_t(1) << 20;
    _limit = inputSize > floor / 10 ? inputSize * 10 : floor;
}

void EntityTable::declare(const char* name, std::size_t nameLength, const char* value,
                          std::size_t valueLength, bool external) {
    // XML's own five keep their meaning: the writer relies on them.
    static const char* const predefined[] = {"amp", "lt", "gt", "quot", "apos"};
    for (const char* p : predefined) {
        if (std::strlen(p) == nameLength && std::memcmp(p, name, nameLength) == 0) {
            return;
        }
    }
    if (find(name, nameLength)) {
        return;
    }
    _entries.push_back(
        Entry{std::string(name, nameLength), std::string(value, valueLength), external, false});
    if (nameLength > _longestName) {
        _longestName = nameLength;
    }
}

bool EntityTable::charge(std::size_t referenceLength, std::size_t replacementLength) {
    const std::size_t cost = replacementLength > referenceLength ? replacementLength : referenceLength;
    if (cost > _limit - _charged) {
        return false;
    }
    _charged += cost;
    return true;
}

EntityTable::Entry* EntityTable::find(const char* name, std::size_t length) {
    for (Entry& e : _entries) {
        if (e.name.size() == length && std::memcmp(e.name.data(), name, length) == 0) {
            return &e;
        }
    }
    return nullptr;
}

namespace {

// Marks an entity as under expansion for a scope, whatever way the scope is left.
class Expanding {
public:
    Expanding(EntityTable& table, EntityTable::Entry& entry) : _table(table), _entry(entry) {
        _entry.active = true;
        ++_table.depth;
    }
    ~Expanding() {
        _entry.active = false;
        --_table.depth;
    }
    Expanding(const Expanding&) = delete;
    Expanding& operator=(const Expanding&) = delete;

private:
    EntityTable& _table;
    EntityTable::Entry& _entry;
};

} // namespace

bool expandDeclared(EntityTable& table, const char* amp, const char* semicolon, TextBuffer& out,
                    const DecodeOptions& options) {
    EntityTable::Entry* entry = table.find(amp + 1, static_cast<std::size_t>(semicolon - amp - 1));
    if (!entry) {
        return false;
    }
    if (entry->external) {
        throw DecodeFailure{104, amp};
    }
    if (entry->active || table.depth >= EntityTable::maxDepth) {
        throw DecodeFailure{105, amp};
    }
    if (entry->value.find('<') != std::string::npos) {
        throw DecodeFailure{106, amp};
    }
    // Charged before it is read: an entity that gives nothing still costs the reading of its text.
    if (!table.charge(static_cast<std::size_t>(semicolon + 1 - amp), entry->value.size())) {
        throw DecodeFailure{105, amp};
    }
    Expanding scope(table, *entry);
    try {
        decodeRange(entry->value.data(), entry->value.data() + entry->value.size(), out, options);
    } catch (const DecodeFailure& failure) {
        // Reported at the reference in the document, not inside the replacement text.
        throw DecodeFailure{failure.reason, amp};
    }
    return true;
}

} // namespace detail
} // namespace Kel
