#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "graphics/photo.h"

namespace slidesaver {

// The picture files named by `paths`: a file as it is, a folder as the pictures
// in it (by their file name extension) in name order, its subfolders too when
// `recursive`. Raises Error for a path that is neither.
std::vector<std::string> PhotoFiles(const std::vector<std::string>& paths, bool recursive);

// Prepares all of them on every core, in order; `done` runs now and then on
// the calling thread with the number finished and their JPEG bytes. Raises the
// first file's failure.
std::vector<PreparedPhoto> PreparePhotos(
    const std::vector<std::string>& paths, const PhotoOptions& options,
    const std::function<void(std::size_t done, std::size_t bytes)>& done);

}  // namespace slidesaver
