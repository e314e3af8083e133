#include "tools/pe_title.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "base/error.h"
#include "payload/textcodec.h"

namespace slidesaver {
namespace {

constexpr std::uint32_t kResourceDataDirectory = 2;  // index in the optional header
constexpr std::uint32_t kRtString = 6;
constexpr std::uint32_t kTitleBlock = 1;  // a string table block holds ids 16 * (block - 1) + 0..15
constexpr std::size_t kTitleIndex = 1;    // string 1 is the block's second
constexpr std::size_t kStringsPerBlock = 16;
constexpr std::uint32_t kSubdirectory = 0x80000000u;

struct Section {
  std::uint32_t address, size, fileOffset;
};

// Reads the little-endian structures of a PE image; every read is checked against the file, and
// a failed check ends the work with a one-line Error naming the file.
class PeReader {
 public:
  PeReader(const std::vector<std::uint8_t>& file, const std::string& name)
      : file_(file), name_(name) {}

  [[noreturn]] void Fail(const std::string& what) const {
    throw Error("\"" + name_ + "\" is not a valid Windows program: " + what);
  }
  void Need(std::uint64_t at, std::uint64_t size, const char* what) const {
    if (at > file_.size() || size > file_.size() - at)
      Fail(std::string(what) + " lies outside the file");
  }
  std::uint16_t U16(std::uint64_t at, const char* what) const {
    Need(at, 2, what);
    return static_cast<std::uint16_t>(file_[at] | file_[at + 1] << 8);
  }
  std::uint32_t U32(std::uint64_t at, const char* what) const {
    return U16(at, what) | static_cast<std::uint32_t>(U16(at + 2, what)) << 16;
  }

  // The file offset of `size` bytes at the relative virtual address `rva`, which must lie in the
  // file data of one section.
  std::uint64_t Offset(std::uint64_t rva, std::uint64_t size, const char* what) const {
    for (const Section& s : sections_) {
      if (rva >= s.address && rva - s.address <= s.size && size <= s.size - (rva - s.address)) {
        return s.fileOffset + (rva - s.address);
      }
    }
    Fail(std::string(what) + " lies outside the sections");
  }

  // The resource directory's address, or 0 when the program has none.
  std::uint32_t ReadHeaders() {
    const std::uint32_t pe = U32(0x3C, "the DOS header");
    if (U32(pe, "the PE header") != 0x00004550u) Fail("no PE signature");
    const std::uint64_t coff = pe + 4;
    const std::uint16_t sectionCount = U16(coff + 2, "the COFF header");
    const std::uint16_t optionalSize = U16(coff + 16, "the COFF header");
    const std::uint64_t optional = coff + 20;
    std::uint64_t directories;
    switch (U16(optional, "the optional header")) {
      case 0x10B:
        directories = 96;
        break;  // PE32
      case 0x20B:
        directories = 112;
        break;  // PE32+
      default:
        Fail("unknown optional header");
    }
    if (optionalSize < directories) Fail("the optional header is too short");
    const std::uint32_t directoryCount = U32(optional + directories - 4, "the optional header");
    if (optionalSize < directories + std::uint64_t{directoryCount} * 8) {
      Fail("the data directories run past the optional header");
    }
    const std::uint64_t table = optional + optionalSize;
    Need(table, std::uint64_t{sectionCount} * 40, "the section table");
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
      const std::uint64_t at = table + std::uint64_t{i} * 40;
      const std::uint32_t virtualSize = U32(at + 8, "the section table");
      Section s{U32(at + 12, "the section table"), U32(at + 16, "the section table"),
                U32(at + 20, "the section table")};
      if (virtualSize != 0) s.size = std::min(s.size, virtualSize);  // the rest is padding
      Need(s.fileOffset, s.size, "a section");
      sections_.push_back(s);
    }
    if (directoryCount <= kResourceDataDirectory) return 0;
    return U32(optional + directories + kResourceDataDirectory * 8, "the data directories");
  }

  // The entry with numeric `id` of the resource directory at `dirOffset`: the offset relative to
  // the resource root it points to, with the subdirectory bit; none when there is no such entry.
  std::optional<std::uint32_t> Find(std::uint64_t dirOffset, std::uint32_t id) const {
    const std::uint32_t named = U16(dirOffset + 12, "a resource directory");
    const std::uint32_t ids = U16(dirOffset + 14, "a resource directory");
    Need(dirOffset + 16, (named + ids) * 8ull, "a resource directory");
    for (std::uint32_t i = named; i < named + ids; ++i) {
      const std::uint64_t at = dirOffset + 16 + i * 8ull;
      if (U32(at, "a resource directory") == id) return U32(at + 4, "a resource directory");
    }
    return std::nullopt;
  }

 private:
  const std::vector<std::uint8_t>& file_;
  const std::string& name_;
  std::vector<Section> sections_;
};

void PutU16(std::vector<std::uint8_t>& out, char16_t unit) {
  out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
  out.push_back(static_cast<std::uint8_t>(unit >> 8));
}

}  // namespace

std::u16string TitleSlotPlaceholder() {
  std::u16string text(kTitleSlotMarker.begin(), kTitleSlotMarker.end());
  text.resize(kTitleSlotLength, u'.');
  return text;
}

std::u16string TitleSlotText(std::string_view utf8) {
  const std::string valid = SanitizeUtf8(utf8);
  std::u16string out;
  for (std::size_t i = 0; i < valid.size();) {
    const auto c = static_cast<unsigned char>(valid[i]);
    const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k)
      cp = cp << 6 | (static_cast<unsigned char>(valid[i + k]) & 0x3F);
    i += n;
    if (out.size() + (cp >= 0x10000 ? 2 : 1) > kTitleSlotLength) break;
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

TitleSlotResult WriteTitleSlot(std::vector<std::uint8_t>& file, std::string_view title,
                               const std::string& name) {
  if (file.size() < 2 || file[0] != 'M' || file[1] != 'Z') return TitleSlotResult::kNotWindows;
  PeReader pe(file, name);
  const std::uint32_t root = pe.ReadHeaders();
  if (root == 0) return TitleSlotResult::kNoSlot;
  // Resource directory entries point at offsets from the root; the data entries at addresses.
  const auto directory = [&](std::uint32_t entry) {
    if (!(entry & kSubdirectory)) pe.Fail("a resource type or name without its directory");
    return pe.Offset(std::uint64_t{root} + (entry & ~kSubdirectory), 16, "a resource directory");
  };
  const auto strings = pe.Find(pe.Offset(root, 16, "the resource directory"), kRtString);
  if (!strings) return TitleSlotResult::kNoSlot;
  const auto block = pe.Find(directory(*strings), kTitleBlock);
  if (!block) return TitleSlotResult::kNoSlot;
  const std::uint64_t languages = directory(*block);
  const std::uint32_t count = pe.U16(languages + 12, "a resource directory") +
                              pe.U16(languages + 14, "a resource directory");
  pe.Need(languages + 16, count * 8ull, "a resource directory");

  // Every language's copy of the block that holds the placeholder gets the title. All are
  // rebuilt first, so that a broken one leaves the file untouched.
  const std::u16string placeholder = TitleSlotPlaceholder();
  const std::u16string text = TitleSlotText(title);
  std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> writes;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t entry = pe.U32(languages + 16 + i * 8ull + 4, "a resource directory");
    if (entry & kSubdirectory) pe.Fail("a string table block is a directory");
    const std::uint64_t dataEntry =
        pe.Offset(std::uint64_t{root} + entry, 16, "a resource data entry");
    const std::uint32_t size = pe.U32(dataEntry + 4, "a resource data entry");
    const std::uint64_t data =
        pe.Offset(pe.U32(dataEntry, "a resource data entry"), size, "a string table block");
    std::vector<std::u16string> blockStrings;
    std::uint64_t at = data;
    for (std::size_t k = 0; k < kStringsPerBlock; ++k) {
      if (at + 2 > data + size) pe.Fail("a string runs past its string table block");
      const std::uint16_t length = pe.U16(at, "a string table block");
      if (at + 2 + length * 2ull > data + size)
        pe.Fail("a string runs past its string table block");
      std::u16string s;
      for (std::uint16_t u = 0; u < length; ++u)
        s += static_cast<char16_t>(pe.U16(at + 2 + u * 2ull, "a string"));
      blockStrings.push_back(std::move(s));
      at += 2 + length * 2ull;
    }
    if (blockStrings[kTitleIndex] != placeholder) continue;
    blockStrings[kTitleIndex] = text;
    std::vector<std::uint8_t> rebuilt;
    for (const std::u16string& s : blockStrings) {
      PutU16(rebuilt, static_cast<char16_t>(s.size()));
      for (const char16_t unit : s) PutU16(rebuilt, unit);
    }
    rebuilt.resize(size, 0);  // never larger: the title is at most as long as the placeholder
    writes.emplace_back(data, std::move(rebuilt));
  }
  if (writes.empty()) return TitleSlotResult::kNoSlot;
  for (const auto& [offset, bytes] : writes)
    std::copy(bytes.begin(), bytes.end(), file.begin() + offset);
  return TitleSlotResult::kWritten;
}

}  // namespace slidesaver
