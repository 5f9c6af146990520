#include "corpus/counter.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include "common/parallel.h"

namespace corpus {

namespace {

std::uint32_t hash_of(std::string_view s)
{
    std::uint64_t h = 0xcbf29ce484222325u; // FNV-1a
    for (const char c : s) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001b3u;
    }
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

// The first eight bytes of a string as a number that sorts as they do.
std::uint64_t prefix_of(std::string_view s)
{
    std::uint64_t p = 0;
    for (std::size_t i = 0; i < 8; ++i)
        p = p << 8 | (i < s.size() ? static_cast<unsigned char>(s[i]) : 0u);
    return p;
}

// Note: sorting a word list.  Most strings of a corpus's word list are
// counted once or a few times, and a comparison sort of millions of them
// visits memory at random.  So the list is put in order in three steps, in
// place: by the count where it is small (one range per count, the larger
// counts in one range first), then within each of those ranges by the first
// byte, and only then is each of the small ranges sorted on its own (on
// several threads), in the cache.

// Counts from here on are few: their strings are sorted as one range.
constexpr std::uint32_t small_counts = 256;

// Puts the elements of a[0..n) in order of bucket(e), a number below 256,
// in place (by cycles of swaps); returns where each bucket begins, and n.
template <class T, class Bucket> std::vector<std::size_t> distribute(T* a, std::size_t n, Bucket&& bucket)
{
    std::vector<std::size_t> begin(257, 0);
    for (std::size_t i = 0; i < n; ++i)
        ++begin[bucket(a[i]) + 1];
    for (std::size_t b = 1; b <= 256; ++b)
        begin[b] += begin[b - 1];
    std::vector<std::size_t> next(begin.begin(), begin.end() - 1);
    for (std::size_t b = 0; b < 256; ++b) {
        while (next[b] < begin[b + 1]) {
            const std::size_t to = bucket(a[next[b]]);
            if (to == b)
                ++next[b];
            else
                std::swap(a[next[b]], a[next[to]++]);
        }
    }
    return begin;
}

} // namespace

void counter::add(std::string_view key, std::int64_t n)
{
    const auto found = index_.find_or_add(
        hash_of(key), [&](std::uint32_t e) { return key_of(entries_[e]) == key; },
        [&] {
            if (arena_.size() + key.size() > std::numeric_limits<std::uint32_t>::max())
                throw std::length_error("more distinct words than a word list holds (4 GiB of letters)");
            entries_.push_back(
                entry{static_cast<std::uint32_t>(arena_.size()), static_cast<std::uint32_t>(key.size()), 0});
            arena_.append(key.data(), key.size());
            return static_cast<std::uint32_t>(entries_.size() - 1);
        });
    entries_[found.entry].count += static_cast<std::uint32_t>(n);
}

std::int64_t counter::count(std::string_view key) const
{
    const std::uint32_t e = index_.find(hash_of(key), [&](std::uint32_t e) { return key_of(entries_[e]) == key; });
    return e == decltype(index_)::none ? 0 : entries_[e].count;
}

void counter::merge(counter&& other)
{
    if (entries_.empty()) {
        std::swap(*this, other);
        return;
    }
    other.for_each([&](const item& i) { add(i.key, i.count); });
    other = counter{};
}

memory::big_array<counter::ranked> counter::sorted(unsigned threads) const
{
    memory::big_array<ranked> keys;
    keys.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i)
        keys.push_back(
            {prefix_of(key_of(entries_[i])), arena_.data() + entries_[i].at, entries_[i].size, entries_[i].count});
    const auto before = [&](const ranked& a, const ranked& b) {
        if (a.count != b.count)
            return a.count > b.count;
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        return std::string_view(a.key, a.size) < std::string_view(b.key, b.size);
    };
    // See "Sorting a word list" above: small counts first put in place,
    // then first bytes, then each run sorted on its own.
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    const std::vector<std::size_t> by_count = distribute(
        keys.data(), keys.size(), [](const ranked& r) { return r.count >= small_counts ? 0 : small_counts - r.count; });
    for (std::size_t b = 0; b < small_counts; ++b) {
        const std::size_t from = by_count[b];
        const std::size_t to = by_count[b + 1];
        if (b == 0 || to - from < 64) { // the large counts, few: sorted whole
            runs.emplace_back(from, to);
            continue;
        }
        const std::vector<std::size_t> by_byte = distribute(
            keys.data() + from, to - from, [](const ranked& r) { return static_cast<std::size_t>(r.prefix >> 56); });
        for (std::size_t c = 0; c < 256; ++c)
            runs.emplace_back(from + by_byte[c], from + by_byte[c + 1]);
    }
    const auto threads_used =
        static_cast<unsigned>(std::min<std::size_t>(threads, keys.size() / (std::size_t{1} << 16) + 1));
    parallel::for_each(runs.size(), threads_used, [&](std::size_t i) {
        std::sort(keys.begin() + runs[i].first, keys.begin() + runs[i].second, before);
    });
    return keys;
}

} // namespace corpus
