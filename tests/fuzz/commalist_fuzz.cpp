// Any text read as a comma list must give the same items after the list is
// written back and read again.

#include <cstdint>
#include <string_view>

#include "payload/commalist.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto items = slidesaver::ParseCommaList(text);
  if (slidesaver::ParseCommaList(slidesaver::FormatCommaList(items)) != items) __builtin_trap();
  return 0;
}
