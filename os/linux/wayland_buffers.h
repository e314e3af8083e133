#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/geometry.h"
#include "graphics/bitmap.h"
#include "graphics/region.h"

struct wl_buffer;
struct wl_shm;

namespace slidesaver {

// Which parts of each buffer of a surface lag behind the newest picture. The buffer drawn into
// next is first brought up to date from the one drawn into last, so only what changed since it
// was last shown is copied or converted: the surface's damage, not its whole area.
class BufferAges {
 public:
  explicit BufferAges(TRect whole) : whole_(whole) {}
  // A new buffer: all of it lags behind. Returns its index.
  std::size_t Add();
  // Buffer `index` becomes the one drawn into: returns what it must first copy from the
  // buffer drawn into last (empty when it is that buffer, or the first ever drawn into).
  Region Take(std::size_t index);
  // `area` was drawn into the buffer taken last: the others now lag behind there.
  void Drew(const Region& area);
  std::size_t Latest() const { return latest_; }

 private:
  TRect whole_;
  std::vector<Region> behind_;
  std::size_t latest_ = kNone;
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
};

// A surface's pixels in shared memory, XRGB8888 rows, as the compositor reads them.
class ShmBuffer {
 public:
  // Throws Error when the memory cannot be had.
  ShmBuffer(wl_shm* shm, TSize size);
  ~ShmBuffer();
  ShmBuffer(const ShmBuffer&) = delete;
  ShmBuffer& operator=(const ShmBuffer&) = delete;

  wl_buffer* Buffer() const { return buffer_; }
  TSize Size() const { return size_; }
  // The compositor holds it from the commit that shows it until it releases it.
  bool busy = false;
  // Converts `part` of `from` (24-bit) into the buffer, its top-left corner at `at`.
  void Convert(const Bitmap& from, const TRect& part, TPoint at);
  // Copies `part` from another buffer of the same size.
  void CopyFrom(const ShmBuffer& other, const TRect& part);
  // Paints `part` black.
  void Clear(const TRect& part);

 private:
  std::uint8_t* Row(std::int32_t y) const { return data_ + static_cast<std::size_t>(y) * stride_; }
  wl_buffer* buffer_ = nullptr;
  std::uint8_t* data_ = nullptr;
  std::size_t bytes_ = 0;
  std::size_t stride_ = 0;
  TSize size_{};
};

// The buffers of one surface at one size: one while the compositor lets go of each buffer before
// the next is due, else two, one shown while the other is drawn into; a third only while the
// compositor holds both.
class ShmSwapChain {
 public:
  ShmSwapChain(wl_shm* shm, TSize size) : shm_(shm), size_(size), ages_({0, 0, size.cx, size.cy}) {}
  TSize Size() const { return size_; }
  // The buffer to draw into, up to date; the same one until Submit. Unless `mayGrow`, nullptr
  // when the compositor holds every buffer of two or more.
  ShmBuffer* Back(bool mayGrow = true);
  // A buffer is free to draw into now.
  bool HasFree() const;
  // Notes what was drawn into the back buffer, for the damage of its commit.
  void Drew(const TRect& part);
  bool HasDrawing() const { return drawing_ != kNone; }
  // The back buffer goes to the compositor: returns it with the damage to report, in buffer
  // pixels; the next Back is another buffer.
  ShmBuffer& Submit(std::vector<TRect>& damage);

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  wl_shm* shm_;
  TSize size_;
  BufferAges ages_;
  std::vector<std::unique_ptr<ShmBuffer>> buffers_;
  std::size_t drawing_ = kNone;
  std::vector<TRect> damage_;
};

}  // namespace slidesaver
