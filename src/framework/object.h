// The common root of named framework objects.
#pragma once

#include <cstdint>
#include <string>

namespace Vell {

class Object {
 public:
  Object() = default;
  explicit Object(const char* name, int tag = 0);
  explicit Object(std::string name, int tag = 0);
  Object(const Object& other) = default;
  Object& operator=(const Object& other) = default;
  virtual ~Object() = default;

  // The object's text form: its name (exceptions return their message).
  virtual std::string ToString() const;
  // Copies name and tag unless other is this object.
  virtual Object& Assign(const Object& other);
  // Identity: true only for this very object.
  virtual bool Equals(const Object* other) const;
  virtual uint32_t GetHash() const;

  const std::string& GetName() const { return name; }
  void SetName(std::string value) { name = std::move(value); }
  int GetTag() const { return tag; }
  void SetTag(int value) { tag = value; }

  // djb2 over the bytes of text (as signed chars, xor variant), scaled by 1566083942.
  static uint32_t HashName(const std::string& text);

 protected:
  std::string name;
  int tag = 0;
};

}  // namespace Vell
