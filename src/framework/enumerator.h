// The cursor that every collection carries inside itself. The calling pattern is
//   auto* e = collection.GetEnumerator(); while (e->MoveNext()) use(e->Current());
// A collection owns exactly one enumerator, so a nested walk over the same collection restarts
// the outer one; Push/Pop remember one position while the caller looks ahead.
#pragma once

#include <iterator>
#include <map>

namespace Vell::Collections {

template <typename T>
class IEnumerator {
 public:
  virtual ~IEnumerator() = default;
  virtual bool Reset() = 0;
  virtual bool MoveNext() = 0;
  virtual bool MovePrevious() = 0;
  virtual bool Move(int count) = 0;
  virtual bool Push() = 0;
  virtual bool Pop() = 0;
  // The element at the cursor; a value-initialised element when the walk has not started.
  virtual T Current() const = 0;
};

template <typename T>
class IEnumerable {
 public:
  virtual IEnumerator<T>* GetEnumerator() = 0;

 protected:
  ~IEnumerable() = default;
};

// What an enumerator yields for a container: the element itself, or the mapped value of a map.
template <typename Container>
struct EnumeratorTraits {
  using Element = typename Container::value_type;
  template <typename It>
  static Element Get(It it) {
    return *it;
  }
};

template <typename K, typename V, typename C, typename A>
struct EnumeratorTraits<std::map<K, V, C, A>> {
  using Element = V;
  template <typename It>
  static Element Get(It it) {
    return it->second;
  }
};

template <typename Container>
class Enumerator : public IEnumerator<typename EnumeratorTraits<Container>::Element> {
 public:
  using Element = typename EnumeratorTraits<Container>::Element;
  using Iterator = typename Container::iterator;

  explicit Enumerator(Container* container = nullptr) : container(container) {}
  void Bind(Container* target) {
    container = target;
    Enumerator::Reset();
  }

  bool Reset() override {
    started = false;
    saved = false;
    return false;
  }

  bool MoveNext() override {
    if (!started) {
      position = container->begin();
      started = true;
    } else if (position != container->end()) {
      ++position;
    }
    if (position == container->end()) {
      this->Reset();
    }
    return started;
  }

  bool MovePrevious() override {
    if (!started) {
      return false;
    }
    if (position == container->begin()) {
      this->Reset();
    } else {
      --position;
    }
    return started;
  }

  bool Move(int count) override {
    if (count == 0) {
      return false;
    }
    if (!started) {
      position = container->begin();
      started = true;
    }
    if (count > 0) {
      for (; count > 0 && position != container->end(); --count) {
        ++position;
      }
    } else {
      for (; count < 0 && position != container->begin(); ++count) {
        --position;
      }
    }
    if (position == container->end()) {
      this->Reset();
    }
    return started;
  }

  bool Push() override {
    if (started) {
      savedPosition = position;
      saved = true;
    }
    return saved;
  }

  bool Pop() override {
    if (!saved) {
      return false;
    }
    position = savedPosition;
    saved = false;
    return true;
  }

  Element Current() const override {
    if (!started || position == container->end()) {
      return Element{};
    }
    return EnumeratorTraits<Container>::Get(position);
  }

 private:
  Container* container;
  Iterator position{};
  Iterator savedPosition{};
  bool started = false;
  bool saved = false;
};

}  // namespace Vell::Collections
