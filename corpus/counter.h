// Counts of byte strings (words, tags): a list of entries indexed by hash
// (common/hash_table.h), with the strings in one arena.  It grows with the
// number of distinct strings, not with the number counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/big_array.h"
#include "common/hash_table.h"

namespace corpus {

class counter {
public:
    struct item {
        std::string_view key;
        std::int64_t count;
    };
    // A place in the sorted order: a string and its count.
    struct ranked {
        std::uint64_t prefix; // its first eight bytes, which decide most comparisons
        const char* key;
        std::uint32_t size;
        std::uint32_t count;
    };

    void add(std::string_view key, std::int64_t n = 1);
    // Adds every count of `other`, which is left empty.
    void merge(counter&& other);
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    std::int64_t count(std::string_view key) const;

    // Every string, most frequent first, equal counts in byte order;
    // sorted on up to `threads` threads.
    memory::big_array<ranked> sorted(unsigned threads = 1) const;
    static item at(const ranked& r) { return {{r.key, r.size}, r.count}; }
    // The same, with the bytes of a string that fits in its prefix spelled
    // from there into `room`: going through the sorted order then leaves the
    // arena alone for short strings, rather than visiting it at random.
    struct spelled {
        char bytes[sizeof(std::uint64_t)];
    };
    static item at(const ranked& r, spelled& room)
    {
        if (r.size > sizeof room.bytes)
            return at(r);
        for (std::size_t i = 0; i < r.size; ++i)
            room.bytes[i] = static_cast<char>(r.prefix >> (56 - 8 * i));
        return {{room.bytes, r.size}, r.count};
    }

    template <class F> void for_each(F&& f) const
    {
        for (const entry& e : entries_)
            f(item{key_of(e), e.count});
    }

private:
    struct entry {
        std::uint32_t at; // in the arena
        std::uint32_t size;
        std::uint32_t count;
    };

    std::string_view key_of(const entry& e) const { return {arena_.data() + e.at, e.size}; }

    hash_table::index<memory::big_array<hash_table::slot>> index_{1024};
    memory::big_array<entry> entries_;
    memory::big_array<char> arena_;
};

} // namespace corpus
