#include "os/linux/wayland_buffers.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "base/error.h"
#include "graphics/pixel_convert.h"

namespace slidesaver {

std::size_t BufferAges::Add() {
  behind_.push_back(Region::FromRect(whole_));
  return behind_.size() - 1;
}

Region BufferAges::Take(std::size_t index) {
  Region copy = latest_ == kNone || latest_ == index ? Region() : behind_[index];
  behind_[index] = Region();
  latest_ = index;
  return copy;
}

void BufferAges::Drew(const Region& area) {
  for (std::size_t i = 0; i < behind_.size(); ++i) {
    if (i != latest_) behind_[i] = behind_[i].Union(area);
  }
}

namespace {

const wl_buffer_listener kBufferListener = {
    .release = [](void* data, wl_buffer*) { static_cast<ShmBuffer*>(data)->busy = false; },
};

}  // namespace

ShmBuffer::ShmBuffer(wl_shm* shm, TSize size) : size_(size) {
  stride_ = static_cast<std::size_t>(size.cx) * 4;
  bytes_ = stride_ * static_cast<std::size_t>(size.cy);
  const int fd = memfd_create("slidesaver-buffer", MFD_CLOEXEC);
  if (fd < 0) throw Error(std::string("Cannot make a window buffer: ") + std::strerror(errno));
  if (ftruncate(fd, static_cast<off_t>(bytes_)) != 0) {
    const int code = errno;
    close(fd);
    throw Error(std::string("Cannot make a window buffer: ") + std::strerror(code));
  }
  void* memory = mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (memory == MAP_FAILED) {
    const int code = errno;
    close(fd);
    throw Error(std::string("Cannot make a window buffer: ") + std::strerror(code));
  }
  data_ = static_cast<std::uint8_t*>(memory);
  wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(bytes_));
  buffer_ = wl_shm_pool_create_buffer(pool, 0, size.cx, size.cy,
                                      static_cast<std::int32_t>(stride_), WL_SHM_FORMAT_XRGB8888);
  wl_shm_pool_destroy(pool);
  close(fd);
  wl_buffer_add_listener(buffer_, &kBufferListener, this);
}

ShmBuffer::~ShmBuffer() {
  if (buffer_ != nullptr) wl_buffer_destroy(buffer_);
  if (data_ != nullptr) munmap(data_, bytes_);
}

void ShmBuffer::Convert(const Bitmap& from, const TRect& part, TPoint at) {
  for (std::int32_t y = 0; y < part.Height(); ++y) {
    BgrToBgrxChanged(from.ScanLine(part.Top + y) + static_cast<std::size_t>(part.Left) * 3,
                     Row(at.Y + y) + static_cast<std::size_t>(at.X) * 4, part.Width());
  }
}

void ShmBuffer::CopyFrom(const ShmBuffer& other, const TRect& part) {
  for (std::int32_t y = part.Top; y < part.Bottom; ++y) {
    std::memcpy(Row(y) + static_cast<std::size_t>(part.Left) * 4,
                other.Row(y) + static_cast<std::size_t>(part.Left) * 4,
                static_cast<std::size_t>(part.Width()) * 4);
  }
}

void ShmBuffer::Clear(const TRect& part) {
  for (std::int32_t y = part.Top; y < part.Bottom; ++y) {
    std::memset(Row(y) + static_cast<std::size_t>(part.Left) * 4, 0,
                static_cast<std::size_t>(part.Width()) * 4);
  }
}

bool ShmSwapChain::HasFree() const {
  return drawing_ != kNone || buffers_.size() < 2 ||
         std::any_of(buffers_.begin(), buffers_.end(), [](const auto& b) { return !b->busy; });
}

ShmBuffer* ShmSwapChain::Back(bool mayGrow) {
  if (drawing_ != kNone) return buffers_[drawing_].get();
  if (!mayGrow && !HasFree()) return nullptr;
  // The buffer shown last, when the compositor has let go of it already: it is up to date, and
  // a compositor that copies what it gets keeps the program at one buffer. Else another one.
  std::size_t index = ages_.Latest();
  if (index == kNone || buffers_[index]->busy) {
    index = kNone;
    for (std::size_t i = 0; i < buffers_.size(); ++i) {
      if (!buffers_[i]->busy) index = i;
    }
  }
  if (index == kNone) {
    buffers_.push_back(std::make_unique<ShmBuffer>(shm_, size_));
    index = ages_.Add();
    buffers_.back()->Clear({0, 0, size_.cx, size_.cy});
  }
  const std::size_t latest = ages_.Latest();
  const Region behind = ages_.Take(index);
  for (const TRect& part : behind.Rects()) buffers_[index]->CopyFrom(*buffers_[latest], part);
  drawing_ = index;
  return buffers_[index].get();
}

void ShmSwapChain::Drew(const TRect& part) {
  ages_.Drew(Region::FromRect(part));
  damage_.push_back(part);
}

ShmBuffer& ShmSwapChain::Submit(std::vector<TRect>& damage) {
  ShmBuffer& buffer = *Back();
  damage = std::move(damage_);
  damage_.clear();
  drawing_ = kNone;
  buffer.busy = true;
  return buffer;
}

}  // namespace slidesaver
