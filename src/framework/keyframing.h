// Keyframe tracks sampled once per frame, and the ease curve that shapes both the interpolation
// between keys and the free-running walk through a sprite's images.
#pragma once

#include <iterator>
#include <map>
#include <vector>

namespace Vell::Math {

struct Vector3 {
  float x = 0;
  float y = 0;
  float z = 0;
  friend bool operator==(const Vector3&, const Vector3&) = default;
};

inline Vector3 operator-(const Vector3& a, const Vector3& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vector3 operator+(const Vector3& a, const Vector3& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vector3 operator*(float s, const Vector3& v) { return {s * v.x, s * v.y, s * v.z}; }

}  // namespace Vell::Math

namespace Vell::Keyframing {

class Ease {
 public:
  // Runs from 0 at t = 0 to 1 at t = 1 with continuous slope: accelerating over the first
  // easeOut of the interval, constant in the middle, decelerating over the last easeIn. t outside
  // [0, 1] is not clamped. Every step rounds to float.
  static float Compute(float t, float easeOut, float easeIn);
};

namespace Runtime {

template <typename T>
struct Key {
  int time = 0;
  T value{};
  float easeIn = 0;   // shapes the arrival at this key
  float easeOut = 0;  // shapes the departure from this key
};

template <typename T>
struct KeyList {
  int mode = 1;  // 1: eased interpolation; any other value: none
  std::vector<Key<T>> keys;
};

// A track of interpolated keys (float or Vector3 values).
template <typename T>
class Vector {
 public:
  virtual ~Vector() = default;
  virtual void Update(int t) { value = Evaluate(t); }

  // Stores every key (replacing keys of equal time), takes the mode, then updates to the time of
  // the list's first key.
  void SetKeys(const KeyList<T>& list) {
    for (const Key<T>& key : list.keys) {
      keys[key.time] = key;
    }
    mode = list.mode;
    RecomputeBounds();
    if (!list.keys.empty()) {
      Update(list.keys.front().time);
    }
  }

  // Removes the keys whose position in time order is in [first, last).
  void EraseKeys(int first, int last) {
    if (first < 0) {
      first = 0;
    }
    const int count = static_cast<int>(keys.size());
    if (last > count) {
      last = count;
    }
    if (first >= last) {
      return;
    }
    auto from = std::next(keys.begin(), first);
    auto to = std::next(keys.begin(), last);
    keys.erase(from, to);
    RecomputeBounds();
  }

  void ClearKeys() {
    keys.clear();
    RecomputeBounds();
  }

  T Evaluate(int t) const {
    if (keys.empty()) {
      return value;
    }
    if (t <= firstTime) {
      return keys.begin()->second.value;
    }
    if (t >= lastTime) {
      return keys.rbegin()->second.value;
    }
    if (mode != 1) {
      return value;
    }
    auto b = keys.upper_bound(t);  // first key after t; firstTime < t < lastTime, so it exists
    auto a = std::prev(b);
    const Key<T>& from = a->second;
    const Key<T>& to = b->second;
    const float x = static_cast<float>(t - from.time) / static_cast<float>(to.time - from.time);
    const float e = Ease::Compute(x, from.easeOut, to.easeIn);
    return from.value + e * (to.value - from.value);
  }

  const T& Value() const { return value; }
  void SetValue(const T& v) { value = v; }
  int Mode() const { return mode; }
  int FirstTime() const { return firstTime; }
  int LastTime() const { return lastTime; }
  const std::map<int, Key<T>>& Keys() const { return keys; }

 private:
  void RecomputeBounds() {
    firstTime = keys.empty() ? -1 : keys.begin()->first;
    lastTime = keys.empty() ? -1 : keys.rbegin()->first;
  }

  T value{};
  std::map<int, Key<T>> keys;
  int mode = 0;
  int firstTime = -1;
  int lastTime = -1;
};

template <typename T>
struct KeyD {
  int time = 0;
  T value{};
};

// A discrete track: the value of the last key at or before t, never interpolated.
template <typename T>
class VectorD {
 public:
  virtual ~VectorD() = default;
  virtual void Update(int t) { value = Evaluate(t); }

  void SetKeys(const std::vector<KeyD<T>>& list) {
    for (const KeyD<T>& key : list) {
      keys[key.time] = key;
    }
    RecomputeBounds();
    if (!list.empty()) {
      Update(list.front().time);
    }
  }

  void ClearKeys() {
    keys.clear();
    RecomputeBounds();
  }

  T Evaluate(int t) const {
    if (keys.empty()) {
      return value;
    }
    if (t <= firstTime) {
      return keys.begin()->second.value;
    }
    if (t >= lastTime) {
      return keys.rbegin()->second.value;
    }
    return std::prev(keys.upper_bound(t))->second.value;
  }

  const T& Value() const { return value; }
  void SetValue(const T& v) { value = v; }
  int FirstTime() const { return firstTime; }
  int LastTime() const { return lastTime; }
  const std::map<int, KeyD<T>>& Keys() const { return keys; }

 private:
  void RecomputeBounds() {
    firstTime = keys.empty() ? -1 : keys.begin()->first;
    lastTime = keys.empty() ? -1 : keys.rbegin()->first;
  }

  T value{};
  std::map<int, KeyD<T>> keys;
  int firstTime = -1;
  int lastTime = -1;
};

}  // namespace Runtime
}  // namespace Vell::Keyframing
