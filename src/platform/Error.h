#pragma once

#include <stdexcept>
#include <string>

namespace tessarine {

// The one exception type the program raises for errors a user is shown.
// what() is the message, UTF-8, exactly as the error box shows it before
// its closing period is added.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace tessarine
