#pragma once

// Photos made into pictures a saver can show: what a prepared photo is, and the rules that every
// system's photo library follows when it makes one. The reading itself is the system's
// (os/linux: libvips; os/windows: the Windows Imaging Component); only the pack tool links it.

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "graphics/bitmap.h"
#include "graphics/photo_metadata.h"

namespace slidesaver {

// How photos become pictures of a show.
struct PhotoOptions {
  int maxWidth = 0;  // 0: no limit; larger pictures shrink to fit maxWidth x maxHeight
  int maxHeight = 0;
  int quality = 90;  // of the JPEG files made from other pictures
};

// One picture ready to be stored.
struct PreparedPhoto {
  std::string name;  // the stored file name: the source's, with ".jpg" when converted
  std::vector<std::uint8_t> jpeg;
  int width = 0;
  int height = 0;
  bool converted = false;  // false: the source's bytes unchanged
  PhotoMetadata metadata;  // what the source's metadata says of it
};

// Raises Error when the player would refuse a picture of that size.
void CheckPictureSize(const std::string& path, std::int64_t width, std::int64_t height);

// Whether a picture of that size lies within the options' box.
bool FitsPhotoBox(std::int64_t width, std::int64_t height, const PhotoOptions& options);

// The size a picture of `width` x `height` (upright) is shrunk to so that it fits the box,
// the aspect kept, never enlarged; each side at least 1.
std::pair<int, int> ShrunkPhotoSize(std::int64_t width, std::int64_t height,
                                    const PhotoOptions& options);

// Whether the file's bytes are stored as they are: a JPEG that the player shows as its author
// meant it (upright, YCbCr or gray, not CMYK) and within the box. `orientation` is its EXIF
// orientation (0 or 1: upright).
bool KeepsItsBytes(std::span<const std::uint8_t> bytes, int orientation,
                   const PhotoOptions& options);

// The orientation (1 to 8) in a JPEG file's EXIF block, 1 when it has none: for a system
// whose metadata reader does not give it.
int JpegExifOrientation(std::span<const std::uint8_t> jpeg);

// The picture a photo stored with EXIF orientation `orientation` shows upright.
Bitmap UprightBitmap(const Bitmap& stored, int orientation);

// The stored name of a converted picture: the source's file name with ".jpg".
std::string ConvertedPhotoName(const std::string& path);

// Reads a picture in any format the system's photo library knows and turns it upright by its
// EXIF orientation. A JPEG that KeepsItsBytes keeps its bytes; anything else is shrunk to the
// box (never enlarged), converted to sRGB on black and stored as a baseline JPEG of the
// options' quality. The metadata comes from the blocks the library reads with the picture. Raises Error naming the file and the reason. Safe to call on several
// threads at once.
PreparedPhoto PreparePhoto(const std::string& path, const PhotoOptions& options);

}  // namespace slidesaver
