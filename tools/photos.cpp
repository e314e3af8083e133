#include "tools/photos.h"

#include <vips/vips.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <thread>

#include "base/error.h"
#include "graphics/jpeg.h"

namespace slidesaver {
namespace {

namespace fs = std::filesystem;

bool IsPictureName(const fs::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  static const char* const kKnown[] = {".jpg", ".jpeg", ".jpe",  ".png", ".webp", ".heic",
                                       ".heif", ".avif", ".tif", ".tiff", ".gif"};
  return std::find(std::begin(kKnown), std::end(kKnown), extension) != std::end(kKnown);
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error("\"" + path + "\": cannot be read");
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (in.bad()) throw Error("\"" + path + "\": cannot be read");
  return bytes;
}

// libvips reports through a process-wide buffer; its text ends in a newline.
Error VipsFailure(const std::string& path) {
  std::string text = vips_error_buffer();
  vips_error_clear();
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return Error("\"" + path + "\": " + (text.empty() ? "cannot be read as a picture" : text));
}

// Owns one VipsImage reference.
struct Image {
  VipsImage* image = nullptr;
  Image() = default;
  explicit Image(VipsImage* i) : image(i) {}
  Image(const Image&) = delete;
  Image& operator=(Image&& other) noexcept {
    std::swap(image, other.image);
    return *this;
  }
  ~Image() {
    if (image != nullptr) g_object_unref(image);
  }
};

void InitVips() {
  static const bool ready = [] {
    if (VIPS_INIT("slidesaver-pack") != 0) throw Error("The photo library cannot start");
    // No operation cache: every photo is read once, so cached operations
    // would only hold memory.
    vips_cache_set_max(0);
    // Its warnings (a truncated file, say) would only repeat what its errors say.
    g_log_set_handler("VIPS", G_LOG_LEVEL_WARNING,
                      [](const char*, GLogLevelFlags, const char*, void*) {}, nullptr);
    return true;
  }();
  (void)ready;
}

bool FitsBox(int width, int height, const PhotoOptions& options) {
  return (options.maxWidth <= 0 || width <= options.maxWidth) &&
         (options.maxHeight <= 0 || height <= options.maxHeight);
}

// The bytes stored as they are: a JPEG the player shows as its author meant it.
bool KeepsItsBytes(const std::vector<std::uint8_t>& bytes, VipsImage* header,
                   const PhotoOptions& options) {
  if (bytes.size() < 3 || bytes[0] != 0xFF || bytes[1] != 0xD8) return false;
  if (vips_image_get_orientation(header) > 1) return false;
  const VipsInterpretation kind = vips_image_get_interpretation(header);
  if (kind != VIPS_INTERPRETATION_sRGB && kind != VIPS_INTERPRETATION_B_W) return false;
  // The player's size limits were checked before.
  try {
    const JpegInfo info = ReadJpegInfo(bytes);
    return FitsBox(info.width, info.height, options);
  } catch (const Error&) {
    return false;
  }
}

std::string JpegName(const std::string& path) {
  return fs::path(path).replace_extension(".jpg").filename().string();
}

}  // namespace

void CheckPictureSize(const std::string& path, std::int64_t width, std::int64_t height) {
  if (width > kMaxJpegSide || height > kMaxJpegSide || width * height > kMaxJpegPixels) {
    throw Error("\"" + path + "\" is " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels; the player shows pictures of at most " + std::to_string(kMaxJpegPixels) +
                " pixels (and " + std::to_string(kMaxJpegSide) + " on a side)");
  }
}

std::vector<std::string> PhotoFiles(const std::vector<std::string>& paths, bool recursive) {
  std::vector<std::string> files;
  for (const std::string& path : paths) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
      std::vector<std::string> found;
      const auto add = [&](const fs::directory_entry& entry) {
        if (entry.is_regular_file() && IsPictureName(entry.path())) found.push_back(entry.path().string());
      };
      if (recursive) {
        for (const auto& entry : fs::recursive_directory_iterator(path)) add(entry);
      } else {
        for (const auto& entry : fs::directory_iterator(path)) add(entry);
      }
      if (found.empty()) throw Error("\"" + path + "\" holds no pictures");
      std::sort(found.begin(), found.end());
      files.insert(files.end(), found.begin(), found.end());
    } else if (fs::is_regular_file(path, error)) {
      files.push_back(path);
    } else {
      throw Error("\"" + path + "\": no such file or folder");
    }
  }
  return files;
}

PreparedPhoto PreparePhoto(const std::string& path, const PhotoOptions& options) {
  InitVips();
  const std::vector<std::uint8_t> bytes = ReadFile(path);
  Image header(vips_image_new_from_buffer(bytes.data(), bytes.size(), "", nullptr));
  if (header.image == nullptr) throw VipsFailure(path);
  // Before anything is decoded: the picture cannot end up larger than this.
  const auto bound = [](std::int64_t side, int box) {
    return box > 0 ? std::min<std::int64_t>(side, box) : side;
  };
  CheckPictureSize(path, bound(vips_image_get_width(header.image), options.maxWidth),
                   bound(vips_image_get_height(header.image), options.maxHeight));
  PreparedPhoto photo;
  if (KeepsItsBytes(bytes, header.image, options)) {
    photo.name = fs::path(path).filename().string();
    photo.width = vips_image_get_width(header.image);
    photo.height = vips_image_get_height(header.image);
    photo.jpeg = bytes;
    return photo;
  }
  // Shrunk while loading where the format allows, turned upright, never enlarged.
  const int width = options.maxWidth > 0 ? options.maxWidth : VIPS_MAX_COORD;
  const int height = options.maxHeight > 0 ? options.maxHeight : VIPS_MAX_COORD;
  Image picture;
  VipsImage* out = nullptr;
  // A picture with a colour profile of its own is converted through it to sRGB; one without
  // is sRGB already (colour-managing it would only shift its colours).
  const char* exportProfile =
      vips_image_get_typeof(header.image, VIPS_META_ICC_NAME) != 0 ? "srgb" : nullptr;
  if (vips_thumbnail_buffer(const_cast<std::uint8_t*>(bytes.data()), bytes.size(), &out, width,
                            "height", height, "size", VIPS_SIZE_DOWN, "export_profile",
                            exportProfile, nullptr) != 0) {
    throw VipsFailure(path);
  }
  picture = Image(out);
  // Transparent parts show the saver's black; then 8 bits per channel of sRGB.
  if (vips_image_hasalpha(picture.image)) {
    VipsArrayDouble* black = vips_array_double_newv(1, 0.0);
    const int failed = vips_flatten(picture.image, &out, "background", black, nullptr);
    vips_area_unref(VIPS_AREA(black));
    if (failed != 0) throw VipsFailure(path);
    picture = Image(out);
  }
  if (vips_colourspace(picture.image, &out, VIPS_INTERPRETATION_sRGB, nullptr) != 0) {
    throw VipsFailure(path);
  }
  picture = Image(out);
  if (vips_cast_uchar(picture.image, &out, nullptr) != 0) throw VipsFailure(path);
  picture = Image(out);
  void* buffer = nullptr;
  std::size_t length = 0;
  if (vips_jpegsave_buffer(picture.image, &buffer, &length, "Q", options.quality, "strip", TRUE,
                           "interlace", FALSE, nullptr) != 0) {
    throw VipsFailure(path);
  }
  photo.jpeg.assign(static_cast<std::uint8_t*>(buffer), static_cast<std::uint8_t*>(buffer) + length);
  g_free(buffer);
  photo.name = JpegName(path);
  photo.width = vips_image_get_width(picture.image);
  photo.height = vips_image_get_height(picture.image);
  photo.converted = true;
  CheckPictureSize(path, photo.width, photo.height);
  return photo;
}

std::vector<PreparedPhoto> PreparePhotos(
    const std::vector<std::string>& paths, const PhotoOptions& options,
    const std::function<void(std::size_t done, std::size_t bytes)>& done) {
  InitVips();
  std::vector<std::optional<PreparedPhoto>> results(paths.size());
  std::vector<std::exception_ptr> failures(paths.size());
  std::mutex mutex;
  std::condition_variable finished;
  std::size_t next = 0, count = 0, bytes = 0;
  const unsigned workers = std::max(1u, std::min<unsigned>(std::thread::hardware_concurrency(),
                                                           static_cast<unsigned>(paths.size())));
  std::vector<std::thread> threads;
  for (unsigned w = 0; w < workers; ++w) {
    threads.emplace_back([&] {
      for (;;) {
        std::size_t index;
        {
          std::lock_guard lock(mutex);
          if (next == paths.size()) return;
          index = next++;
        }
        std::optional<PreparedPhoto> photo;
        std::exception_ptr failure;
        try {
          photo = PreparePhoto(paths[index], options);
        } catch (...) {
          failure = std::current_exception();
        }
        {
          std::lock_guard lock(mutex);
          bytes += photo ? photo->jpeg.size() : 0;
          results[index] = std::move(photo);
          failures[index] = failure;
          ++count;
        }
        finished.notify_all();
      }
    });
  }
  std::size_t reported = 0;
  {
    std::unique_lock lock(mutex);
    while (reported < paths.size()) {
      finished.wait(lock, [&] { return count > reported; });
      reported = count;
      const std::size_t written = bytes;
      lock.unlock();
      if (done) done(reported, written);
      lock.lock();
    }
  }
  for (std::thread& thread : threads) thread.join();
  std::vector<PreparedPhoto> photos;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (failures[i]) std::rethrow_exception(failures[i]);
    photos.push_back(std::move(*results[i]));
  }
  return photos;
}

}  // namespace slidesaver
