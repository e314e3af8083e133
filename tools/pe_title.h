#pragma once

// The saver's name in the Windows player. The Screen Saver settings list of Windows shows string 1
// of a saver's string table as its name, so the Windows build reserves that string as a slot of
// kTitleSlotLength UTF-16 units holding a placeholder (app/windows/CMakeLists.txt builds the same
// text), and the pack tool writes the saver's title over it in place: the file keeps its size and
// the payload's offsets stay right.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace slidesaver {

inline constexpr std::size_t kTitleSlotLength = 127;  // UTF-16 code units

// The placeholder of the slot: this marker, then '.' up to kTitleSlotLength characters.
inline constexpr std::string_view kTitleSlotMarker = "<slidesaver title slot>";
std::u16string TitleSlotPlaceholder();

enum class TitleSlotResult {
  kWritten,     // the title is in the slot
  kNotWindows,  // not a Windows program (an ELF player, say): left as it is
  kNoSlot,      // a Windows program without the slot: left as it is
};

// UTF-8 (invalid sequences become U+FFFD) to at most kTitleSlotLength UTF-16 units, cut before a
// character that does not fit whole.
std::u16string TitleSlotText(std::string_view utf8);

// Writes `title` (UTF-8) into the slot of the player image `file`. Throws Error, naming `name`,
// when the file starts like a Windows program but its headers or resources are broken; the image
// is then unchanged.
TitleSlotResult WriteTitleSlot(std::vector<std::uint8_t>& file, std::string_view title,
                               const std::string& name);

}  // namespace slidesaver
