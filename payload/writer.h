#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "payload/persistent.h"

namespace slidesaver {

// Writes component streams by the writers' rules: integers in the smallest
// kind that holds them (or as the name the property's identifier table has
// for them), booleans as kinds 8 and 9, texts as kind 6, 12 or 20, empty texts
// left out, properties in declaration order, objects as dotted paths.
class ComponentWriter {
 public:
  explicit ComponentWriter(std::vector<std::uint8_t>& out) : out_(out) {}

  void WriteComponent(const TComponent& root);

  void WritePropertyName(std::string_view path);
  void WriteInteger(std::int32_t value);
  void WriteIdent(std::string_view name);
  void WriteText(std::string_view utf8);
  void WriteBinary(std::span<const std::uint8_t> bytes);

 private:
  void WriteProperties(const TPersistent& object, const std::string& prefix);
  void WriteProperty(const TPersistent& object, const PropInfo& info, const std::string& prefix);
  void WriteShortString(std::string_view s);
  void WriteInt32Raw(std::int32_t value);
  void Byte(std::uint8_t b) { out_.push_back(b); }

  std::vector<std::uint8_t>& out_;
};

std::vector<std::uint8_t> WriteComponentStream(const TComponent& root);

}  // namespace slidesaver
