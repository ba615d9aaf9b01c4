// Shared ownership through TsharedObjectPtr.
#include "brenmark/shared_object.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

namespace {

class Counted : public TsharedObject {
 public:
  explicit Counted(int* destroyed) : destroyed_(destroyed) {}
  ~Counted() override { ++*destroyed_; }

 private:
  int* destroyed_;
};

class Derived : public Counted {
 public:
  using Counted::Counted;
};

// Keeps another object alive through its own pointer.
class Chain : public TsharedObject {
 public:
  TsharedObjectPtr<Chain> next;
};

}  // namespace

TEST(TsharedObjectPtr, CountsHoldersAndDestroysWithTheLast) {
  int destroyed = 0;
  auto* c = new Counted(&destroyed);
  {
    TsharedObjectPtr<Counted> a(c);
    {
      TsharedObjectPtr<Counted> b(a);
      EXPECT_EQ(c->SharedCount(), 2);
      TsharedObjectPtr<Counted> moved(std::move(b));
      EXPECT_TRUE(c->SharedCount() == 2 && !b);
    }
    EXPECT_EQ((std::pair<long, int>{c->SharedCount(), destroyed}), (std::pair<long, int>{1, 0}));
  }
  EXPECT_EQ(destroyed, 1);
}

TEST(TsharedObjectPtr, AssignmentReleasesOldAndTakesNew) {
  int destroyed = 0;
  auto* x = new Counted(&destroyed);
  auto* y = new Counted(&destroyed);
  TsharedObjectPtr<Counted> p(x);
  TsharedObjectPtr<Counted> q(y);
  p = p;  // same object: nothing changes
  EXPECT_EQ(x->SharedCount(), 1);
  p = q;  // x had no other holder
  EXPECT_EQ((std::pair<int, long>{destroyed, y->SharedCount()}), (std::pair<int, long>{1, 2}));
  p = nullptr;
  EXPECT_EQ((std::pair<int, long>{destroyed, y->SharedCount()}), (std::pair<int, long>{1, 1}));
  // A derived pointer converts to a base pointer sharing the count.
  TsharedObjectPtr<Derived> d(new Derived(&destroyed));
  TsharedObjectPtr<Counted> base(d);
  EXPECT_EQ(base->SharedCount(), 2);
  EXPECT_TRUE(base == d.get());
  d = nullptr;
  base = nullptr;
  EXPECT_EQ(destroyed, 2);
}

TEST(TsharedObjectPtr, AssigningObjectKeptAliveOnlyByOldOneIsSafe) {
  auto* head = new Chain;
  head->next = new Chain;
  TsharedObjectPtr<Chain> p(head);
  p = p->next;  // head goes, its successor must survive
  ASSERT_TRUE(p);
  EXPECT_EQ(p->SharedCount(), 1);
}

TEST(TsharedObjectPtr, CountsStayExactAcrossThreads) {
  int destroyed = 0;
  TsharedObjectPtr<Counted> root(new Counted(&destroyed));
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&root] {
      for (int i = 0; i < 20000; ++i) TsharedObjectPtr<Counted> copy(root);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ((std::pair<long, int>{root->SharedCount(), destroyed}), (std::pair<long, int>{1, 0}));
}
