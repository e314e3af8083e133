#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "payload/config.h"

namespace slidesaver {

struct PayloadPicture {
  std::string fileName;             // stored in PicFileNamesCommaList
  std::vector<std::uint8_t> jpeg;   // a whole JPEG file
};

struct PayloadSound {
  std::string fileName;  // a plain file name, stored in SndFileNamesCommaList
  std::vector<std::uint8_t> bytes;
};

// The size of the picture stream that carries a JPEG of the given size.
constexpr std::int64_t kPictureStreamOverhead = 77;

// Lays out the payload that follows a player image of playerSize bytes:
// the picture streams in list order from the payload start, the sound blocks,
// the configuration stream last, then the trailer. Fills the record's offset,
// file-name and size lists and returns the payload with its trailer. Raises
// an Error when the file would exceed 2147483647 bytes or a sound's name is not
// a plain file name.
std::vector<std::uint8_t> BuildPayload(std::int64_t playerSize, const std::vector<PayloadPicture>& pictures,
                                       const std::vector<PayloadSound>& sounds, TSSFileLocations& config);

}  // namespace slidesaver
