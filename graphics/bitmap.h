#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace slidesaver {

// The allocator of pixel buffers: elements made without a value are left as they come, so that
// a bitmap about to be written whole is not cleared first (see Bitmap::Unfilled).
template <typename T>
struct PixelAllocator {
  using value_type = T;
  PixelAllocator() = default;
  template <typename U>
  PixelAllocator(const PixelAllocator<U>&) {}
  T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T))); }
  void deallocate(T* p, std::size_t) noexcept { ::operator delete(p); }
  template <typename U>
  bool operator==(const PixelAllocator<U>&) const {
    return true;
  }
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

// A 24-bit device-independent bitmap: rows of 3 bytes per pixel in the order
// blue, green, red, top row first, rows packed without padding.
class Bitmap {
 public:
  Bitmap() = default;
  Bitmap(int width, int height);  // all pixels black
  // A bitmap whose pixels are left as they come, for one about to be written whole: it spares
  // a pass over a screen-sized buffer.
  static Bitmap Unfilled(int width, int height);

  // Changes the size, keeping the pixels of the area common to the old and
  // new size and filling the added area with `fill` (0x00BBGGRR).
  void Resize(int width, int height, std::uint32_t fill);
  // Every pixel takes the colour (0x00BBGGRR).
  void Fill(std::uint32_t rgb);
  // 0x00BBGGRR of one pixel; for tests and tools.
  std::uint32_t Pixel(int x, int y) const;
  void SetPixel(int x, int y, std::uint32_t rgb);
  bool operator==(const Bitmap& other) const = default;

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ <= 0 || height_ <= 0; }
  std::size_t Stride() const { return static_cast<std::size_t>(width_) * 3; }

  std::uint8_t* ScanLine(int y) { return pixels_.data() + Stride() * static_cast<std::size_t>(y); }
  const std::uint8_t* ScanLine(int y) const {
    return pixels_.data() + Stride() * static_cast<std::size_t>(y);
  }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t, PixelAllocator<std::uint8_t>> pixels_;
};

}  // namespace slidesaver
