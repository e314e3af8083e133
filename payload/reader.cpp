#include "payload/reader.h"

#include <cstring>

#include "base/error.h"
#include "payload/registry.h"
#include "payload/textcodec.h"

namespace slidesaver {
namespace {

constexpr char kSignature[4] = {'T', 'P', 'F', '0'};
constexpr std::uint8_t kLastKind = vaUTF8String;

[[noreturn]] void InvalidValue() { throw Error("Invalid property value"); }

void CheckKind(std::uint8_t kind) {
  if (kind > kLastKind) throw Error("Unknown value kind " + std::to_string(kind));
}

void CheckDepth(int depth) {
  if (depth > ComponentReader::kMaxDepth) throw Error("Stream nested too deeply");
}

}  // namespace

std::uint8_t ComponentReader::PeekByte() {
  const std::uint8_t b = stream_.ReadByte();
  stream_.Seek(stream_.Position() - 1);
  return b;
}

std::uint8_t ComponentReader::ReadValueKind() {
  const std::uint8_t kind = stream_.ReadByte();
  CheckKind(kind);
  return kind;
}

std::string ComponentReader::ReadShortString() {
  const std::uint8_t n = stream_.ReadByte();
  std::string s(n, '\0');
  stream_.ReadBuffer(s.data(), n);
  return s;
}

std::int32_t ComponentReader::ReadIntegerOfKind(std::uint8_t kind) {
  switch (kind) {
    case vaInt8:
      return static_cast<std::int8_t>(stream_.ReadByte());
    case vaInt16: {
      std::uint8_t b[2];
      stream_.ReadBuffer(b, 2);
      return static_cast<std::int16_t>(b[0] | (b[1] << 8));
    }
    case vaInt32:
      return stream_.ReadInt32();
    default:
      InvalidValue();
  }
}

std::vector<std::uint8_t> ComponentReader::ReadBinaryBody() {
  return stream_.ReadBytes(stream_.ReadInt32());
}

std::string ComponentReader::ReadTextOfKind(std::uint8_t kind) {
  switch (kind) {
    case vaString:
      return Cp1252ToUtf8(ReadShortString());
    case vaLString: {
      const auto bytes = stream_.ReadBytes(stream_.ReadInt32());
      return Cp1252ToUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
    case vaWString: {
      const std::int32_t units = stream_.ReadInt32();
      if (units < 0) throw Error("Stream read error");
      return Utf16LeToUtf8(stream_.ReadBytes(2 * static_cast<std::int64_t>(units)));
    }
    case vaUTF8String: {
      const auto bytes = stream_.ReadBytes(stream_.ReadInt32());
      return SanitizeUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
    default:
      InvalidValue();
  }
}

std::unique_ptr<TComponent> ComponentReader::ReadComponent() {
  std::unique_ptr<TComponent> created;
  ReadRoot(nullptr, &created);
  return created;
}

void ComponentReader::ReadRootInto(TComponent& root) { ReadRoot(&root, nullptr); }

void ComponentReader::ReadRoot(TComponent* existing, std::unique_ptr<TComponent>* created) {
  char signature[4];
  stream_.ReadBuffer(signature, 4);
  if (std::memcmp(signature, kSignature, 4) != 0) throw Error("Invalid stream format");
  SkipPrefix();
  const std::string className = ReadShortString();
  TComponent* root = existing;
  if (root == nullptr) {
    *created = CreateRegisteredClass(className);
    if (!*created) throw Error("Class " + Cp1252ToUtf8(className) + " not found");
    root = created->get();
  }
  root->SetName(Cp1252ToUtf8(ReadShortString()));
  while (PeekByte() != 0) ReadProperty(*root);
  stream_.ReadByte();
  while (PeekByte() != 0) SkipObject(1);
  stream_.ReadByte();
}

void ComponentReader::SkipPrefix() {
  const std::uint8_t b = PeekByte();
  if (b < 0xF0) return;
  stream_.ReadByte();
  if (b & 0x02) ReadIntegerOfKind(ReadValueKind());  // child position
}

void ComponentReader::ReadProperty(TComponent& root) {
  const std::string path = ReadShortString();
  try {
    ApplyProperty(root, path);
  } catch (const Error& e) {
    const std::string owner = root.Name().empty() ? std::string(root.ClassName()) : root.Name();
    throw Error("Error reading " + owner + "." + Cp1252ToUtf8(path) + ": " + e.what());
  }
}

void ComponentReader::ApplyProperty(TPersistent& root, const std::string& path) {
  TPersistent* object = &root;
  std::size_t start = 0;
  for (std::size_t dot = path.find('.'); dot != std::string::npos; dot = path.find('.', start)) {
    const PropInfo* info = object->FindProperty(std::string_view(path).substr(start, dot - start));
    if (info == nullptr) {
      SkipValue(0);  // a path through a property we do not have
      return;
    }
    TPersistent* inner = info->type == PropType::Object ? info->object(*object) : nullptr;
    if (inner == nullptr) {
      SkipValue(0);
      throw Error("Invalid property path");
    }
    object = inner;
    start = dot + 1;
  }
  const std::string_view last = std::string_view(path).substr(start);
  if (const PropInfo* info = object->FindProperty(last)) {
    ReadPropertyValue(*object, *info);
  } else if (!object->ReadDefined(last, *this)) {
    SkipValue(0);
  }
}

void ComponentReader::ReadPropertyValue(TPersistent& object, const PropInfo& info) {
  const std::uint8_t kind = ReadValueKind();
  switch (info.type) {
    case PropType::Integer: {
      if (kind == vaIdent) {
        const IdentEntry* e = FindIdent(info.idents, ReadShortString());
        if (e == nullptr) InvalidValue();
        info.set(object, std::int64_t{e->value});
      } else {
        info.set(object, std::int64_t{ReadIntegerOfKind(kind)});
      }
      return;
    }
    case PropType::Boolean: {
      std::int64_t value;
      if (kind == vaFalse || kind == vaTrue) {
        value = kind == vaTrue;
      } else if (kind == vaIdent) {
        const std::string name = ReadShortString();
        if (SameText(name, "True")) value = 1;
        else if (SameText(name, "False")) value = 0;
        else InvalidValue();
      } else {
        InvalidValue();
      }
      info.set(object, value);
      return;
    }
    case PropType::Enumeration: {
      if (kind != vaIdent) InvalidValue();
      const std::string name = ReadShortString();
      for (std::size_t i = 0; i < info.elements.size(); ++i) {
        if (SameText(info.elements[i], name)) {
          info.set(object, static_cast<std::int64_t>(i));
          return;
        }
      }
      InvalidValue();
    }
    case PropType::Text:
      info.set(object, ReadTextOfKind(kind));
      return;
    case PropType::Set: {
      if (kind != vaSet) InvalidValue();
      std::int64_t bits = 0;
      for (std::string name = ReadShortString(); !name.empty(); name = ReadShortString()) {
        for (std::size_t i = 0; i < info.elements.size(); ++i) {
          if (SameText(info.elements[i], name)) bits |= std::int64_t{1} << i;
        }
      }
      info.set(object, bits);
      return;
    }
    case PropType::Object:
      // Payload records hold no object references or collections; such
      // values are accepted and passed over.
      if (kind == vaNil) return;
      if (kind == vaIdent || kind == vaCollection) {
        SkipValueOfKind(kind);
        return;
      }
      InvalidValue();
  }
}

void ComponentReader::SkipValue(int depth) { SkipValueOfKind(ReadValueKind(), depth); }

void ComponentReader::SkipValueOfKind(std::uint8_t kind, int depth) {
  CheckKind(kind);
  switch (kind) {
    case vaNull: case vaFalse: case vaTrue: case vaNil:
      return;
    case vaInt8: stream_.Skip(1); return;
    case vaInt16: stream_.Skip(2); return;
    case vaInt32: case vaSingle: stream_.Skip(4); return;
    case vaCurrency: case vaDate: case vaInt64: stream_.Skip(8); return;
    case vaExtended: stream_.Skip(10); return;
    case vaString: case vaIdent: stream_.Skip(stream_.ReadByte()); return;
    case vaBinary: case vaLString: case vaUTF8String: stream_.Skip(stream_.ReadInt32()); return;
    case vaWString: {
      const std::int32_t units = stream_.ReadInt32();
      if (units < 0) throw Error("Stream read error");
      stream_.Skip(2 * static_cast<std::int64_t>(units));
      return;
    }
    case vaSet:
      for (std::uint8_t n = stream_.ReadByte(); n != 0; n = stream_.ReadByte()) stream_.Skip(n);
      return;
    case vaList:
      CheckDepth(depth + 1);
      for (std::uint8_t k = ReadValueKind(); k != vaNull; k = ReadValueKind()) SkipValueOfKind(k, depth + 1);
      return;
    case vaCollection:
      SkipCollection(depth + 1);
      return;
  }
}

void ComponentReader::SkipCollection(int depth) {
  CheckDepth(depth);
  for (std::uint8_t b = stream_.ReadByte(); b != vaNull; b = stream_.ReadByte()) {
    if (b == vaInt8 || b == vaInt16 || b == vaInt32) {
      SkipValueOfKind(b, depth);  // the item's index
      stream_.ReadByte();         // the item's list marker
    }
    while (PeekByte() != 0) SkipPropertyEntry(depth);
    stream_.ReadByte();
  }
}

void ComponentReader::SkipPropertyEntry(int depth) {
  stream_.Skip(stream_.ReadByte());
  SkipValue(depth);
}

void ComponentReader::SkipObject(int depth) {
  CheckDepth(depth);
  SkipPrefix();
  stream_.Skip(stream_.ReadByte());  // class name
  stream_.Skip(stream_.ReadByte());  // object name
  while (PeekByte() != 0) SkipPropertyEntry(depth);
  stream_.ReadByte();
  while (PeekByte() != 0) SkipObject(depth + 1);
  stream_.ReadByte();
}

}  // namespace slidesaver
