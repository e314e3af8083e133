// The SDL desktop backend against a real X server: run under
// xvfb-run -a -s "-screen 0 640x480x24" (skipped without DISPLAY).
#include "os/linux/sdl_backend.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "os/linux/x11_faults.h"
#include "tests/support/error_of.h"
#include "ui/controls.h"

// Last: Xlib's macros (None, Bool, Status) clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace slidesaver {
namespace {

using Kind = InputEvent::Kind;

auto Fields(const InputEvent& e) {
  return std::tuple(static_cast<int>(e.kind), e.form, e.x, e.y, e.key, static_cast<int>(e.button),
                    e.shift);
}

// Every pixel differs from its neighbours and from black and white.
Bitmap Pattern(int width, int height, int seed) {
  Bitmap b(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int blue = ((x + y + seed * 3) & 0x7F) + 0x40;
      b.SetPixel(
          x, y,
          static_cast<std::uint32_t>(((x * 7 + seed) & 0xFF) | ((y * 5 & 0xFF) << 8) | blue << 16));
    }
  }
  return b;
}

void Copy(Bitmap& to, const Bitmap& from, const TRect& r) {
  for (int y = r.Top; y < r.Bottom; ++y) {
    for (int x = r.Left; x < r.Right; ++x) to.SetPixel(x, y, from.Pixel(x, y));
  }
}

class SdlBackendTest : public testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display";
    // One connection for the whole run: an X server resets when its last
    // client leaves and then refuses connections for a moment.
    static Display* const shared = XOpenDisplay(nullptr);
    display_ = shared;
    ASSERT_NE(display_, nullptr);
    app_ = std::make_unique<TApplication>(CreateSdlBackend());
  }

  Backend& Platform() { return app_->Platform(); }

  std::unique_ptr<TForm> ShowForm(const TRect& bounds) {
    auto form = std::make_unique<TForm>();
    form->BorderStyle = TFormBorderStyle::bsNone;
    form->SetBoundsRect(bounds);
    form->Show();
    return form;
  }

  // What the screen shows in `r`, as 0x00BBGGRR pixels.
  Bitmap ReadScreen(const TRect& r) {
    XImage* image = XGetImage(display_, DefaultRootWindow(display_), r.Left, r.Top, r.Width(),
                              r.Height(), AllPlanes, ZPixmap);
    Bitmap b(r.Width(), r.Height());
    for (int y = 0; y < r.Height(); ++y) {
      for (int x = 0; x < r.Width(); ++x) {
        const unsigned long p = XGetPixel(image, x, y);
        b.SetPixel(x, y, ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16));
      }
    }
    XDestroyImage(image);
    return b;
  }

  // The one SDL window there is.
  static SDL_Window* OnlyWindow() {
    for (Uint32 id = 1; id < 64; ++id) {
      if (SDL_Window* window = SDL_GetWindowFromID(id)) return window;
    }
    return nullptr;
  }
  // What the window asks a window manager for: full screen in the state it is mapped with, then
  // each later change as a _NET_WM_STATE request to the root window (the last one here).
  bool MappedFullScreen() {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display_, X11WindowOf(OnlyWindow()), Intern("_NET_WM_STATE"), 0, 16, False,
                       AnyPropertyType, &type, &format, &count, &after, &data);
    bool full = false;
    for (unsigned long i = 0; data != nullptr && i < count; ++i) {
      full |= reinterpret_cast<Atom*>(data)[i] == Intern("_NET_WM_STATE_FULLSCREEN");
    }
    if (data != nullptr) XFree(data);
    return full;
  }
  std::optional<bool> LastFullScreenRequest() {
    XSync(display_, False);
    std::optional<bool> last;
    XEvent event;
    while (XCheckTypedEvent(display_, ClientMessage, &event)) {
      const XClientMessageEvent& message = event.xclient;
      if (message.message_type == Intern("_NET_WM_STATE") &&
          static_cast<Atom>(message.data.l[1]) == Intern("_NET_WM_STATE_FULLSCREEN")) {
        last = message.data.l[0] == 1;
      }
    }
    return last;
  }
  Atom Intern(const char* name) { return XInternAtom(display_, name, False); }

  // Waits until `expected` arrives, skipping what comes before it; at most 40 rounds.
  void WaitFor(const InputEvent& expected) {
    for (int round = 0; round < 40; ++round) {
      for (std::size_t i = 0; i < received_.size(); ++i) {
        if (Fields(received_[i]) != Fields(expected)) continue;
        received_.erase(received_.begin(), received_.begin() + static_cast<long>(i) + 1);
        return;
      }
      received_.clear();
      Platform().WaitEvents(250);
      Platform().PollEvents(received_);
    }
    ADD_FAILURE() << "never arrived: " << testing::PrintToString(Fields(expected));
  }

  void Drain() {
    received_.clear();
    Platform().PollEvents(received_);
    received_.clear();
  }

  static void Xdotool(const std::string& args) {
    ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << args;
  }

  Display* display_ = nullptr;
  std::unique_ptr<TApplication> app_;
  std::vector<InputEvent> received_;
};

TEST_F(SdlBackendTest, PresentsExactlyTheGivenRectangles) {
  const TRect bounds = Bounds(50, 40, 200, 100);
  auto form = ShowForm(bounds);
  const Bitmap first = Pattern(200, 100, 1);
  form->Handle()->Present(first, {TRect{0, 0, 200, 100}});
  EXPECT_TRUE(ReadScreen(bounds) == first);

  // Only the parts inside both the surface and the window change; the second
  // rectangle reaches past the surface and the third lies wholly outside it.
  const Bitmap second = Pattern(200, 100, 9);
  form->Handle()->Present(second,
                          {Rect(10, 10, 60, 50), Rect(180, 80, 260, 140), Rect(300, 0, 320, 10)});
  Bitmap expected = first;
  Copy(expected, second, Rect(10, 10, 60, 50));
  Copy(expected, second, Rect(180, 80, 200, 100));
  EXPECT_TRUE(ReadScreen(bounds) == expected);

  // A surface smaller than the window changes only the pixels it has.
  const Bitmap small = Pattern(30, 20, 5);
  form->Handle()->Present(small, {TRect{0, 0, 200, 100}});
  Copy(expected, small, Rect(0, 0, 30, 20));
  EXPECT_TRUE(ReadScreen(bounds) == expected);
}

TEST_F(SdlBackendTest, BorderlessScreenSizedFormCoversTheScreenUntilItShrinks) {
  const TSize screen = Platform().ScreenSize();
  ASSERT_EQ(screen.cx, DisplayWidth(display_, DefaultScreen(display_)));
  ASSERT_EQ(screen.cy, DisplayHeight(display_, DefaultScreen(display_)));
  const TRect whole{0, 0, screen.cx, screen.cy};
  // Requests to the window manager reach every client that watches the root window's children.
  XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
  auto form = ShowForm(whole);
  const Bitmap full = Pattern(screen.cx, screen.cy, 3);
  form->Handle()->Present(full, {whole});
  EXPECT_TRUE(ReadScreen(whole) == full);
  EXPECT_TRUE(MappedFullScreen());

  const TRect smaller = Bounds(100, 100, 120, 80);
  form->SetBoundsRect(smaller);
  EXPECT_EQ(LastFullScreenRequest(), std::optional(false));
  form->SetBoundsRect(whole);
  EXPECT_EQ(LastFullScreenRequest(), std::optional(true));
  form->SetBoundsRect(smaller);
  Drain();
  const Bitmap inner = Pattern(120, 80, 4);
  form->Handle()->Present(inner, {TRect{0, 0, 120, 80}});
  EXPECT_TRUE(ReadScreen(smaller) == inner);
  // The window no longer covers the rest of the screen.
  EXPECT_NE(ReadScreen(Bounds(10, 10, 1, 1)).Pixel(0, 0), full.Pixel(10, 10));
  EXPECT_NE(ReadScreen(Bounds(600, 400, 1, 1)).Pixel(0, 0), full.Pixel(600, 400));
  XSelectInput(display_, DefaultRootWindow(display_), NoEventMask);
}

TEST_F(SdlBackendTest, KeyboardAndMouseInputReachTheFormInClientCoordinates) {
  auto form = ShowForm(Bounds(100, 100, 200, 150));
  TForm* f = form.get();
  // Many wake-ups in a row must not crowd real input out of SDL's queue.
  for (int i = 0; i < 70000; ++i) Platform().Wake();

  Xdotool("mousemove 150 160");
  WaitFor({Kind::MouseMove, f, 50, 60});
  Xdotool("mousemove_relative 3 4");
  WaitFor({Kind::MouseMove, f, 53, 64});
  Xdotool("key a");
  WaitFor({Kind::KeyDown, f, 0, 0, 'A'});
  Xdotool("key shift+Escape");
  WaitFor({Kind::KeyDown, f, 0, 0, 16, TMouseButton::mbLeft, ssShift});
  WaitFor({Kind::KeyDown, f, 0, 0, 27, TMouseButton::mbLeft, ssShift});
  Xdotool("click 3");
  WaitFor({Kind::MouseDown, f, 53, 64, 0, TMouseButton::mbRight, ssRight});
  WaitFor({Kind::MouseUp, f, 53, 64, 0, TMouseButton::mbRight, 0});
  Xdotool("mousemove 5 5");
  WaitFor({Kind::MouseLeaveWindow, f});
}

TEST_F(SdlBackendTest, InputTakenOutByAWaitStaysPending) {
  // A window never shown gets no input of its own; one close request is all there is.
  TForm form;
  const auto handle = Platform().CreateWindowHandle(form);
  handle->SetBounds(Bounds(10, 10, 50, 50));
  SDL_Event close{};
  close.type = SDL_WINDOWEVENT;
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  close.window.windowID = SDL_GetWindowID(OnlyWindow());
  Drain();
  ASSERT_EQ(SDL_PushEvent(&close), 1);
  Platform().WaitEvents(Backend::kInfinite);  // takes the request out of SDL's queue
  Platform().WaitEvents(Backend::kInfinite);  // so this one has input at once
  std::vector<InputEvent> events;
  Platform().PollEvents(events);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(Fields(events[0]), Fields({Kind::Close, &form}));
}

TEST_F(SdlBackendTest, InputOfAWindowThatHasGoneIsDropped) {
  auto form = ShowForm(Bounds(100, 100, 200, 150));
  const TForm* gone = form.get();
  Xdotool("mousemove 150 160 click 1");
  // Wait, without taking anything out, until SDL holds the click.
  SDL_Event e;
  for (int round = 0; round < 40; ++round) {
    SDL_PumpEvents();
    if (SDL_PeepEvents(&e, 1, SDL_PEEKEVENT, SDL_MOUSEBUTTONUP, SDL_MOUSEBUTTONUP) == 1) break;
    SDL_WaitEventTimeout(nullptr, 250);
  }
  ASSERT_EQ(SDL_PeepEvents(&e, 1, SDL_PEEKEVENT, SDL_MOUSEBUTTONUP, SDL_MOUSEBUTTONUP), 1);
  form.reset();
  std::vector<InputEvent> events;
  Platform().PollEvents(events);
  for (const InputEvent& event : events) EXPECT_NE(event.form, gone);
}

TEST_F(SdlBackendTest, WakeFromAnotherThreadEndsAnEndlessWait) {
  Drain();
  std::atomic<bool> woken{false};
  std::thread waker([&] {
    woken = true;
    Platform().Wake();
  });
  do {
    Platform().WaitEvents(Backend::kInfinite);
  } while (!woken);
  waker.join();
  std::vector<InputEvent> events;
  Platform().PollEvents(events);
  EXPECT_TRUE(events.empty());  // the wake-up is no input
  // A limited wait comes back with nothing there.
  Platform().WaitEvents(20);
  Platform().WaitEvents(0);
}

TEST_F(SdlBackendTest, ErrorBoxCarriesTheCaptionAndBlocksUntilDismissed) {
  // A second connection waits for the box to appear and presses Return in it.
  Display* watcher = XOpenDisplay(nullptr);
  ASSERT_NE(watcher, nullptr);
  XSelectInput(watcher, DefaultRootWindow(watcher), SubstructureNotifyMask);
  XSync(watcher, True);
  std::string title;
  std::atomic<bool> dismissed{false};
  std::thread dismisser([&] {
    // Windows of earlier tests may still come and go: wait for the box or the stand-in.
    XEvent e;
    while (title != "Slidesaver" && title != "no box") {
      XNextEvent(watcher, &e);
      if (e.type != MapNotify) continue;
      title.clear();
      XTextProperty name{};
      if (XGetWMName(watcher, e.xmap.window, &name) != 0 && name.value != nullptr) {
        title.assign(reinterpret_cast<const char*>(name.value), name.nitems);
        XFree(name.value);
      }
    }
    // The box may not take the focus at the first try: press until it is gone.
    while (title != "no box" && !dismissed) {
      Xdotool("windowfocus " + std::to_string(e.xmap.window) + " key Return");
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  Platform().ShowErrorBox("Slidesaver", "Invalid stream format.");
  dismissed = true;
  // Had no box appeared, this window ends the wait.
  const Window stand_in =
      XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
  XStoreName(display_, stand_in, "no box");
  XMapWindow(display_, stand_in);
  XSync(display_, False);
  dismisser.join();
  XDestroyWindow(display_, stand_in);
  XCloseDisplay(watcher);
  EXPECT_EQ(title, "Slidesaver");
}

TEST_F(SdlBackendTest, CursorShowsWhileItsCounterIsNotNegative) {
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
  const std::vector<std::pair<bool, int>> steps = {
      {false, SDL_DISABLE}, {false, SDL_DISABLE}, {true, SDL_DISABLE}, {true, SDL_ENABLE},
      {true, SDL_ENABLE},   {false, SDL_ENABLE},  {false, SDL_DISABLE}};
  for (const auto& [show, expected] : steps) {
    Platform().ShowCursor(show);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), expected);
  }
}

// Opening the display lends XCOMPOSEFILE out and gives the caller's setting back, set or not, so
// that programs started later (a browser for a link) read the user's compose table.
TEST_F(SdlBackendTest, TheComposeTableSettingIsTheCallersAgainAfterStart) {
  for (const char* setting : {"/tmp/compose-of-the-user", static_cast<const char*>(nullptr)}) {
    app_.reset();
    if (setting != nullptr) {
      setenv("XCOMPOSEFILE", setting, 1);
    } else {
      unsetenv("XCOMPOSEFILE");
    }
    app_ = std::make_unique<TApplication>(CreateSdlBackend());
    const char* now = std::getenv("XCOMPOSEFILE");
    EXPECT_EQ(now == nullptr ? "(unset)" : std::string(now),
              setting == nullptr ? "(unset)" : std::string(setting));
  }
}

TEST(SdlBackendStartTest, UnreachableDisplayIsReported) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr) GTEST_SKIP() << "needs an X display";
  const std::string saved = display;
  setenv("DISPLAY", ":4321", 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);  // no other driver to fall back on
  const std::string message = test::ErrorOf([] { CreateSdlBackend(); });
  setenv("DISPLAY", saved.c_str(), 1);
  unsetenv("SDL_VIDEODRIVER");
  EXPECT_EQ(message.rfind("Cannot open the display: ", 0), 0u) << message;
  EXPECT_GT(message.size(), std::string("Cannot open the display: ").size());
}

}  // namespace
}  // namespace slidesaver
