// A lazily created, process-wide instance per class: class Hub : public Singleton<Hub> {...};
// Hub::Instance() creates it on first use with the default constructor.
#pragma once

#include <atomic>
#include <mutex>

namespace Vell {

template <typename T>
class Singleton {
 public:
  Singleton(const Singleton&) = delete;
  Singleton& operator=(const Singleton&) = delete;

  static T* Instance() {
    Singleton* current = instance.load(std::memory_order_acquire);
    if (current == nullptr) {
      std::lock_guard<std::recursive_mutex> guard(creation);
      current = instance.load(std::memory_order_acquire);
      if (current == nullptr) {
        T* created = new T();
        // The constructor may itself have stored another instance; the new one replaces it.
        Singleton* other = instance.exchange(created, std::memory_order_acq_rel);
        if (other != nullptr && other != created) {
          delete static_cast<T*>(other);
        }
        current = created;
      }
    }
    return static_cast<T*>(current);
  }

  // Whether an instance exists, without creating one.
  static bool Exists() { return instance.load(std::memory_order_acquire) != nullptr; }

  // Destroys the instance, if any; the next Instance() creates a fresh one.
  static void Destroy() {
    Singleton* current = instance.load(std::memory_order_acquire);
    if (current != nullptr) {
      delete static_cast<T*>(current);
    }
  }

 protected:
  Singleton() = default;
  ~Singleton() {
    Singleton* self = this;
    instance.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
  }

 private:
  static inline std::atomic<Singleton*> instance{nullptr};
  static inline std::recursive_mutex creation;
};

}  // namespace Vell
