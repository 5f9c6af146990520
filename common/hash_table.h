// An index, by hash, of the entries of a list that its user keeps (the
// words a corpus counts, the turns of a file): open addressing over a power
// of two of slots, each the 32-bit hash of an entry and its place in the
// list.  A look-up compares the hashes before it asks whether an entry is
// the one sought, and growing moves the slots alone, so the table never
// looks at the entries' bytes but to compare a candidate; a million entries
// take a million slots of eight bytes, without an allocation each.
//
// The user hashes (mix() spreads a number's bits for it) and says when an
// entry is the one sought.  The table keeps at most 70 % of its slots in
// use, doubling them when an entry more would pass that.  The slots are
// kept in `Slots`, a growable array of slot (std::vector, or an array of
// huge pages); the zero bytes of a fresh slot mean an empty one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace hash_table {

struct slot {
    std::uint32_t hash = 0;
    std::uint32_t entry = 0; // the entry's place in the list + 1; 0: an empty slot
};

// The bits of a number spread over 32, each depending on all of them (the
// finalizer of a well-known 64-bit hash), for keys that are numbers.
constexpr std::uint32_t mix(std::uint64_t h)
{
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

template <class Slots = std::vector<slot>> class index {
public:
    // What find_or_add found: the entry sought, and whether it was added.
    struct found {
        std::uint32_t entry;
        bool added;
    };
    static constexpr std::uint32_t none = ~std::uint32_t{0};

    // `first_slots` (a power of two) are made at the first entry.
    explicit index(std::size_t first_slots = 64) : first_slots_(first_slots) {}

    // Room for `n` entries without growing; only while the table is empty.
    void reserve(std::size_t n)
    {
        if (used_ > 0)
            return;
        std::size_t size = slots_.size() > 0 ? slots_.size() : first_slots_;
        while (over_load(n, size))
            size *= 2;
        if (size > slots_.size())
            remake(size);
    }

    // The entry with this hash that `is_sought(entry)` accepts; none if
    // there is none.
    template <class Sought> std::uint32_t find(std::uint32_t hash, Sought&& is_sought) const
    {
        if (slots_.size() == 0)
            return none;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
            const slot s = slots_[at];
            if (s.entry == 0)
                return none;
            if (s.hash == hash && is_sought(s.entry - 1))
                return s.entry - 1;
        }
    }

    // The same, and when there is none, the entry that `add()` puts in the
    // list (returning its place) under this hash.  If add() throws, the
    // table is as it was.
    template <class Sought, class Add> found find_or_add(std::uint32_t hash, Sought&& is_sought, Add&& add)
    {
        if (over_load(used_ + 1, slots_.size()))
            remake(slots_.size() > 0 ? slots_.size() * 2 : first_slots_);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
            const slot s = slots_[at];
            if (s.entry == 0) {
                const std::uint32_t entry = add();
                slots_[at] = slot{hash, entry + 1};
                ++used_;
                return {entry, true};
            }
            if (s.hash == hash && is_sought(s.entry - 1))
                return {s.entry - 1, false};
        }
    }

    std::size_t size() const { return used_; }             // the entries indexed
    std::size_t capacity() const { return slots_.size(); } // the slots

private:
    static bool over_load(std::size_t entries, std::size_t slots) { return entries * 10 > slots * 7; }

    // `size` fresh slots, the entries put back by their hashes.
    void remake(std::size_t size)
    {
        Slots old;
        old.resize(size); // zero bytes: empty
        std::swap(old, slots_);
        const std::size_t mask = size - 1;
        for (std::size_t i = 0; i < old.size(); ++i) {
            const slot s = old[i];
            if (s.entry == 0)
                continue;
            std::size_t at = s.hash & mask;
            while (slots_[at].entry != 0)
                at = (at + 1) & mask;
            slots_[at] = s;
        }
    }

    Slots slots_;
    std::size_t used_ = 0;
    std::size_t first_slots_;
};

} // namespace hash_table
