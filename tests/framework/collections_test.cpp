#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "framework/collections.h"
#include "framework/exception.h"
#include "framework/file.h"
#include "framework/singleton.h"

namespace {

using Vell::Object;
using Vell::Collections::Collectable;
using Vell::Collections::CollectorMapped;
using Vell::Collections::Enumerator;
using Vell::Collections::List;

std::vector<std::string> Walk(List& list) {
  std::vector<std::string> names;
  auto* e = list.GetEnumerator();
  while (e->MoveNext()) {
    names.push_back(e->Current()->GetName());
  }
  return names;
}

TEST(Object, HashAssignAndIdentity) {
  EXPECT_EQ(Object("").GetHash(), 5381U * 1566083942U);
  // h = 5381*33 ^ 'a' for one character, then scaled.
  EXPECT_EQ(Object("a").GetHash(), ((5381U * 33U) ^ 97U) * 1566083942U);
  // Bytes above 0x7F are taken as negative and sign-extended before the xor.
  EXPECT_EQ(Object("\xE9").GetHash(), ((5381U * 33U) ^ 0xFFFFFFE9U) * 1566083942U);

  Object a("first", 3);
  Object b("second", 7);
  b.Assign(a);
  EXPECT_EQ(b.GetName(), "first");
  EXPECT_EQ(b.GetTag(), 3);
  EXPECT_TRUE(a.Equals(&a));
  EXPECT_FALSE(a.Equals(&b));  // equal contents, different objects
  EXPECT_EQ(Object(static_cast<const char*>(nullptr)).GetName(), "");
}

TEST(Exception, MessagesAreTheTextForm) {
  Vell::Exception plain(Object("whatever", 1));
  EXPECT_EQ(plain.ToString(), "Generic exception");
  EXPECT_STREQ(plain.what(), "Generic exception");
  try {
    Vell::Data::FileStg missing("/nonexistent/dir/song.kesh", "rb");
    FAIL() << "opening a missing file must throw";
  } catch (const Vell::Exception& e) {
    EXPECT_EQ(e.ToString(), "File '/nonexistent/dir/song.kesh' not loaded");
    EXPECT_EQ(e.Detail(), "No such file or directory");
  }
}

TEST(List, AddRemoveFindAndBounds) {
  List list;
  Object a("abc"), b("Second"), c("abc");
  EXPECT_EQ(list.Add(nullptr), -1);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Add(&a), 0);
  EXPECT_EQ(list.Add(&b), 1);
  EXPECT_EQ(list.Add(&c), 2);
  list.AddFirst(nullptr);
  EXPECT_EQ(list.Count(), 3);

  EXPECT_EQ(list.Find("ABC"), &a);  // case-insensitive; the first of two equal names wins
  EXPECT_EQ(list.IndexOf("second"), 1);
  EXPECT_EQ(list.IndexOf("none"), -1);
  EXPECT_EQ(list.Find("none"), nullptr);

  EXPECT_EQ(list.GetAt(list.Count()), nullptr);
  EXPECT_EQ(list.GetAt(-1), nullptr);
  EXPECT_EQ(list.RemoveAt(list.Count()), nullptr);
  EXPECT_EQ(list.RemoveAt(-1), nullptr);
  EXPECT_EQ(list.Item(1), &b);

  EXPECT_EQ(list.RemoveAt(0), &a);  // handed back, not destroyed
  EXPECT_EQ(list.Find("abc"), &c);
  list.AddFirst(&a);
  EXPECT_EQ(Walk(list), (std::vector<std::string>{"abc", "Second", "abc"}));
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(List, DeleteAllDestroysElements) {
  struct Counted : Object {
    explicit Counted(int* deaths) : Object("x"), deaths(deaths) {}
    ~Counted() override { ++*deaths; }
    int* deaths;
  };
  int deaths = 0;
  List list;
  list.Add(new Counted(&deaths));
  list.Add(new Counted(&deaths));
  list.DeleteAll();
  EXPECT_EQ(deaths, 2);
  EXPECT_EQ(list.Count(), 0);
}

TEST(Enumerator, WalkRestartMoveAndPushPop) {
  List empty;
  auto* e0 = empty.GetEnumerator();
  EXPECT_FALSE(e0->MoveNext());
  EXPECT_EQ(e0->Current(), nullptr);
  EXPECT_FALSE(e0->Move(1));

  List list;
  Object a("a"), b("b"), c("c");
  list.Add(&a);
  list.Add(&b);
  list.Add(&c);
  auto* e = list.GetEnumerator();
  EXPECT_TRUE(e->MoveNext());
  EXPECT_TRUE(e->MoveNext());
  EXPECT_TRUE(e->MoveNext());
  EXPECT_EQ(e->Current(), &c);
  EXPECT_FALSE(e->MoveNext());  // past the end: reset
  EXPECT_TRUE(e->MoveNext());   // and the next walk starts again at the front
  EXPECT_EQ(e->Current(), &a);

  e = list.GetEnumerator();
  EXPECT_FALSE(e->Move(0));  // does not start the walk
  EXPECT_FALSE(e->MovePrevious());
  EXPECT_TRUE(e->Move(2));
  EXPECT_EQ(e->Current(), &c);
  EXPECT_TRUE(e->Move(-5));  // stops at the first element
  EXPECT_EQ(e->Current(), &a);
  EXPECT_FALSE(e->MovePrevious());  // before the first: reset
  EXPECT_FALSE(e->Move(5));         // runs off the end: reset

  e = list.GetEnumerator();
  EXPECT_FALSE(e->Pop());   // nothing pushed
  EXPECT_FALSE(e->Push());  // not started
  e->MoveNext();
  e->MoveNext();
  EXPECT_TRUE(e->Push());
  e->MoveNext();
  EXPECT_EQ(e->Current(), &c);
  EXPECT_TRUE(e->Pop());
  EXPECT_EQ(e->Current(), &b);
  EXPECT_FALSE(e->Pop());  // one push, one pop
  e->Push();
  e->Reset();
  EXPECT_FALSE(e->Pop());  // a reset forgets the saved position
}

TEST(Enumerator, WorksOverOtherContainers) {
  std::multiset<int> values{3, 1, 2};
  Enumerator<std::multiset<int>> e(&values);
  std::vector<int> seen;
  while (e.MoveNext()) {
    seen.push_back(e.Current());
  }
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
}

TEST(CollectorMapped, IdsFindRemoveAndIdOrder) {
  CollectorMapped collector;
  Collectable a("Alpha"), b("beta");
  EXPECT_EQ(collector.Add(nullptr), -1);
  const int ia = collector.Add(&a);
  const int ib = collector.Add(&b);  // within the same second: still distinct
  EXPECT_NE(ia, ib);
  EXPECT_GE(ia, 0);
  EXPECT_LT(ia, CollectorMapped::kCapacity);
  EXPECT_EQ(a.GetId(), ia);
  EXPECT_EQ(collector.Get(ib), &b);
  EXPECT_EQ(collector.Find("ALPHA"), &a);
  EXPECT_EQ(collector.Get(-5), nullptr);

  auto* e = collector.GetEnumerator();
  std::vector<int> ids;
  while (e->MoveNext()) {
    ids.push_back(e->Current()->GetId());
  }
  EXPECT_EQ(ids, (std::vector<int>{std::min(ia, ib), std::max(ia, ib)}));

  EXPECT_EQ(collector.Remove(ia), &a);
  EXPECT_EQ(a.GetId(), -1);
  EXPECT_EQ(collector.Remove(ia), nullptr);
  EXPECT_EQ(collector.Count(), 1);
}

TEST(CollectorMapped, FullCollectorRefusesInsteadOfLooping) {
  CollectorMapped collector;
  std::vector<Collectable> items(CollectorMapped::kCapacity + 1);
  std::set<int> ids;
  for (int i = 0; i < CollectorMapped::kCapacity; ++i) {
    ids.insert(collector.Add(&items[i]));
  }
  EXPECT_EQ(ids.size(), static_cast<size_t>(CollectorMapped::kCapacity));
  EXPECT_EQ(*ids.begin(), 0);
  EXPECT_EQ(*ids.rbegin(), CollectorMapped::kCapacity - 1);
  EXPECT_EQ(collector.Add(&items.back()), -1);
  EXPECT_EQ(items.back().GetId(), -1);
}

struct Counter : Vell::Singleton<Counter> {
  static inline int constructed = 0;
  Counter() { ++constructed; }
};

TEST(Singleton, CreatedOnceAndRecreatedAfterDestroy) {
  Counter* first = Counter::Instance();
  EXPECT_EQ(Counter::Instance(), first);
  EXPECT_EQ(Counter::constructed, 1);
  Counter::Destroy();
  EXPECT_FALSE(Counter::Exists());
  Counter::Instance();
  EXPECT_EQ(Counter::constructed, 2);
  Counter::Destroy();
}

}  // namespace
