// The word counter against a std::map of the same strings: counts, the
// sorted order (most frequent first, then bytes), merging, and sorting on
// several threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "corpus/counter.h"

namespace {

using corpus::counter;

// Strings that often share their first eight bytes, and differ after.
std::string random_word(std::mt19937& rng)
{
    static const std::string shared[] = {"", "abcdefgh", "abcdefg", "zz", "\"a\"o\"u\"s"};
    std::uniform_int_distribution<int> pick(0, 4), len(0, 10), letter(0, 3);
    std::string w = shared[pick(rng)];
    for (int n = len(rng); n > 0; --n)
        w += "abAB"[letter(rng)];
    return w;
}

std::vector<std::pair<std::string, std::int64_t>> model_order(const std::map<std::string, std::int64_t>& m)
{
    std::vector<std::pair<std::string, std::int64_t>> v(m.begin(), m.end()); // in byte order
    std::stable_sort(v.begin(), v.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    return v;
}

std::vector<std::pair<std::string, std::int64_t>> counted(const counter& c, unsigned threads)
{
    std::vector<std::pair<std::string, std::int64_t>> v;
    for (const counter::ranked& r : c.sorted(threads)) {
        counter::spelled room; // short strings come from their prefix
        const counter::item i = counter::at(r, room);
        v.emplace_back(std::string(i.key), i.count);
    }
    return v;
}

TEST(Counter, CountsAndOrdersAsAMapDoes)
{
    std::mt19937 rng(7);
    for (const int words : {0, 1, 50, 5000, 300000}) {
        counter a;
        counter b;
        std::map<std::string, std::int64_t> model;
        for (int i = 0; i < words; ++i) {
            const std::string w = random_word(rng);
            const int n = 1 + i % 3;
            (i % 2 ? a : b).add(w, n);
            model[w] += n;
        }
        a.merge(std::move(b));
        EXPECT_TRUE(b.empty());
        EXPECT_EQ(a.size(), model.size());
        for (const auto& [w, n] : model)
            ASSERT_EQ(a.count(w), n) << w;
        EXPECT_EQ(a.count("not counted"), 0);
        const auto expected = model_order(model);
        EXPECT_EQ(counted(a, 1), expected) << words;
        EXPECT_EQ(counted(a, 4), expected) << words; // 300000 strings: sorted in parts, merged
    }
}

} // namespace
