#pragma once

// Hand-assembles component streams for tests, independently of the writer.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace slidesaver::test {

class StreamBytes {
 public:
  std::vector<std::uint8_t> bytes;

  StreamBytes& Raw(std::initializer_list<int> b) {
    for (int x : b) bytes.push_back(static_cast<std::uint8_t>(x));
    return *this;
  }
  StreamBytes& Raw(std::string_view s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    return *this;
  }
  StreamBytes& Int32(std::int32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
    return *this;
  }
  StreamBytes& Short(std::string_view s) {
    bytes.push_back(static_cast<std::uint8_t>(s.size()));
    return Raw(s);
  }
  // "TPF0", class name, empty object name.
  StreamBytes& Begin(std::string_view className) { return Raw("TPF0").Short(className).Short(""); }
  StreamBytes& Name(std::string_view property) { return Short(property); }
  StreamBytes& End() { return Raw({0, 0}); }  // end of properties, end of children

  StreamBytes& Int8(int v) { return Raw({2, v & 0xFF}); }
  StreamBytes& Int16(int v) { return Raw({3, v & 0xFF, (v >> 8) & 0xFF}); }
  StreamBytes& Int32Value(std::int32_t v) { return Raw({4}).Int32(v); }
  StreamBytes& Str(std::string_view s) { return Raw({6}).Short(s); }
  StreamBytes& Ident(std::string_view s) { return Raw({7}).Short(s); }
  StreamBytes& LStr(std::string_view s) { return Raw({12}).Int32(static_cast<std::int32_t>(s.size())).Raw(s); }
  StreamBytes& Utf8(std::string_view s) { return Raw({20}).Int32(static_cast<std::int32_t>(s.size())).Raw(s); }
  StreamBytes& Binary(const std::vector<std::uint8_t>& b) {
    Raw({10}).Int32(static_cast<std::int32_t>(b.size()));
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
  }
};

// A picture data block: class name, signed size, the data, optional extra bytes.
inline std::vector<std::uint8_t> PictureBlock(std::string_view graphicClass,
                                              const std::vector<std::uint8_t>& jpeg,
                                              std::size_t extra = 0) {
  StreamBytes b;
  b.Short(graphicClass).Int32(static_cast<std::int32_t>(jpeg.size()));
  b.bytes.insert(b.bytes.end(), jpeg.begin(), jpeg.end());
  b.bytes.resize(b.bytes.size() + extra, 0xAB);
  return b.bytes;
}

}  // namespace slidesaver::test
