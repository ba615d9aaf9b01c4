// Gap-buffer pointer list: growth table, ordering across gap moves, and the
// out-of-range stop.
#include "brenmark/pointer_list.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

void* P(std::intptr_t v) {
  return reinterpret_cast<void*>(v);
}

std::vector<std::intptr_t> Contents(const PointerList& list) {
  std::vector<std::intptr_t> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(reinterpret_cast<std::intptr_t>(list[i]));
  return out;
}

}  // namespace

TEST(PointerListCapacity, FollowsSizeClassTable) {
  // 12 -> 28: 48 bytes is not larger than 48. The last class is 2^26 - 16
  // bytes; past it the request is met exactly.
  const std::pair<int, int> cases[] = {{1, 12},
                                       {11, 12},
                                       {12, 28},
                                       {60, 124},
                                       {(1 << 24) - 5, (1 << 24) - 4},
                                       {(1 << 24) - 4, (1 << 24) - 4},
                                       {1 << 24, 1 << 24}};
  for (auto [n, want] : cases) EXPECT_EQ(brenmark::PointerListCapacity(n), want) << n;
}

TEST(PointerList, GrowsThroughTheSizeClassesKeepingOrder) {
  PointerList empty(0);  // allocates nothing until the first insert
  const int before = empty.Capacity();
  empty.Append(P(7));
  EXPECT_EQ((std::array{before, empty.Capacity()}), (std::array{0, 12}));
  PointerList list(5);
  const struct { int count, capacity; } steps[] = {{0, 12}, {12, 12}, {13, 28}, {28, 28}, {29, 60}};
  for (const auto& s : steps) {
    while (list.Count() < s.count) ASSERT_TRUE(list.Append(P(list.Count() + 1)));
    EXPECT_EQ(list.Capacity(), s.capacity) << s.count;
  }
  for (int i = 0; i < 29; ++i) EXPECT_EQ(list[i], P(i + 1));
}

TEST(PointerList, InsertsAndRemovesAnywhereKeepOrder) {
  PointerList list;
  std::vector<std::intptr_t> model;
  // A fixed sequence that moves the gap back and forth and across growth.
  std::uint32_t seed = 12345;
  auto next = [&seed](int n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 16) % static_cast<std::uint32_t>(n));
  };
  for (int step = 0; step < 600; ++step) {
    if (model.empty() || next(3) != 0) {
      const int at = next(static_cast<int>(model.size()) + 1);
      ASSERT_TRUE(list.Insert(at, P(step + 1)));
      model.insert(model.begin() + at, step + 1);
    } else {
      const int at = next(static_cast<int>(model.size()));
      ASSERT_TRUE(list.Remove(at));
      model.erase(model.begin() + at);
    }
    ASSERT_EQ(Contents(list), model) << "after step " << step;
  }
  // A bulk copy reads across the gap, wherever the last step left it.
  std::vector<void*> out(model.size());
  list.CopyTo(out.data());
  for (std::size_t i = 0; i < model.size(); ++i) ASSERT_EQ(out[i], P(model[i])) << i;
}

TEST(PointerList, FindsAndRemovesFirstOccurrenceOutOfRangeChangesNothing) {
  PointerList list;
  for (int v : {5, 6, 5, 7}) list.Append(P(v));
  EXPECT_EQ((std::array{list.Insert(5, P(9)), list.Insert(-1, P(9)), list.Remove(4),
                        list.Remove(-1), list.RemoveFirst(P(8))}),
            (std::array{false, false, false, false, false}));
  EXPECT_EQ((std::array{list.IndexOf(P(5)), list.IndexOf(P(8))}), (std::array{0, -1}));
  EXPECT_TRUE(list.RemoveFirst(P(5)));
  EXPECT_EQ(Contents(list), (std::vector<std::intptr_t>{6, 5, 7}));
  EXPECT_EQ(list.IndexOf(P(5)), 1);
}

TEST(PointerListDeathTest, AccessOutOfRangePrintsIndexAndStops) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  PointerList list;
  list.Append(P(1));
  EXPECT_EXIT(list.Get(3), ::testing::ExitedWithCode(1),
              "^internal error: list index 3 out of range\n$");
  EXPECT_EXIT(list[-1], ::testing::ExitedWithCode(1),
              "^internal error: list index -1 out of range\n$");
}
