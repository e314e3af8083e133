#pragma once

#include <stdexcept>
#include <string>

namespace slidesaver {

// The one failure type of the system. The message is the text a user may see;
// callers decide whether to show it, swallow it or wrap it.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace slidesaver
