// Collections of raw object pointers. They never own their elements implicitly: destruction frees
// only the nodes; owners call DeleteAll first.
#pragma once

#include <list>
#include <map>
#include <memory>
#include <random>

#include "framework/enumerator.h"
#include "framework/object.h"

namespace Vell::Collections {

class IList {
 public:
  virtual int Add(Object* element) = 0;
  virtual void AddFirst(Object* element) = 0;
  virtual Object* RemoveAt(int index) = 0;
  virtual int Count() const = 0;
  virtual Object* Find(const char* name) const = 0;
  virtual Object* Item(int index) const = 0;
  virtual int IndexOf(const char* name) const = 0;
  virtual void DeleteAll() = 0;
  virtual void Clear() = 0;
  virtual Object* GetAt(int index) const = 0;

 protected:
  ~IList() = default;
};

// An ordered list of objects with its own enumerator.
class List : public IEnumerable<Object*>, public IList {
 public:
  using Container = std::list<Object*>;

  List() : enumerator(&elements) {}
  List(const List&) = delete;
  List& operator=(const List&) = delete;
  virtual ~List() = default;

  IEnumerator<Object*>* GetEnumerator() override;
  // null: -1 and no change; else appends and returns the new index.
  int Add(Object* element) override;
  void AddFirst(Object* element) override;
  // The element is unlinked, not destroyed; null when index is out of range.
  Object* RemoveAt(int index) override;
  int Count() const override { return static_cast<int>(elements.size()); }
  // The first element whose ToString equals name ignoring ASCII case.
  Object* Find(const char* name) const override;
  Object* Item(int index) const override { return GetAt(index); }
  int IndexOf(const char* name) const override;
  void DeleteAll() override;
  void Clear() override { elements.clear(); }
  Object* GetAt(int index) const override;

 protected:
  // Inserts element before position; for derived lists that keep their own order.
  void InsertBefore(Container::iterator position, Object* element) {
    elements.insert(position, element);
  }
  Container& Elements() { return elements; }
  const Container& Elements() const { return elements; }

 private:
  Container elements;
  Enumerator<Container> enumerator;
};

// An object that can live in a CollectorMapped: it knows its id there (-1 while in none).
class Collectable : public Object {
 public:
  explicit Collectable(const char* name = "") : Object(name, 0) {}
  int GetId() const { return id; }

 private:
  friend class CollectorMapped;
  int id = -1;
};

class ICollectorMapped {
 public:
  virtual int Add(Collectable* element) = 0;
  virtual Collectable* Remove(int id) = 0;
  virtual int Count() const = 0;
  virtual Collectable* Find(const char* name) const = 0;
  virtual Collectable* Get(int id) const = 0;
  virtual void DeleteAll() = 0;

 protected:
  ~ICollectorMapped() = default;
};

// Objects stored under random ids 0 ... 16383, walked in ascending id order.
class CollectorMapped : public IEnumerable<Collectable*>, public ICollectorMapped {
 public:
  using Container = std::map<int, Collectable*>;
  static constexpr int kCapacity = 16384;

  CollectorMapped();
  CollectorMapped(const CollectorMapped&) = delete;
  CollectorMapped& operator=(const CollectorMapped&) = delete;
  virtual ~CollectorMapped() = default;

  IEnumerator<Collectable*>* GetEnumerator() override;
  // null, or a full collector: -1. Else stores the element under a fresh random id, writes the
  // id into the element and returns it.
  int Add(Collectable* element) override;
  // The element is not destroyed; its id becomes -1. null when the id is absent.
  Collectable* Remove(int id) override;
  int Count() const override { return static_cast<int>(elements.size()); }
  Collectable* Find(const char* name) const override;
  Collectable* Get(int id) const override;
  void DeleteAll() override;

 private:
  Container elements;
  Enumerator<Container> enumerator;
  std::minstd_rand generator;
};

}  // namespace Vell::Collections
