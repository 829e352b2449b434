#include "framework/object.h"

#include "framework/exception.h"

namespace Vell {

Object::Object(const char* name, int tag) : name(name != nullptr ? name : ""), tag(tag) {}

Object::Object(std::string name, int tag) : name(std::move(name)), tag(tag) {}

std::string Object::ToString() const { return name; }

Object& Object::Assign(const Object& other) {
  if (&other != this) {
    name = other.name;
    tag = other.tag;
  }
  return *this;
}

bool Object::Equals(const Object* other) const { return other == this; }

uint32_t Object::GetHash() const { return HashName(name); }

uint32_t Object::HashName(const std::string& text) {
  uint32_t h = 5381;
  for (char c : text) {
    // The hash takes bytes as signed values on purpose: stored hashes depend on it.
    const auto sc =
        static_cast<int32_t>(static_cast<signed char>(c));  // NOLINT(bugprone-signed-char-misuse)
    h = (h * 33U) ^ static_cast<uint32_t>(sc);
  }
  return h * 1566083942U;
}

const char* Exception::what() const noexcept {
  try {
    message = ToString();
  } catch (...) {
    return "exception";
  }
  return message.c_str();
}

}  // namespace Vell
