// Observer attachment and notification, including changes made by
// observers while a notification runs.
#include "brenmark/observable.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Log = std::vector<std::string>;

class Recorder : public Observer {
 public:
  Recorder(Log* log, std::string name) : log_(log), name_(std::move(name)) {}
  void update(Observable* o) override {
    log_->push_back("update " + name_);
    if (on_update) on_update(o);
  }
  void disconnect(Observable* o) override {
    log_->push_back("disconnect " + name_);
    if (on_disconnect) on_disconnect(o);
  }
  std::function<void(Observable*)> on_update;
  std::function<void(Observable*)> on_disconnect;

 private:
  Log* log_;
  std::string name_;
};

}  // namespace

TEST(Observable, NotifiesInAttachOrderAndPassesItself) {
  Log log;
  Recorder a(&log, "a"), b(&log, "b");
  Observable subject;  // declared after its observers, so it goes first
  Observable* seen = nullptr;
  a.on_update = [&seen](Observable* o) { seen = o; };
  subject.notify();  // no list yet
  for (Observer* o : {&a, &b, &a}) subject.attach(o);
  subject.notify();
  EXPECT_EQ(log, (Log{"update a", "update b", "update a"}));
  EXPECT_EQ(seen, &subject);
  subject.detach(&a);  // first occurrence only
  subject.detach(&b);
  log.clear();
  subject.notify();
  EXPECT_EQ(log, (Log{"update a"}));
  subject.detach(&a);
  subject.detach(&a);  // absent: nothing
  log.clear();
  subject.notify();
  EXPECT_TRUE(log.empty());
}

// Observer a, b or the one being notified detaches b during a notification:
// the list walk goes on, and b is skipped when not yet reached.
TEST(Observable, DetachingDuringNotifyLeavesTheOthersCalled) {
  for (bool self : {true, false}) {
    Log log;
    Recorder a(&log, "a"), b(&log, "b"), c(&log, "c");
    Observable subject;  // declared after its observers, so it goes first
    (self ? b : a).on_update = [&](Observable* o) { o->detach(&b); };
    for (Observer* o : {&a, &b, &c}) subject.attach(o);
    subject.notify();
    EXPECT_EQ(log, (self ? Log{"update a", "update b", "update c"} : Log{"update a", "update c"}));
    log.clear();
    subject.notify();
    EXPECT_EQ(log, (Log{"update a", "update c"}));
  }
}

TEST(Observable, ObserverAttachedDuringNotifyWaitsForTheNextOne) {
  Log log;
  Recorder a(&log, "a"), late(&log, "late");
  Observable subject;  // declared after its observers, so it goes first
  a.on_update = [&](Observable* o) {
    o->attach(&late);
    a.on_update = nullptr;
  };
  subject.attach(&a);
  subject.notify();
  EXPECT_EQ(log, (Log{"update a"}));
  log.clear();
  subject.notify();
  EXPECT_EQ(log, (Log{"update a", "update late"}));
}

TEST(Observable, DestructionDisconnectsEveryObserverInOrder) {
  Log log;
  Recorder a(&log, "a"), b(&log, "b");
  {
    Observable subject;
    for (Observer* o : {&a, &b}) subject.attach(o);
    // Detaching from inside disconnect is harmless.
    a.on_disconnect = [&](Observable* o) { o->detach(&a); };
  }
  EXPECT_EQ(log, (Log{"disconnect a", "disconnect b"}));
}

TEST(Observable, CopyStartsWithoutObservers) {
  Log log;
  Recorder a(&log, "a");
  Observable subject;
  subject.attach(&a);
  Observable copy(subject), other;
  other = subject;  // keeps its own (empty) list
  copy.notify();
  other.notify();
  EXPECT_TRUE(log.empty());
  subject.detach(&a);
}
