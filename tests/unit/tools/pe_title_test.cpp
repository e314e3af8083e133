// The title slot of a Windows player: small PE images made here, with one string table block
// laid out as the Windows build's resource compiler lays it out.

#include "tools/pe_title.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/error_of.h"

namespace slidesaver {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = (v >> 8) & 0xFF;
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

Bytes Block(const std::vector<std::u16string>& strings, std::size_t size) {
  Bytes b;
  for (std::size_t i = 0; i < 16; ++i) {
    const std::u16string s = i < strings.size() ? strings[i] : u"";
    b.push_back(s.size() & 0xFF), b.push_back(s.size() >> 8);
    for (const char16_t u : s) b.push_back(u & 0xFF), b.push_back(u >> 8);
  }
  b.resize(size, 0);
  return b;
}

constexpr std::size_t kSection = 0x200, kRva = 0x1000, kBlock = 0x58;

// A PE32+ image with one section, .rsrc, holding resource `type`/1 (language 0x409) = `block`.
Bytes Pe(const Bytes& block, std::uint32_t type = 6) {
  Bytes b(kSection + kBlock + block.size(), 0);
  b[0] = 'M', b[1] = 'Z';
  Put32(b, 0x3C, 0x40);
  Put32(b, 0x40, 0x4550);                           // PE\0\0
  Put16(b, 0x44, 0x8664), Put16(b, 0x46, 1);        // machine, one section
  Put16(b, 0x54, 240);                              // optional header size
  Put16(b, 0x58, 0x20B), Put32(b, 0x58 + 108, 16);  // PE32+, 16 data directories
  Put32(b, 0x58 + 112 + 16, kRva), Put32(b, 0x58 + 112 + 20, b.size() - kSection);
  const std::size_t section = 0x58 + 240;
  std::copy_n(".rsrc", 5, b.begin() + section);
  Put32(b, section + 8, b.size() - kSection), Put32(b, section + 12, kRva);
  Put32(b, section + 16, b.size() - kSection), Put32(b, section + 20, kSection);
  // Three directory levels (type, name, language) of one entry each, then the data entry.
  const std::uint32_t ids[] = {type, 1, 0x409};
  for (std::size_t level = 0; level < 3; ++level) {
    const std::size_t at = kSection + level * 0x18;
    Put16(b, at + 14, 1);
    Put32(b, at + 16, ids[level]);
    Put32(b, at + 20, (level < 2 ? 0x80000000u : 0) | (level + 1) * 0x18);
  }
  Put32(b, kSection + 0x48, kRva + kBlock), Put32(b, kSection + 0x4C, block.size());
  std::copy(block.begin(), block.end(), b.begin() + kSection + kBlock);
  return b;
}

const std::u16string kPlaceholder = TitleSlotPlaceholder();
const std::size_t kBlockSize = 2 + 2 + 2 * 127 + 14 * 2;  // as windres writes it
Bytes PlayerPe() { return Pe(Block({u"", kPlaceholder}, kBlockSize)); }

Bytes WithBlock(Bytes pe, const Bytes& block) {
  std::copy(block.begin(), block.end(), pe.begin() + kSection + kBlock);
  return pe;
}

TEST(PeTitle, WritesTheTitleOverThePlaceholder) {
  struct Case {
    const char* name;
    Bytes player;
    std::string title;
    TitleSlotResult result;
    Bytes expected;  // the whole file afterwards
  };
  const Bytes withThree = Pe(Block({u"", kPlaceholder, u"Two", u"Three"}, kBlockSize + 16));
  const Bytes elf = {0x7F, 'E', 'L', 'F', 2, 1, 1, 0, 'M', 'Z'};
  const Bytes otherString1 = Pe(Block({u"", u"Some other string"}, kBlockSize));
  const Bytes noStringTable = Pe(Block({u"", kPlaceholder}, kBlockSize), 3);
  const Case cases[] = {
      {"ascii", PlayerPe(), "Holiday", TitleSlotResult::kWritten,
       WithBlock(PlayerPe(), Block({u"", u"Holiday"}, kBlockSize))},
      {"later strings move up", withThree, "Hi", TitleSlotResult::kWritten,
       WithBlock(withThree, Block({u"", u"Hi", u"Two", u"Three"}, kBlockSize + 16))},
      {"cyrillic and a check mark", PlayerPe(), "Фото ✓ Holiday", TitleSlotResult::kWritten,
       WithBlock(PlayerPe(), Block({u"", u"Фото ✓ Holiday"}, kBlockSize))},
      {"invalid UTF-8", PlayerPe(), "a\xFFz", TitleSlotResult::kWritten,
       WithBlock(PlayerPe(), Block({u"", u"a\uFFFDz"}, kBlockSize))},
      {"too long", PlayerPe(), std::string(200, 'x'), TitleSlotResult::kWritten,
       WithBlock(PlayerPe(), Block({u"", std::u16string(127, u'x')}, kBlockSize))},
      {"a surrogate pair is not cut", PlayerPe(), std::string(126, 'a') + "😀",
       TitleSlotResult::kWritten,
       WithBlock(PlayerPe(), Block({u"", std::u16string(126, u'a')}, kBlockSize))},
      {"a surrogate pair that fits", PlayerPe(), std::string(125, 'a') + "😀",
       TitleSlotResult::kWritten,
       WithBlock(PlayerPe(), Block({u"", std::u16string(125, u'a') + u"😀"}, kBlockSize))},
      {"ELF", elf, "Holiday", TitleSlotResult::kNotWindows, elf},
      {"string 1 is not the slot", otherString1, "Holiday", TitleSlotResult::kNoSlot, otherString1},
      {"no string table", noStringTable, "Holiday", TitleSlotResult::kNoSlot, noStringTable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes file = c.player;
    EXPECT_EQ(WriteTitleSlot(file, c.title, "player.exe"), c.result);
    EXPECT_EQ(file, c.expected);
  }
}

TEST(PeTitle, RefusesABrokenWindowsProgramAndLeavesItAlone) {
  struct Case {
    const char* name;
    std::function<void(Bytes&)> breakIt;
    const char* error;
  };
  const Case cases[] = {
      {"cut after the DOS header", [](Bytes& b) { b.resize(0x30); },
       "the DOS header lies outside the file"},
      {"no PE signature", [](Bytes& b) { b[0x41] = 'X'; }, "no PE signature"},
      {"cut inside the resources", [](Bytes& b) { b.resize(kSection + 0x20); },
       "a section lies outside the file"},
      {"data outside the section", [](Bytes& b) { Put32(b, kSection + 0x48, kRva + 0x4000); },
       "a string table block lies outside the sections"},
      {"strings run past the block", [](Bytes& b) { Put16(b, kSection + kBlock + 2, 300); },
       "a string runs past its string table block"},
      {"a language that is a directory",
       [](Bytes& b) { Put32(b, kSection + 0x30 + 20, 0x80000018u); },
       "a string table block is a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes file = PlayerPe();
    c.breakIt(file);
    const Bytes before = file;
    EXPECT_EQ(test::ErrorOf([&] { WriteTitleSlot(file, "Holiday", "dir/player.exe"); }),
              std::string("\"dir/player.exe\" is not a valid Windows program: ") + c.error);
    EXPECT_EQ(file, before);
  }
}

}  // namespace
}  // namespace slidesaver
