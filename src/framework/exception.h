// The exception family: an Object whose text form is its message. Beside the message, which keeps
// the fixed text users and logs know, an exception may carry a detail for the log: the file it
// concerns and what was wrong with it. Any thread; an exception owns its texts.
#pragma once

#include <exception>
#include <string>

#include "framework/object.h"

namespace Vell {

class Exception : public Object, public std::exception {
 public:
  Exception() = default;
  explicit Exception(const Object& source) : Object(source) {}
  explicit Exception(std::string detail) : detail(std::move(detail)) {}

  std::string ToString() const override { return "Generic exception"; }
  // The message as a C string (kept alive by the exception object).
  const char* what() const noexcept override;
  // The file concerned and the reason ("'artists/artists.xml': cannot open the file"); empty
  // when there is nothing to add to the message.
  const std::string& Detail() const { return detail; }
  void SetDetail(std::string text) { detail = std::move(text); }
  // The message and, when there is one, the detail: what a log line says of the exception.
  std::string Describe() const { return detail.empty() ? ToString() : ToString() + ": " + detail; }

 private:
  mutable std::string message;
  std::string detail;
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
