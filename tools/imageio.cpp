#include "tools/imageio.h"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "graphics/jpeg.h"
#include "system/files.h"
#include "system/replacement_file.h"

namespace slidesaver {
namespace {

using Bytes = std::vector<std::uint8_t>;

[[noreturn]] void FailRead(const std::string& path, const std::string& reason) {
  throw Error("Cannot read " + path + ": " + reason);
}

[[noreturn]] void FailWrite(const std::string& path, const std::string& reason) {
  throw Error("Cannot write " + path + ": " + reason);
}

// The same limits as the JPEG decoder: no picture file asks for more memory than a JPEG may.
void CheckSize(const std::string& path, std::int64_t width, std::int64_t height) {
  if (width > kMaxJpegSide || height > kMaxJpegSide || width * height > kMaxJpegPixels) {
    FailRead(path, "the picture of " + std::to_string(width) + " x " + std::to_string(height) +
                       " pixels is too large");
  }
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

Bytes ReadWholeFile(const std::string& path) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.Get() < 0) FailRead(path, std::strerror(errno));
  Bytes bytes;
  std::size_t used = 0;
  for (;;) {
    if (bytes.size() - used < 65536) bytes.resize(used + std::max<std::size_t>(used, 65536));
    const ssize_t n = ::read(file.Get(), bytes.data() + used, bytes.size() - used);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) FailRead(path, std::strerror(errno));
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
  }
  bytes.resize(used);
  return bytes;
}

bool StartsWith(std::span<const std::uint8_t> data, std::string_view prefix) {
  return data.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), data.begin(),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

// ---- PNG ----------------------------------------------------------------------------------
//
// libpng reports errors by longjmp. The functions that call setjmp below keep only trivially
// destructible locals, and every C++ object (the bitmap, the row pointers, the handles) lives
// in their callers, so a jump never skips a destructor.

constexpr std::string_view kPngSignature = "\x89PNG\r\n\x1a\n";

struct PngFailure {
  char message[256] = "";
};

struct PngSource {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos;
};

void OnPngError(png_structp png, png_const_charp message) {
  auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
  std::snprintf(failure->message, sizeof failure->message, "%s", message);
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void ReadPngBytes(png_structp png, png_bytep out, std::size_t count) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (count > source->size - source->pos) png_error(png, "unexpected end of file");
  std::memcpy(out, source->data + source->pos, count);
  source->pos += count;
}

// A libpng read or write structure with its info structure, destroyed with the handle.
class PngHandle {
 public:
  enum class Mode { kRead, kWrite };
  PngHandle(Mode mode, PngFailure* failure)
      : mode_(mode),
        png_(mode == Mode::kRead ? png_create_read_struct(PNG_LIBPNG_VER_STRING, failure,
                                                          OnPngError, OnPngWarning)
                                 : png_create_write_struct(PNG_LIBPNG_VER_STRING, failure,
                                                           OnPngError, OnPngWarning)),
        info_(png_ ? png_create_info_struct(png_) : nullptr) {}
  ~PngHandle() {
    if (mode_ == Mode::kRead) {
      png_destroy_read_struct(&png_, &info_, nullptr);
    } else {
      png_destroy_write_struct(&png_, &info_);
    }
  }
  PngHandle(const PngHandle&) = delete;
  PngHandle& operator=(const PngHandle&) = delete;

  bool Valid() const { return png_ != nullptr && info_ != nullptr; }
  png_structp Png() const { return png_; }
  png_infop Info() const { return info_; }

 private:
  Mode mode_;
  png_structp png_;
  png_infop info_;
};

struct PngLayout {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  std::size_t rowBytes = 0;
};

// Reads the header and asks for 8-bit BGR rows whatever the file holds.
bool ReadPngHeader(png_structp png, png_infop info, PngLayout* layout) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_strip_alpha(png);
  png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  layout->width = png_get_image_width(png, info);
  layout->height = png_get_image_height(png, info);
  layout->rowBytes = png_get_rowbytes(png, info);
  return true;
}

bool ReadPngRows(png_structp png, png_infop info, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  return true;
}

Bitmap DecodePng(const std::string& path, std::span<const std::uint8_t> data) {
  PngFailure failure;
  PngHandle handle(PngHandle::Mode::kRead, &failure);
  if (!handle.Valid()) FailRead(path, "out of memory");
  PngSource source{data.data(), data.size(), 0};
  png_set_read_fn(handle.Png(), &source, ReadPngBytes);
  PngLayout layout;
  if (!ReadPngHeader(handle.Png(), handle.Info(), &layout)) {
    FailRead(path, std::string("damaged PNG file (") + failure.message + ")");
  }
  CheckSize(path, layout.width, layout.height);
  if (layout.rowBytes != static_cast<std::size_t>(layout.width) * 3) {
    FailRead(path, "unsupported PNG pixel layout");
  }
  Bitmap bitmap(static_cast<int>(layout.width), static_cast<int>(layout.height));
  std::vector<png_bytep> rows(layout.height);
  for (png_uint_32 y = 0; y < layout.height; ++y) rows[y] = bitmap.ScanLine(static_cast<int>(y));
  if (!ReadPngRows(handle.Png(), handle.Info(), rows.data())) {
    FailRead(path, std::string("damaged PNG file (") + failure.message + ")");
  }
  return bitmap;
}

bool WritePngRows(png_structp png, png_infop info, std::FILE* file, png_uint_32 width,
                  png_uint_32 height, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  png_write_image(png, rows);
  png_write_end(png, info);
  return true;
}

// Returns "" on success, else the reason.
std::string WritePng(std::FILE* file, const Bitmap& bitmap) {
  PngFailure failure;
  PngHandle handle(PngHandle::Mode::kWrite, &failure);
  if (!handle.Valid()) return "out of memory";
  std::vector<png_bytep> rows(static_cast<std::size_t>(bitmap.Height()));
  for (int y = 0; y < bitmap.Height(); ++y) {
    // libpng copies each row before its transformations; it never writes through these.
    rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(bitmap.ScanLine(y));
  }
  if (!WritePngRows(handle.Png(), handle.Info(), file, static_cast<png_uint_32>(bitmap.Width()),
                    static_cast<png_uint_32>(bitmap.Height()), rows.data())) {
    return failure.message[0] != '\0' ? failure.message : "PNG encoder failure";
  }
  return "";
}

// ---- PPM ----------------------------------------------------------------------------------

class PpmHeaderParser {
 public:
  PpmHeaderParser(const std::string& path, std::span<const std::uint8_t> data)
      : path_(path), data_(data), pos_(2) {}

  // The next decimal number after white space and comments.
  std::int64_t Number() {
    SkipSpaceAndComments();
    if (pos_ >= data_.size()) FailRead(path_, "PPM header is truncated");
    if (!std::isdigit(data_[pos_])) FailRead(path_, "PPM header is malformed");
    std::int64_t value = 0;
    while (pos_ < data_.size() && std::isdigit(data_[pos_])) {
      value = value * 10 + (data_[pos_++] - '0');
      if (value > 1'000'000'000) FailRead(path_, "PPM header holds a number out of range");
    }
    return value;
  }

  // After the last number exactly one white-space byte precedes the pixels.
  std::size_t PixelStart() {
    if (pos_ >= data_.size()) FailRead(path_, "PPM header is truncated");
    if (!IsSpace(data_[pos_])) FailRead(path_, "PPM header is malformed");
    return pos_ + 1;
  }

 private:
  static bool IsSpace(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  }

  void SkipSpaceAndComments() {
    const std::size_t start = pos_;
    while (pos_ < data_.size()) {
      if (IsSpace(data_[pos_])) {
        ++pos_;
      } else if (data_[pos_] == '#') {
        while (pos_ < data_.size() && data_[pos_] != '\n' && data_[pos_] != '\r') ++pos_;
      } else {
        break;
      }
    }
    if (pos_ == start && pos_ < data_.size()) FailRead(path_, "PPM header is malformed");
  }

  const std::string& path_;
  std::span<const std::uint8_t> data_;
  std::size_t pos_;
};

Bitmap DecodePpm(const std::string& path, std::span<const std::uint8_t> data) {
  PpmHeaderParser parser(path, data);
  const std::int64_t width = parser.Number();
  const std::int64_t height = parser.Number();
  const std::int64_t maxval = parser.Number();
  if (width < 1 || height < 1) FailRead(path, "PPM picture has no pixels");
  if (maxval != 255) {
    FailRead(path, "PPM maxval " + std::to_string(maxval) + " is not supported (only 255)");
  }
  CheckSize(path, width, height);
  const std::size_t start = parser.PixelStart();
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  if (data.size() - start < rowBytes * static_cast<std::size_t>(height)) {
    FailRead(path, "PPM pixel data is truncated");
  }
  Bitmap bitmap(static_cast<int>(width), static_cast<int>(height));
  const std::uint8_t* in = data.data() + start;
  for (int y = 0; y < bitmap.Height(); ++y) {
    std::uint8_t* out = bitmap.ScanLine(y);
    for (std::size_t i = 0; i < rowBytes; i += 3) {
      out[i] = in[i + 2];
      out[i + 1] = in[i + 1];
      out[i + 2] = in[i];
    }
    in += rowBytes;
  }
  return bitmap;
}

// Returns "" on success, else the reason.
std::string WritePpm(std::FILE* file, const Bitmap& bitmap) {
  std::fprintf(file, "P6\n%d %d\n255\n", bitmap.Width(), bitmap.Height());
  std::vector<std::uint8_t> row(bitmap.Stride());
  for (int y = 0; y < bitmap.Height(); ++y) {
    const std::uint8_t* in = bitmap.ScanLine(y);
    for (std::size_t i = 0; i < row.size(); i += 3) {
      row[i] = in[i + 2];
      row[i + 1] = in[i + 1];
      row[i + 2] = in[i];
    }
    if (std::fwrite(row.data(), 1, row.size(), file) != row.size()) break;
  }
  return std::ferror(file) ? std::strerror(errno) : "";
}

// ---- Writing beside the target ------------------------------------------------------------

enum class ImageType { kPng, kPpm, kUnknown };

ImageType TypeByExtension(const std::string& path) {
  const std::string name = FileNamePart(path);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return ImageType::kUnknown;
  std::string extension = name.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "png") return ImageType::kPng;
  if (extension == "ppm") return ImageType::kPpm;
  return ImageType::kUnknown;
}

}  // namespace

Bitmap ReadImage(const std::string& path) { return DecodeImage(path, ReadWholeFile(path)); }

Bitmap DecodeImage(const std::string& path, std::span<const std::uint8_t> data) {
  if (StartsWith(data, kPngSignature)) return DecodePng(path, data);
  if (StartsWith(data, "P6")) return DecodePpm(path, data);
  if (StartsWith(data, "\xFF\xD8")) {
    try {
      return DecodeJpeg(data);
    } catch (const Error& error) {
      FailRead(path, error.what());
    }
  }
  FailRead(path, "not a PNG, PPM or JPEG file");
}

void WriteImage(const std::string& path, const Bitmap& bitmap) {
  const ImageType type = TypeByExtension(path);
  if (type == ImageType::kUnknown) FailWrite(path, "unknown image type (use .png or .ppm)");
  if (bitmap.Empty()) FailWrite(path, "the picture is empty");
  ReplacementFile file;
  if (!file.Create(path, 0666) || file.Stream() == nullptr) FailWrite(path, std::strerror(errno));
  const std::string failure =
      type == ImageType::kPng ? WritePng(file.Stream(), bitmap) : WritePpm(file.Stream(), bitmap);
  if (!failure.empty()) FailWrite(path, failure);
  if (!file.Commit(false)) FailWrite(path, std::strerror(errno));
}

}  // namespace slidesaver
