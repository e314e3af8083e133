#include "payload/writer.h"

#include "base/error.h"
#include "payload/reader.h"
#include "payload/textcodec.h"

namespace slidesaver {

std::vector<std::uint8_t> WriteComponentStream(const TComponent& root) {
  std::vector<std::uint8_t> out;
  ComponentWriter(out).WriteComponent(root);
  return out;
}

void ComponentWriter::WriteComponent(const TComponent& root) {
  out_.insert(out_.end(), {'T', 'P', 'F', '0'});
  WriteShortString(root.ClassName());
  WriteShortString(root.Name());
  WriteProperties(root, "");
  Byte(0);  // end of properties
  Byte(0);  // end of children
}

void ComponentWriter::WriteProperties(const TPersistent& object, const std::string& prefix) {
  for (const PropInfo& info : object.Properties()) {
    if (!info.stored) continue;
    // A property at its default is left out: readers start from the default.
    if (info.defaultValue && info.get(object) == PropValue{*info.defaultValue}) continue;
    WriteProperty(object, info, prefix);
  }
  object.WriteDefined(*this, prefix);
}

void ComponentWriter::WriteProperty(const TPersistent& object, const PropInfo& info,
                                    const std::string& prefix) {
  const std::string path = prefix + std::string(info.name);
  if (info.type == PropType::Object) {
    if (TPersistent* inner = info.object(const_cast<TPersistent&>(object))) {
      WriteProperties(*inner, path + ".");
    }
    return;
  }
  const PropValue value = info.get(object);
  switch (info.type) {
    case PropType::Integer: {
      const auto v = static_cast<std::int32_t>(std::get<std::int64_t>(value));
      WritePropertyName(path);
      if (const IdentEntry* e = FindIdentOf(info.idents, v)) {
        WriteIdent(e->name);
      } else {
        WriteInteger(v);
      }
      return;
    }
    case PropType::Boolean:
      WritePropertyName(path);
      Byte(std::get<std::int64_t>(value) ? vaTrue : vaFalse);
      return;
    case PropType::Enumeration:
      WritePropertyName(path);
      WriteIdent(info.elements[static_cast<std::size_t>(std::get<std::int64_t>(value))]);
      return;
    case PropType::Text: {
      const std::string& text = std::get<std::string>(value);
      if (text.empty()) return;
      WritePropertyName(path);
      WriteText(text);
      return;
    }
    case PropType::Set: {
      WritePropertyName(path);
      Byte(vaSet);
      const auto bits = std::get<std::int64_t>(value);
      for (std::size_t i = 0; i < info.elements.size(); ++i) {
        if (bits & (std::int64_t{1} << i)) WriteShortString(info.elements[i]);
      }
      Byte(0);
      return;
    }
    case PropType::Object:
      return;
  }
}

void ComponentWriter::WriteShortString(std::string_view s) {
  if (s.size() > 255) throw Error("Text too long for a short string");
  Byte(static_cast<std::uint8_t>(s.size()));
  out_.insert(out_.end(), s.begin(), s.end());
}

void ComponentWriter::WriteInt32Raw(std::int32_t value) {
  const auto u = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) Byte(static_cast<std::uint8_t>(u >> (8 * i)));
}

void ComponentWriter::WritePropertyName(std::string_view path) {
  if (path.empty()) throw Error("Empty property name");
  WriteShortString(path);
}

void ComponentWriter::WriteInteger(std::int32_t value) {
  if (value >= -128 && value <= 127) {
    Byte(vaInt8);
    Byte(static_cast<std::uint8_t>(value));
  } else if (value >= -32768 && value <= 32767) {
    Byte(vaInt16);
    Byte(static_cast<std::uint8_t>(value));
    Byte(static_cast<std::uint8_t>(value >> 8));
  } else {
    Byte(vaInt32);
    WriteInt32Raw(value);
  }
}

void ComponentWriter::WriteIdent(std::string_view name) {
  if (name == "False") return Byte(vaFalse);
  if (name == "True") return Byte(vaTrue);
  if (name == "Null") return Byte(vaNull);
  if (name == "nil") return Byte(vaNil);
  Byte(vaIdent);
  WriteShortString(name);
}

void ComponentWriter::WriteText(std::string_view utf8) {
  if (!IsAscii(utf8)) {
    Byte(vaUTF8String);
  } else if (utf8.size() <= 255) {
    Byte(vaString);
    WriteShortString(utf8);
    return;
  } else {
    Byte(vaLString);
  }
  if (utf8.size() > 0x7FFFFFFF) throw Error("Text too long");
  WriteInt32Raw(static_cast<std::int32_t>(utf8.size()));
  out_.insert(out_.end(), utf8.begin(), utf8.end());
}

void ComponentWriter::WriteBinary(std::span<const std::uint8_t> bytes) {
  if (bytes.size() > 0x7FFFFFFF) throw Error("Binary value too long");
  Byte(vaBinary);
  WriteInt32Raw(static_cast<std::int32_t>(bytes.size()));
  out_.insert(out_.end(), bytes.begin(), bytes.end());
}

}  // namespace slidesaver
