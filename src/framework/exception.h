// The exception family: an Object whose text form is its message.
#pragma once

#include <exception>
#include <string>

#include "framework/object.h"

namespace Vell {

class Exception : public Object, public std::exception {
 public:
  Exception() = default;
  explicit Exception(const Object& source) : Object(source) {}

  std::string ToString() const override { return "Generic exception"; }
  // The message as a C string (kept alive by the exception object).
  const char* what() const noexcept override;

 private:
  mutable std::string message;
};

// An exception whose message is fixed at construction; the base of most specific exceptions.
class MessageException : public Exception {
 public:
  explicit MessageException(std::string text) : text(std::move(text)) {}
  std::string ToString() const override { return text; }

 private:
  std::string text;
};

}  // namespace Vell
