#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
};

// Raises Error when the player would refuse a picture of that size.
void CheckPictureSize(const std::string& path, std::int64_t width, std::int64_t height);

// The picture files named by `paths`: a file as it is, a folder as the pictures
// in it (by their file name extension) in name order, its subfolders too when
// `recursive`. Raises Error for a path that is neither.
std::vector<std::string> PhotoFiles(const std::vector<std::string>& paths, bool recursive);

// Reads a picture in any format the photo library knows (JPEG, PNG, WebP,
// HEIF/AVIF, TIFF, GIF: its first frame) and turns it upright by its EXIF
// orientation. A JPEG that needs no change (upright, YCbCr or gray, within
// the size limit) keeps its bytes; anything else is shrunk to the limit
// (never enlarged), converted to sRGB on black and stored as a baseline JPEG.
// Raises Error naming the file and the reason.
PreparedPhoto PreparePhoto(const std::string& path, const PhotoOptions& options);

// Prepares all of them on every core, in order; `done` runs now and then on
// the calling thread with the number finished and their JPEG bytes. Raises the
// first file's failure.
std::vector<PreparedPhoto> PreparePhotos(
    const std::vector<std::string>& paths, const PhotoOptions& options,
    const std::function<void(std::size_t done, std::size_t bytes)>& done);

}  // namespace slidesaver
