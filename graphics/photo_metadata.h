#pragma once

// What a photo says about itself, from the blocks its file carries: EXIF (when it was taken,
// its description), XMP (title and description) and IPTC (object name and caption). The photo
// libraries hand over the blocks; the reading here is the same on every system.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace slidesaver {

struct PhotoMetadata {
  std::string taken;        // EXIF DateTimeOriginal as written: "YYYY:MM:DD HH:MM:SS"
  std::string title;        // XMP dc:title, else IPTC object name, else EXIF ImageDescription
  std::string description;  // XMP dc:description, else IPTC caption
  int orientation = 1;      // EXIF Orientation, 1 to 8
};

// The blocks as a file carries them.
struct MetadataBlocks {
  std::span<const std::uint8_t> exif;  // a TIFF structure, with or without "Exif\0\0" before it
  std::string_view xmp;                // the XMP packet's XML
  std::span<const std::uint8_t> iptc;  // IPTC datasets, or Photoshop resources holding them
};

// The metadata of the blocks; texts in UTF-8, trimmed, with control characters as spaces.
PhotoMetadata ReadPhotoMetadata(const MetadataBlocks& blocks);

// The blocks of a JPEG file: APP1 "Exif", APP1 XMP and APP13 "Photoshop 3.0". Views into `jpeg`.
MetadataBlocks JpegMetadataBlocks(std::span<const std::uint8_t> jpeg);

}  // namespace slidesaver
