// Reference counting: resources (identifiers, deferred destruction) and
// shared objects held through TsharedObjectPtr.
#include "brenmark/resource.h"
#include "brenmark/shared_object.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Records cleanup and destruction in a shared journal.
class Probe : public Resource {
 public:
  Probe(std::vector<std::string>* log, std::string name) : log_(log), name_(std::move(name)) {}
  ~Probe() override { log_->push_back("destroy " + name_); }
  void cleanup() override { log_->push_back("cleanup " + name_); }

 private:
  std::vector<std::string>* log_;
  std::string name_;
};

// Releases another resource from its destructor.
class Holder : public Resource {
 public:
  explicit Holder(Resource* held) : held_(held) { held_->ref(); }
  ~Holder() override { held_->unref_deferred(); }

 private:
  Resource* held_;
};

using Log = std::vector<std::string>;

// Leaves the process-wide mode as it found it. The journal outlives the
// final flush, which may still destroy parked probes.
class ResourceTest : public ::testing::Test {
 protected:
  void TearDown() override { Resource::defer(0); }
  Log log;
};

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

// A release that leaves no holder cleans up and destroys at once: an unref
// of a resource never referenced, and an unref_deferred without deferral or
// a plain unref with it.
TEST_F(ResourceTest, LastReleaseDestroysAtOnceUnlessDeferred) {
  const struct {
    int defer;
    bool held, deferred;
  } cases[] = {{0, false, false}, {0, true, true}, {1, false, false}};
  for (const auto& c : cases) {
    log.clear();
    Resource::defer(c.defer);
    Resource* r = new Probe(&log, "a");
    if (c.held) r->ref();
    c.deferred ? r->unref_deferred() : r->unref();
    EXPECT_EQ(log, (Log{"cleanup a", "destroy a"})) << c.defer << c.held;
  }
}

TEST_F(ResourceTest, LastUnrefDestroysEarlierOnesDoNotStaticFormsIgnoreNull) {
  Resource::ref(nullptr);
  Resource::unref(nullptr);
  Resource::unref_deferred(nullptr);
  Resource* r = new Probe(&log, "a");
  Resource::ref(static_cast<const Resource*>(r));
  r->Reference();
  r->unref();
  EXPECT_TRUE(r->RefCount() == 1 && log.empty());
  Resource::unref(static_cast<const Resource*>(r));
  EXPECT_EQ(log, (Log{"cleanup a", "destroy a"}));
}

TEST_F(ResourceTest, IdentifiersIncreaseAndCopiesGetTheirOwn) {
  Probe* a = new Probe(&log, "a");
  Probe* b = new Probe(&log, "b");
  EXPECT_EQ(b->ResourceID(), a->ResourceID() + 1);
  a->ref();
  Probe* c = new Probe(*a);
  EXPECT_EQ((std::pair{c->RefCount(), c->ResourceID()}), (std::pair{0, b->ResourceID() + 1}));
  *b = *a;  // assignment keeps b's identity
  EXPECT_EQ((std::pair{b->RefCount(), b->ResourceID()}), (std::pair{0, a->ResourceID() + 1}));
  for (Probe* p : {a, b, c}) p->unref();
}

TEST_F(ResourceTest, DeferralCleansUpAtOnceAndDestroysAtFlushInOrder) {
  EXPECT_EQ(Resource::defer(1), 0);
  Resource *a = new Probe(&log, "a"), *b = new Probe(&log, "b");
  a->ref();
  b->ref();
  b->unref_deferred();
  a->unref_deferred();
  EXPECT_EQ(log, (Log{"cleanup b", "cleanup a"}));
  Resource::flush();
  EXPECT_EQ(log, (Log{"cleanup b", "cleanup a", "destroy b", "destroy a"}));
  // Still deferring after an explicit flush.
  Resource* c = new Probe(&log, "c");
  c->unref_deferred();
  EXPECT_EQ(Resource::defer(1), 1);  // the same mode again does not flush
  EXPECT_EQ(log.back(), "cleanup c");
  EXPECT_EQ(Resource::defer(0), 1);  // leaving the mode flushes
  EXPECT_EQ(log.back(), "destroy c");
}

TEST_F(ResourceTest, ReleasesDuringFlushHappenAtOnce) {
  Resource::defer(1);
  Resource* inner = new Probe(&log, "inner");
  Resource* outer = new Holder(inner);
  outer->unref_deferred();
  EXPECT_TRUE(log.empty());
  Resource::flush();
  EXPECT_EQ(log, (Log{"cleanup inner", "destroy inner"}));
  // The mode is back on after the flush.
  Resource* r = new Probe(&log, "r");
  r->unref_deferred();
  EXPECT_EQ(log.back(), "cleanup r");
}

TEST_F(ResourceTest, FlushSparesResourceReferencedAgainAfterParking) {
  Resource::defer(1);
  Resource* r = new Probe(&log, "a");
  r->unref_deferred();
  r->ref();  // a holder picked it up again
  Resource::flush();
  EXPECT_EQ(log, (Log{"cleanup a"}));
  Resource::defer(0);
  r->unref();
  EXPECT_EQ(log, (Log{"cleanup a", "cleanup a", "destroy a"}));
}

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
