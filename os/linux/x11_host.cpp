#include "os/linux/x11_host.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>

#include "os/linux/x11_faults.h"

// Last: Xlib's macros (None, Bool, Expose, ...) would clash with the names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {
// The event type, before its macro name is freed for InputEvent::Kind::Expose.
constexpr int kXExpose = Expose;
}  // namespace
#undef Expose

namespace slidesaver {
namespace {

// XOpenDisplay now and then fails at once with EAGAIN when connections come in
// quick succession; a second attempt goes through.
Display* ConnectWithRetries() {
  // The windows belong to someone else and may vanish at any moment.
  IgnoreX11Errors();
  for (int attempt = 0;; ++attempt) {
    if (Display* display = XOpenDisplay(nullptr)) return display;
    if (attempt == 4) return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Opens $DISPLAY with the error handler in place; nullptr when it cannot.
Display* OpenDisplay() {
  Display* display = ConnectWithRetries();
  if (display != nullptr) EndProcessOnLostX11Connection();
  return display;
}

void CloseDisplay(Display* display) { XCloseDisplay(display); }

// ---------------------------------------------------------------------------
// Pixel conversion from 24-bit BGR to a true-colour visual.

struct Channel {
  int shift = 0;          // position of the mask's lowest bit
  unsigned long max = 0;  // mask moved down to bit 0
  unsigned long Encode(std::uint8_t value) const {
    if (max == 255) return static_cast<unsigned long>(value) << shift;
    return ((value * max + 127) / 255) << shift;
  }
};

Channel ChannelOf(unsigned long mask) {
  if (mask == 0) return {};
  const int shift = std::countr_zero(mask);
  return Channel{shift, mask >> shift};
}

struct PixelFormat {
  Channel red, green, blue;
  unsigned long opaque = 0;  // bits of the depth that no colour uses: alpha, set fully
  int depth = 0;
  bool usable = false;
};

PixelFormat FormatOf(const XWindowAttributes& attributes) {
  PixelFormat format;
  const Visual* visual = attributes.visual;
  if (visual == nullptr) return format;
  const int depth = attributes.depth;
  const int visualClass = visual->c_class;
  format.depth = depth;
  format.usable = (depth == 24 || depth == 32) && visualClass == TrueColor &&
                  visual->red_mask != 0 && visual->green_mask != 0 && visual->blue_mask != 0;
  format.red = ChannelOf(visual->red_mask);
  format.green = ChannelOf(visual->green_mask);
  format.blue = ChannelOf(visual->blue_mask);
  const unsigned long depthBits = depth >= 32 ? 0xFFFFFFFFul : (1ul << depth) - 1;
  format.opaque = depthBits & ~(visual->red_mask | visual->green_mask | visual->blue_mask);
  return format;
}

std::uint64_t MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

}  // namespace

// ---------------------------------------------------------------------------

struct X11HostWindow::Impl {
  Display* display = nullptr;
  Window window = 0;
  GC gc = nullptr;
  int wakeFd = -1;
  TSize lastSize;
  // The window's ancestors below the root: unmapping any of them hides the
  // window too, without an event on the window itself.
  std::vector<Window> ancestors;

  ~Impl() {
    if (display != nullptr) {
      if (gc != nullptr) XFreeGC(display, gc);
      CloseDisplay(display);
    }
    if (wakeFd >= 0) close(wakeFd);
  }

  // Selects structure events on every ancestor below the root.
  void WatchAncestors() {
    ancestors.clear();
    Window current = window;
    for (;;) {
      Window root = 0;
      Window parent = 0;
      Window* children = nullptr;
      unsigned int count = 0;
      if (XQueryTree(display, current, &root, &parent, &children, &count) == 0) return;
      if (children != nullptr) XFree(children);
      if (parent == 0 || parent == root) return;
      XSelectInput(display, parent, StructureNotifyMask);
      ancestors.push_back(parent);
      current = parent;
    }
  }

  bool IsAncestor(Window w) const {
    return std::find(ancestors.begin(), ancestors.end(), w) != ancestors.end();
  }

  // Turns one X event into the window's events, if it concerns the window.
  void Translate(const XEvent& e, std::vector<Event>& out) {
    switch (e.type) {
      case kXExpose:
        if (e.xexpose.window == window) {
          const XExposeEvent& x = e.xexpose;
          out.push_back({Event::Kind::Exposed, Bounds(x.x, x.y, x.width, x.height)});
        }
        break;
      case MapNotify:
        if (e.xmap.window == window || IsAncestor(e.xmap.window)) {
          out.push_back({Event::Kind::Mapped, {}});
        }
        break;
      case UnmapNotify:
        if (e.xunmap.window == window || IsAncestor(e.xunmap.window)) {
          out.push_back({Event::Kind::Unmapped, {}});
        }
        break;
      case DestroyNotify:
        if (e.xdestroywindow.window == window) out.push_back({Event::Kind::Destroyed, {}});
        break;
      case ConfigureNotify:
        if (e.xconfigure.window == window) {
          const TSize size{e.xconfigure.width, e.xconfigure.height};
          if (size != lastSize) {
            lastSize = size;
            out.push_back({Event::Kind::Resized, Rect(0, 0, size.cx, size.cy)});
          }
        }
        break;
      case ReparentNotify:
        // The chain of ancestors changed (a window manager framing a top-level window).
        if (e.xreparent.window == window || IsAncestor(e.xreparent.window)) WatchAncestors();
        break;
      default:
        break;
    }
  }

  std::vector<Event> TakeQueued() {
    std::vector<Event> events;
    while (XPending(display) > 0) {
      XEvent e;
      XNextEvent(display, &e);
      Translate(e, events);
    }
    return events;
  }

  // True when a Wake was pending; clears it.
  bool TakeWake() {
    std::uint64_t count = 0;
    return read(wakeFd, &count, sizeof count) == static_cast<ssize_t>(sizeof count);
  }

  void PutRect(const Bitmap& image, const PixelFormat& format, const TRect& rect) {
    const int width = rect.Width();
    const int height = rect.Height();
    XImage* ximage =
        XCreateImage(display, nullptr, format.depth, ZPixmap, 0, nullptr, width, height, 32, 0);
    if (ximage == nullptr) return;
    ximage->data = static_cast<char*>(std::malloc(static_cast<std::size_t>(ximage->bytes_per_line) *
                                                  static_cast<std::size_t>(height)));
    if (ximage->data == nullptr) {
      XDestroyImage(ximage);
      return;
    }
    const bool direct =
        ximage->bits_per_pixel == 32 &&
        ximage->byte_order == (std::endian::native == std::endian::little ? LSBFirst : MSBFirst);
    for (int y = 0; y < height; ++y) {
      const std::uint8_t* source = image.ScanLine(rect.Top + y) + 3 * rect.Left;
      auto* row = reinterpret_cast<std::uint32_t*>(ximage->data + y * ximage->bytes_per_line);
      for (int x = 0; x < width; ++x, source += 3) {
        const unsigned long pixel = format.blue.Encode(source[0]) | format.green.Encode(source[1]) |
                                    format.red.Encode(source[2]) | format.opaque;
        if (direct) {
          row[x] = static_cast<std::uint32_t>(pixel);
        } else {
          XPutPixel(ximage, x, y, pixel);
        }
      }
    }
    XPutImage(display, window, gc, ximage, 0, 0, rect.Left, rect.Top, width, height);
    XDestroyImage(ximage);  // frees the data too
  }
};

X11HostWindow::X11HostWindow(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
X11HostWindow::~X11HostWindow() = default;

std::unique_ptr<X11HostWindow> X11HostWindow::Attach(std::uint64_t id) {
  // X resource ids are 29-bit values; anything wider would be cut on the wire.
  if (id == 0 || id > 0xFFFFFFFFu) return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->display = OpenDisplay();
  if (impl->display == nullptr) return nullptr;
  impl->window = static_cast<Window>(id);
  // Select first, then look: a change after the look still arrives as an event.
  XSelectInput(impl->display, impl->window, StructureNotifyMask | ExposureMask);
  XWindowAttributes attributes;
  if (XGetWindowAttributes(impl->display, impl->window, &attributes) == 0) return nullptr;
  impl->lastSize = TSize{attributes.width, attributes.height};
  impl->WatchAncestors();
  impl->gc = XCreateGC(impl->display, impl->window, 0, nullptr);
  impl->wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (impl->wakeFd < 0) return nullptr;
  XSync(impl->display, False);
  return std::unique_ptr<X11HostWindow>(new X11HostWindow(std::move(impl)));
}

std::unique_ptr<X11HostWindow> X11HostWindow::AttachRoot() {
  Display* display = ConnectWithRetries();
  if (display == nullptr) return nullptr;
  const Window root = DefaultRootWindow(display);
  XCloseDisplay(display);
  return Attach(root);
}

std::uint64_t X11HostWindow::Id() const { return impl_->window; }

X11HostWindow::State X11HostWindow::Query() {
  XWindowAttributes attributes;
  if (XGetWindowAttributes(impl_->display, impl_->window, &attributes) == 0) return State::Gone;
  return attributes.map_state == IsViewable ? State::Viewable : State::Hidden;
}

TSize X11HostWindow::Size() {
  XWindowAttributes attributes;
  if (XGetWindowAttributes(impl_->display, impl_->window, &attributes) == 0) return {};
  return TSize{attributes.width, attributes.height};
}

void X11HostWindow::Put(const Bitmap& image, std::span<const TRect> rects) {
  if (image.Empty() || rects.empty()) return;
  XWindowAttributes attributes;
  if (XGetWindowAttributes(impl_->display, impl_->window, &attributes) == 0) return;
  const PixelFormat format = FormatOf(attributes);
  if (!format.usable) return;
  const TRect limit = IntersectRect(Rect(0, 0, image.Width(), image.Height()),
                                    Rect(0, 0, attributes.width, attributes.height));
  for (const TRect& rect : rects) {
    const TRect part = IntersectRect(rect, limit);
    if (!part.IsEmpty()) impl_->PutRect(image, format, part);
  }
  XFlush(impl_->display);
}

std::vector<X11HostWindow::Event> X11HostWindow::Poll() { return impl_->TakeQueued(); }

std::vector<X11HostWindow::Event> X11HostWindow::Wait(std::uint32_t timeoutMs) {
  const bool unlimited = timeoutMs == Backend::kInfinite;
  const std::uint64_t deadline = MonotonicMs() + timeoutMs;
  for (;;) {
    // Xlib may already hold events read along with a reply: look before blocking.
    std::vector<Event> events = impl_->TakeQueued();
    if (!events.empty()) {
      impl_->TakeWake();
      return events;
    }
    if (impl_->TakeWake()) return events;
    int wait = -1;
    if (!unlimited) {
      const std::uint64_t now = MonotonicMs();
      if (now >= deadline) return events;
      wait = static_cast<int>(std::min<std::uint64_t>(deadline - now, INT_MAX));
    }
    pollfd fds[2] = {{ConnectionNumber(impl_->display), POLLIN, 0}, {impl_->wakeFd, POLLIN, 0}};
    const int ready = poll(fds, 2, wait);
    if (ready < 0 && errno != EINTR) return events;
    // The X connection broke: report it as the window going away rather than spin.
    if (fds[0].revents & (POLLHUP | POLLERR)) {
      events.push_back({Event::Kind::Destroyed, {}});
      return events;
    }
  }
}

void X11HostWindow::Wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(impl_->wakeFd, &one, sizeof one);
}

}  // namespace slidesaver
