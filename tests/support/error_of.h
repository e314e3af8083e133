#pragma once

#include <functional>
#include <string>

#include "base/error.h"

namespace slidesaver::test {

// The message of the Error that `action` throws, or "" when it throws none.
inline std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return error.what();
  }
  return "";
}

}  // namespace slidesaver::test
