#include "counter.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace corpus {

namespace {

std::uint32_t hash_of(std::string_view s)
{
    std::uint64_t h = 0xcbf29ce484222325u;   // FNV-1a
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

} // namespace

void counter::grow()
{
    big_array<slot> fresh;   // zero bytes: empty slots
    fresh.resize(slots_.empty() ? 1024 : slots_.size() * 2);
    slots_ = std::move(fresh);
    for (std::size_t i = 0; i < entries_.size(); ++i)
        insert(entries_[i], i);
}

void counter::insert(const entry& e, std::size_t index)
{
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = e.hash & mask;; s = (s + 1) & mask) {
        if (slots_[s].index == 0) {
            slots_[s] = slot{e.hash, static_cast<std::uint32_t>(index + 1)};
            return;
        }
    }
}

void counter::add(std::string_view key, std::int64_t n)
{
    if ((entries_.size() + 1) * 10 > slots_.size() * 7)
        grow();
    const std::uint32_t h = hash_of(key);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = h & mask;; s = (s + 1) & mask) {
        const slot sl = slots_[s];
        if (sl.index == 0) {
            if (arena_.size() + key.size() > std::numeric_limits<std::uint32_t>::max())
                throw std::length_error("more distinct words than a word list holds (4 GiB of letters)");
            entries_.push_back(entry{static_cast<std::uint32_t>(arena_.size()), static_cast<std::uint32_t>(key.size()), h,
                                     static_cast<std::uint32_t>(n)});
            arena_.append(key.data(), key.size());
            slots_[s] = slot{h, static_cast<std::uint32_t>(entries_.size())};
            return;
        }
        if (sl.hash == h) {
            entry& e = entries_[sl.index - 1];
            if (key_of(e) == key) {
                e.count += static_cast<std::uint32_t>(n);
                return;
            }
        }
    }
}

std::int64_t counter::count(std::string_view key) const
{
    if (slots_.empty())
        return 0;
    const std::uint32_t h = hash_of(key);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = h & mask;; s = (s + 1) & mask) {
        const slot sl = slots_[s];
        if (sl.index == 0)
            return 0;
        if (sl.hash == h && key_of(entries_[sl.index - 1]) == key)
            return entries_[sl.index - 1].count;
    }
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

big_array<counter::ranked> counter::sorted(unsigned threads) const
{
    big_array<ranked> keys;
    keys.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i)
        keys.push_back({prefix_of(key_of(entries_[i])), arena_.data() + entries_[i].at, entries_[i].size,
                        entries_[i].count});
    const auto before = [&](const ranked& a, const ranked& b) {
        if (a.count != b.count)
            return a.count > b.count;
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        return std::string_view(a.key, a.size) < std::string_view(b.key, b.size);
    };
    // Parts sorted side by side, then merged.
    constexpr std::size_t least_part = std::size_t{1} << 16;
    const std::size_t parts = std::clamp<std::size_t>(std::min<std::size_t>(threads, keys.size() / least_part), 1, 8);
    std::vector<std::size_t> bounds;
    for (std::size_t k = 0; k <= parts; ++k)
        bounds.push_back(keys.size() * k / parts);
    std::vector<std::thread> sorters;
    for (std::size_t k = 1; k < parts; ++k) {
        try {
            sorters.emplace_back([&, k] { std::sort(keys.begin() + bounds[k], keys.begin() + bounds[k + 1], before); });
        } catch (const std::system_error&) {
            std::sort(keys.begin() + bounds[k], keys.begin() + bounds[k + 1], before);
        }
    }
    std::sort(keys.begin(), keys.begin() + bounds[1], before);
    for (std::thread& t : sorters)
        t.join();
    for (std::size_t k = 2; k <= parts; ++k)
        std::inplace_merge(keys.begin(), keys.begin() + bounds[k - 1], keys.begin() + bounds[k], before);
    return keys;
}

} // namespace corpus
