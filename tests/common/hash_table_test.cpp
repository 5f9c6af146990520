// The hash index against a list and a map of the same keys: growth at the
// load it keeps, entries whose hashes collide whole or in the slot they
// start from (and wrap around the end of the slots), an entry whose adding
// fails, and many random keys.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/hash_table.h"

namespace {

using table = hash_table::index<>;

// A list of keys and its index, each key under the hash `hash_of` gives.
template <class Hash> struct keyed {
    Hash hash_of;
    std::vector<std::string> keys;
    table index;

    explicit keyed(Hash h, std::size_t first_slots = 64) : hash_of(h), index(first_slots) {}

    table::found add(const std::string& key)
    {
        return index.find_or_add(
            hash_of(key), [&](std::uint32_t e) { return keys[e] == key; },
            [&] {
                keys.push_back(key);
                return static_cast<std::uint32_t>(keys.size() - 1);
            });
    }
    std::uint32_t find(const std::string& key) const
    {
        return index.find(hash_of(key), [&](std::uint32_t e) { return keys[e] == key; });
    }
};

std::uint32_t string_hash(const std::string& s)
{
    return hash_table::mix(std::hash<std::string>{}(s));
}

TEST(HashTable, GrowsByDoublingAtSeventyPercent)
{
    keyed k(string_hash, 16);
    EXPECT_EQ(k.index.capacity(), 0u); // nothing made before the first entry
    EXPECT_EQ(k.find("a"), table::none);
    std::size_t capacity = 0;
    for (int i = 0; i < 1000; ++i) {
        const std::size_t before = k.index.capacity();
        ASSERT_TRUE(k.add(std::to_string(i)).added);
        const std::size_t after = k.index.capacity();
        const std::size_t entries = static_cast<std::size_t>(i) + 1;
        // Grown exactly when the entry would have taken it past 70 %.
        if (before == 0)
            EXPECT_EQ(after, 16u);
        else if (entries * 10 > before * 7)
            EXPECT_EQ(after, 2 * before) << entries;
        else
            EXPECT_EQ(after, before) << entries;
        EXPECT_LE(entries * 10, after * 7);
        capacity = after;
    }
    EXPECT_EQ(capacity, 2048u);
    EXPECT_EQ(k.index.size(), 1000u);
    // Every entry is found where it was put, after every growth.
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(k.find(std::to_string(i)), static_cast<std::uint32_t>(i));
        const table::found again = k.add(std::to_string(i));
        EXPECT_FALSE(again.added);
        EXPECT_EQ(again.entry, static_cast<std::uint32_t>(i));
    }
    EXPECT_EQ(k.keys.size(), 1000u);
    EXPECT_EQ(k.find("1000"), table::none);
}

TEST(HashTable, ReserveMakesRoomAtOnce)
{
    for (const std::size_t n : {0, 1, 44, 45, 46, 700, 717, 5000}) {
        keyed k(string_hash);
        k.index.reserve(n);
        const std::size_t reserved = k.index.capacity();
        EXPECT_LE(n * 10, reserved * 7) << n;
        EXPECT_TRUE(reserved == 64 || (n * 10 > reserved / 2 * 7)) << n << " " << reserved; // the least that holds n
        for (std::size_t i = 0; i < n; ++i)
            k.add(std::to_string(i));
        EXPECT_EQ(k.index.capacity(), std::max<std::size_t>(reserved, n > 0 ? 64 : 0)) << n;
    }
    // Not once it holds entries: it grows as it goes.
    keyed k(string_hash);
    k.add("a");
    k.index.reserve(1000);
    EXPECT_EQ(k.index.capacity(), 64u);
}

// Keys whose hashes are all one, or all start at one slot, or at the last
// slot (whose successor is the first): each is found, none twice.
TEST(HashTable, Collisions)
{
    const struct {
        const char* name;
        std::uint32_t (*hash)(const std::string&);
    } cases[] = {
        {"one hash", [](const std::string&) { return std::uint32_t{7}; }},
        {"one slot", [](const std::string& s) { return static_cast<std::uint32_t>(std::stoul(s)) << 20; }},
        {"the last slot", [](const std::string& s) { return static_cast<std::uint32_t>(std::stoul(s)) << 20 | 63u; }},
        {"two slots", [](const std::string& s) { return static_cast<std::uint32_t>(std::stoul(s) % 2); }},
    };
    for (const auto& c : cases) {
        keyed k(c.hash);
        for (int i = 0; i < 40; ++i) { // within the first 64 slots
            const table::found f = k.add(std::to_string(i));
            EXPECT_TRUE(f.added) << c.name << " " << i;
            EXPECT_EQ(f.entry, static_cast<std::uint32_t>(i)) << c.name;
        }
        EXPECT_EQ(k.index.capacity(), 64u) << c.name;
        for (int i = 0; i < 40; ++i) {
            EXPECT_EQ(k.find(std::to_string(i)), static_cast<std::uint32_t>(i)) << c.name << " " << i;
            EXPECT_FALSE(k.add(std::to_string(i)).added) << c.name << " " << i;
        }
        EXPECT_EQ(k.find("40"), table::none) << c.name;
        // And after the slots have been remade.
        for (int i = 40; i < 200; ++i)
            k.add(std::to_string(i));
        for (int i = 0; i < 200; ++i)
            EXPECT_EQ(k.find(std::to_string(i)), static_cast<std::uint32_t>(i)) << c.name << " " << i;
        EXPECT_EQ(k.keys.size(), 200u) << c.name;
    }
}

// An entry whose adding throws leaves no slot behind.
TEST(HashTable, FailedAddLeavesTheTableAsItWas)
{
    keyed k([](const std::string&) { return std::uint32_t{3}; });
    k.add("a");
    EXPECT_THROW(k.index.find_or_add(
                     3, [&](std::uint32_t e) { return k.keys[e] == "b"; },
                     []() -> std::uint32_t { throw std::length_error("full"); }),
                 std::length_error);
    EXPECT_EQ(k.index.size(), 1u);
    EXPECT_EQ(k.find("b"), table::none);
    const table::found b = k.add("b");
    EXPECT_TRUE(b.added);
    EXPECT_EQ(b.entry, 1u);
    EXPECT_EQ(k.find("a"), 0u);
    EXPECT_EQ(k.find("b"), 1u);
}

TEST(HashTable, AgreesWithAMap)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> pick(0, 20000);
    keyed k(string_hash);
    std::unordered_map<std::string, std::uint32_t> model;
    for (int i = 0; i < 100000; ++i) {
        const std::string key = std::to_string(pick(rng));
        if (i % 3 == 0) {
            const auto it = model.find(key);
            EXPECT_EQ(k.find(key), it == model.end() ? table::none : it->second) << key;
            continue;
        }
        const auto [it, is_new] = model.try_emplace(key, static_cast<std::uint32_t>(model.size()));
        const table::found f = k.add(key);
        ASSERT_EQ(f.added, is_new) << key;
        ASSERT_EQ(f.entry, it->second) << key;
    }
    EXPECT_EQ(k.index.size(), model.size());
}

TEST(HashTable, MixSpreadsNearbyNumbers)
{
    // Numbers one apart (dialog names packed as numbers differ so) fall in
    // slots all over a small table.
    std::vector<int> per_slot(64);
    for (std::uint64_t n = 0; n < 6400; ++n)
        ++per_slot[hash_table::mix(0x3163613130326700ull + n) & 63];
    for (const int count : per_slot)
        EXPECT_TRUE(count > 50 && count < 150) << count;
    EXPECT_NE(hash_table::mix(1), hash_table::mix(2));
}

} // namespace
