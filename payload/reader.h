#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "payload/persistent.h"
#include "payload/stream.h"

namespace slidesaver {

// Value kinds of the component stream format.
enum ValueKind : std::uint8_t {
  vaNull = 0, vaList = 1, vaInt8 = 2, vaInt16 = 3, vaInt32 = 4, vaExtended = 5, vaString = 6,
  vaIdent = 7, vaFalse = 8, vaTrue = 9, vaBinary = 10, vaSet = 11, vaLString = 12, vaNil = 13,
  vaCollection = 14, vaSingle = 15, vaCurrency = 16, vaDate = 17, vaWString = 18, vaInt64 = 19,
  vaUTF8String = 20,
};

// Reads one component stream ("TPF0", an object entry) from the stream's
// current position and leaves the stream directly behind it.
class ComponentReader {
 public:
  // Nesting of lists, collections and child objects a stream may use; deeper
  // streams fail instead of exhausting the stack.
  static constexpr int kMaxDepth = 128;

  explicit ComponentReader(InputStream& stream) : stream_(stream) {}

  // Creates the root object through the class registry from the stream's class name.
  std::unique_ptr<TComponent> ReadComponent();
  // Fills an existing root object; the stream's class name is not checked.
  void ReadRootInto(TComponent& root);

  // For objects that read their own stored values (ReadDefined).
  std::uint8_t ReadValueKind();
  std::vector<std::uint8_t> ReadBinaryBody();  // after a vaBinary kind byte
  void SkipValueOfKind(std::uint8_t kind, int depth = 0);

 private:
  void ReadRoot(TComponent* existing, std::unique_ptr<TComponent>* created);
  void ReadProperty(TComponent& root);
  void ApplyProperty(TPersistent& root, const std::string& path);
  void ReadPropertyValue(TPersistent& object, const PropInfo& info);
  void SkipValue(int depth);
  void SkipCollection(int depth);
  void SkipPropertyEntry(int depth);
  void SkipObject(int depth);
  void SkipPrefix();

  std::string ReadShortString();
  std::int32_t ReadIntegerOfKind(std::uint8_t kind);
  std::string ReadTextOfKind(std::uint8_t kind);
  std::uint8_t PeekByte();

  InputStream& stream_;
};

}  // namespace slidesaver
