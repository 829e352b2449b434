#include "framework/collections.h"

#include <chrono>

#include "framework/text.h"

namespace Vell::Collections {

namespace {
bool NameMatches(const Object* element, const char* name) {
  return element != nullptr && name != nullptr && Text::EqualsIgnoreCase(element->ToString(), name);
}
}  // namespace

IEnumerator<Object*>* List::GetEnumerator() {
  enumerator.Reset();
  return &enumerator;
}

int List::Add(Object* element) {
  if (element == nullptr) {
    return -1;
  }
  elements.push_back(element);
  return Count() - 1;
}

void List::AddFirst(Object* element) {
  if (element != nullptr) {
    elements.push_front(element);
  }
}

Object* List::RemoveAt(int index) {
  if (index < 0 || index >= Count()) {
    return nullptr;
  }
  auto it = std::next(elements.begin(), index);
  Object* element = *it;
  elements.erase(it);
  return element;
}

Object* List::Find(const char* name) const {
  for (Object* element : elements) {
    if (NameMatches(element, name)) {
      return element;
    }
  }
  return nullptr;
}

int List::IndexOf(const char* name) const {
  int index = 0;
  for (Object* element : elements) {
    if (NameMatches(element, name)) {
      return index;
    }
    ++index;
  }
  return -1;
}

void List::DeleteAll() {
  for (Object* element : elements) {
    delete element;
  }
  elements.clear();
}

Object* List::GetAt(int index) const {
  if (index < 0 || index >= Count()) {
    return nullptr;
  }
  return *std::next(elements.begin(), index);
}

CollectorMapped::CollectorMapped()
    : enumerator(&elements),
      generator(static_cast<std::minstd_rand::result_type>(
          std::chrono::steady_clock::now().time_since_epoch().count() ^
          reinterpret_cast<std::uintptr_t>(this))) {}

IEnumerator<Collectable*>* CollectorMapped::GetEnumerator() {
  enumerator.Reset();
  return &enumerator;
}

int CollectorMapped::Add(Collectable* element) {
  if (element == nullptr || Count() >= kCapacity) {
    return -1;
  }
  std::uniform_int_distribution<int> draw(0, kCapacity - 1);
  int id = draw(generator);
  while (elements.count(id) != 0) {
    id = draw(generator);
  }
  elements.emplace(id, element);
  element->id = id;
  return id;
}

Collectable* CollectorMapped::Remove(int id) {
  auto it = elements.find(id);
  if (it == elements.end()) {
    return nullptr;
  }
  Collectable* element = it->second;
  elements.erase(it);
  if (element != nullptr) {
    element->id = -1;
  }
  return element;
}

Collectable* CollectorMapped::Find(const char* name) const {
  for (const auto& [id, element] : elements) {
    if (NameMatches(element, name)) {
      return element;
    }
  }
  return nullptr;
}

Collectable* CollectorMapped::Get(int id) const {
  auto it = elements.find(id);
  return it == elements.end() ? nullptr : it->second;
}

void CollectorMapped::DeleteAll() {
  for (const auto& [id, element] : elements) {
    delete element;
  }
  elements.clear();
}

}  // namespace Vell::Collections
