#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace slidesaver {

class ComponentReader;
class ComponentWriter;

// A named integer constant of a property type (colour and character-set names).
struct IdentEntry {
  std::string_view name;
  std::int32_t value;
};

enum class PropType { Integer, Boolean, Enumeration, Text, Set, Object };

class TPersistent;

// The value of an Integer (value), Boolean (0/1), Enumeration (ordinal) or
// Set (bit i = element i) property, or the UTF-8 text of a Text property.
using PropValue = std::variant<std::int64_t, std::string>;

// One published property: its name, its type and how to reach it.
struct PropInfo {
  std::string_view name;
  PropType type;
  std::span<const IdentEntry> idents{};           // Integer: names writers and readers use
  std::span<const std::string_view> elements{};   // Enumeration and Set element names
  bool stored = true;                              // false: writers leave it out
  std::optional<std::int64_t> defaultValue{};      // Integer, Boolean: writers leave this value out
  std::function<PropValue(const TPersistent&)> get{};
  std::function<void(TPersistent&, const PropValue&)> set{};
  std::function<TPersistent*(TPersistent&)> object{};  // Object properties
};

// An object with published properties that component streams can fill.
class TPersistent {
 public:
  virtual ~TPersistent() = default;
  virtual std::string_view ClassName() const = 0;
  virtual std::span<const PropInfo> Properties() const = 0;

  // Stored values the object defines for itself besides its properties (a
  // picture's "Data"). ReadDefined returns false for a name it does not know;
  // WriteDefined writes every such value under the given path prefix.
  virtual bool ReadDefined(std::string_view name, ComponentReader& reader) { return false; }
  virtual void WriteDefined(ComponentWriter& writer, const std::string& prefix) const {}

  const PropInfo* FindProperty(std::string_view name) const;
};

// An object that can be a stream's root: it carries a name.
class TComponent : public TPersistent {
 public:
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

 private:
  std::string name_;
};

// Helpers to declare properties of a concrete class T with member accessors.
template <typename T>
PropInfo IntegerProperty(std::string_view name, std::int32_t (T::*get)() const,
                         void (T::*set)(std::int32_t), std::span<const IdentEntry> idents = {},
                         std::optional<std::int64_t> defaultValue = {}) {
  return PropInfo{name, PropType::Integer, idents, {}, true, defaultValue,
                  [get](const TPersistent& o) { return PropValue{std::int64_t{(static_cast<const T&>(o).*get)()}}; },
                  [set](TPersistent& o, const PropValue& v) {
                    (static_cast<T&>(o).*set)(static_cast<std::int32_t>(std::get<std::int64_t>(v)));
                  }};
}

template <typename T>
PropInfo BooleanProperty(std::string_view name, bool T::*member,
                         std::optional<std::int64_t> defaultValue = {}) {
  return PropInfo{name, PropType::Boolean, {}, {}, true, defaultValue,
                  [member](const TPersistent& o) { return PropValue{std::int64_t{static_cast<const T&>(o).*member}}; },
                  [member](TPersistent& o, const PropValue& v) { static_cast<T&>(o).*member = std::get<std::int64_t>(v) != 0; }};
}

template <typename T>
PropInfo TextProperty(std::string_view name, std::string (T::*get)() const,
                      void (T::*set)(const std::string&)) {
  return PropInfo{name, PropType::Text, {}, {}, true, {},
                  [get](const TPersistent& o) { return PropValue{(static_cast<const T&>(o).*get)()}; },
                  [set](TPersistent& o, const PropValue& v) { (static_cast<T&>(o).*set)(std::get<std::string>(v)); }};
}

template <typename T>
PropInfo ObjectProperty(std::string_view name, TPersistent* (T::*get)()) {
  PropInfo info{name, PropType::Object};
  info.object = [get](TPersistent& o) { return (static_cast<T&>(o).*get)(); };
  return info;
}

// Looks up an identifier without regard to letter case.
const IdentEntry* FindIdent(std::span<const IdentEntry> table, std::string_view name);
// Looks up the name of a value.
const IdentEntry* FindIdentOf(std::span<const IdentEntry> table, std::int32_t value);

}  // namespace slidesaver
