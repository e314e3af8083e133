#include "payload/persistent.h"

#include "payload/textcodec.h"

namespace slidesaver {

const PropInfo* TPersistent::FindProperty(std::string_view name) const {
  for (const PropInfo& p : Properties()) {
    if (SameText(p.name, name)) return &p;
  }
  return nullptr;
}

const IdentEntry* FindIdent(std::span<const IdentEntry> table, std::string_view name) {
  for (const IdentEntry& e : table) {
    if (SameText(e.name, name)) return &e;
  }
  return nullptr;
}

const IdentEntry* FindIdentOf(std::span<const IdentEntry> table, std::int32_t value) {
  for (const IdentEntry& e : table) {
    if (e.value == value) return &e;
  }
  return nullptr;
}

}  // namespace slidesaver
