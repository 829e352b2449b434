// Error type of the crowd-sound engine: an exception with an English message.
#pragma once

#include <stdexcept>
#include <string>

namespace Ovatix {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace Ovatix
