// The host-window layer and the preview against a real X server. Every test
// makes its own windows on a second connection, as a screen-saver host would.

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/preview.h"
#include "base/error.h"
#include "graphics/canvas.h"
#include "os/linux/x11_host.h"
#include "payload/builder.h"
#include "payload/graphics.h"
#include "tests/support/scratch_folder.h"
#include "tools/imagegen/imagegen.h"
#include "ui/controls.h"

// Last: Xlib's macros (None, Bool, Expose, ...) would clash with the names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace slidesaver {
namespace {

using namespace std::chrono_literals;
using Kind = X11HostWindow::Event::Kind;
using State = X11HostWindow::State;

std::uint8_t Channel(unsigned long pixel, unsigned long mask) {
  return static_cast<std::uint8_t>((pixel & mask) >> std::countr_zero(mask));
}

class X11HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X server (DISPLAY)";
    // A connection attempt can fail once with EAGAIN when many come in quick succession.
    for (int attempt = 0; attempt < 5 && display_ == nullptr; ++attempt) {
      display_ = XOpenDisplay(nullptr);
    }
    ASSERT_NE(display_, nullptr);
  }
  void TearDown() override {
    if (display_ == nullptr) return;
    for (Window w : windows_) XDestroyWindow(display_, w);
    XCloseDisplay(display_);
  }

  Window MakeWindow(int width, int height, Window parent = 0, Visual* visual = nullptr,
                    int depth = 0) {
    if (parent == 0) parent = DefaultRootWindow(display_);
    Window w = 0;
    if (visual == nullptr) {
      w = XCreateSimpleWindow(display_, parent, 0, 0, width, height, 0, 0, 0);
    } else {  // a visual of its own needs its own colormap and border
      XSetWindowAttributes a{};
      a.colormap = XCreateColormap(display_, parent, visual, AllocNone);
      w = XCreateWindow(display_, parent, 0, 0, width, height, 0, depth, InputOutput, visual,
                        CWColormap | CWBorderPixel | CWBackPixel, &a);
    }
    if (parent == DefaultRootWindow(display_)) windows_.push_back(w);
    XMapWindow(display_, w);
    XSync(display_, False);
    return w;
  }

  void Do(int (*action)(Display*, Window), Window w) {
    action(display_, w);
    XSync(display_, False);
  }
  void Destroy(Window w) {
    Do(XDestroyWindow, w);
    std::erase(windows_, w);
  }

  // What the window shows now, as a 24-bit bitmap.
  Bitmap Grab(Window w) {
    XWindowAttributes a;
    XGetWindowAttributes(display_, w, &a);
    XImage* image = XGetImage(display_, w, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
    Bitmap result(a.width, a.height);
    for (int y = 0; y < a.height; ++y) {
      for (int x = 0; x < a.width; ++x) {
        const unsigned long p = XGetPixel(image, x, y);
        const Visual* v = a.visual;
        result.SetPixel(x, y,
                        Channel(p, v->red_mask) | Channel(p, v->green_mask) << 8 |
                            Channel(p, v->blue_mask) << 16);
      }
    }
    XDestroyImage(image);
    return result;
  }

  // True once `holds` is true, tried again and again within a generous bound.
  template <typename Condition>
  static bool Soon(Condition holds) {
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < end) {
      if (holds()) return true;
      std::this_thread::yield();
    }
    return false;
  }
  bool ShowsSoon(Window w, const Bitmap& expected) {
    return Soon([&] { return Grab(w) == expected; });
  }
  // Some other client watches the window's structure: the preview has attached.
  bool WatchedSoon(Window w) {
    return Soon([&] {
      XWindowAttributes a;
      return XGetWindowAttributes(display_, w, &a) != 0 &&
             (a.all_event_masks & StructureNotifyMask) != 0;
    });
  }

  Display* display_ = nullptr;
  std::vector<Window> windows_;
};

// Waits for an event of the kind; nothing when the window falls silent first.
std::optional<X11HostWindow::Event> WaitFor(X11HostWindow& host, Kind kind) {
  for (;;) {
    const auto events = host.Wait(10000);
    if (events.empty()) return std::nullopt;
    for (const auto& e : events) {
      if (e.kind == kind) return e;
    }
  }
}

Bitmap WithPart(Bitmap base, const Bitmap& from, const TRect& part) {
  for (int y = part.Top; y < part.Bottom; ++y) {
    for (int x = part.Left; x < part.Right; ++x) base.SetPixel(x, y, from.Pixel(x, y));
  }
  return base;
}

TEST_F(X11HostTest, AttachNeedsAnExistingWindow) {
  const Window live = MakeWindow(64, 40);
  const Window gone = MakeWindow(10, 10);
  Destroy(gone);
  EXPECT_EQ(X11HostWindow::Attach(0), nullptr);
  EXPECT_EQ(X11HostWindow::Attach(gone), nullptr);
  EXPECT_EQ(X11HostWindow::Attach((std::uint64_t{1} << 32) | live), nullptr);

  const auto host = X11HostWindow::Attach(live);
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(host->Id(), live);
  EXPECT_EQ(host->Size(), (TSize{64, 40}));
  const auto root = X11HostWindow::AttachRoot();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->Size(), (TSize{DisplayWidth(display_, 0), DisplayHeight(display_, 0)}));
}

TEST_F(X11HostTest, PutShowsExactlyTheGivenRectangles) {
  const Window w = MakeWindow(70, 50);
  const auto host = X11HostWindow::Attach(w);
  ASSERT_NE(host, nullptr);
  const Bitmap first = MakeTestPattern(70, 50, 7);
  const TRect whole = Rect(0, 0, 70, 50);
  host->Put(first, {&whole, 1});
  host->Query();  // a round trip on the host's connection: the server has drawn by now
  EXPECT_EQ(Grab(w), first);

  // Only the rectangles change; one reaching past the image and window is cut to them.
  const Bitmap second = MakeTestPattern(70, 50, 8);
  const std::vector<TRect> parts = {Rect(10, 5, 41, 30), Rect(60, 40, 200, 300)};
  host->Put(second, parts);
  host->Query();
  EXPECT_EQ(Grab(w), WithPart(WithPart(first, second, parts[0]), second, Rect(60, 40, 70, 50)));

  // A window with an alpha channel (depth 32) shows the same colours, opaque.
  XVisualInfo info;
  if (XMatchVisualInfo(display_, DefaultScreen(display_), 32, TrueColor, &info) == 0) return;
  const Window argb = MakeWindow(70, 50, 0, info.visual, 32);
  const auto argbHost = X11HostWindow::Attach(argb);
  ASSERT_NE(argbHost, nullptr);
  argbHost->Put(second, {&whole, 1});
  argbHost->Query();
  EXPECT_EQ(Grab(argb), second);
  XImage* raw = XGetImage(display_, argb, 5, 5, 1, 1, AllPlanes, ZPixmap);
  const unsigned long alpha = ~(info.red_mask | info.green_mask | info.blue_mask) & 0xFFFFFFFFul;
  EXPECT_EQ(XGetPixel(raw, 0, 0) & alpha, alpha);
  XDestroyImage(raw);
}

TEST_F(X11HostTest, QueryFollowsTheWindowAndItsParentsAndSurvivesItsEnd) {
  const Window parent = MakeWindow(100, 80);
  const Window child = MakeWindow(40, 30, parent);
  const auto host = X11HostWindow::Attach(child);
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(host->Query(), State::Viewable);

  // Hiding a parent hides the window too, and wakes a waiter.
  Do(XUnmapWindow, parent);
  EXPECT_EQ(host->Query(), State::Hidden);
  EXPECT_TRUE(WaitFor(*host, Kind::Unmapped));
  Do(XMapWindow, parent);
  EXPECT_EQ(host->Query(), State::Viewable);
  Do(XUnmapWindow, child);
  EXPECT_EQ(host->Query(), State::Hidden);

  Destroy(parent);  // takes the child with it
  EXPECT_EQ(host->Query(), State::Gone);
  EXPECT_TRUE(WaitFor(*host, Kind::Destroyed));
  // Every call on the vanished window fails inside X; none of them may end the process.
  const Bitmap pattern = MakeTestPattern(40, 30, 1);
  const TRect whole = Rect(0, 0, 40, 30);
  host->Put(pattern, {&whole, 1});
  EXPECT_EQ(host->Size(), (TSize{0, 0}));
  EXPECT_TRUE(host->Poll().empty());
  EXPECT_TRUE(host->Wait(0).empty());
  EXPECT_EQ(host->Query(), State::Gone);
}

TEST_F(X11HostTest, WaitReportsWindowEventsAndEndsOnWake) {
  const Window w = MakeWindow(60, 40);
  const auto host = X11HostWindow::Attach(w);
  ASSERT_NE(host, nullptr);
  EXPECT_TRUE(host->Wait(0).empty());

  XClearArea(display_, w, 3, 4, 10, 12, True);
  XSync(display_, False);
  const auto exposed = WaitFor(*host, Kind::Exposed);
  ASSERT_TRUE(exposed);
  EXPECT_EQ(exposed->area, Bounds(3, 4, 10, 12));

  XResizeWindow(display_, w, 50, 30);
  XSync(display_, False);
  const auto resized = WaitFor(*host, Kind::Resized);
  ASSERT_TRUE(resized);
  EXPECT_EQ(resized->area, Rect(0, 0, 50, 30));
  EXPECT_EQ(host->Size(), (TSize{50, 30}));

  Do(XUnmapWindow, w);
  EXPECT_TRUE(WaitFor(*host, Kind::Unmapped));
  Do(XMapWindow, w);
  EXPECT_TRUE(WaitFor(*host, Kind::Mapped));
  Destroy(w);
  EXPECT_TRUE(WaitFor(*host, Kind::Destroyed));

  // Nothing more comes from the window: only the wake-up ends this wait.
  std::thread waker([&] { host->Wake(); });
  EXPECT_TRUE(host->Wait(Backend::kInfinite).empty());
  waker.join();
}

TEST_F(X11HostTest, BackendHandsTheWindowToTheLatestFormAndReportsExposeAndClose) {
  const Window w = MakeWindow(80, 60);
  auto host = X11HostWindow::Attach(w);
  ASSERT_NE(host, nullptr);
  TApplication app(CreateHostBackend(std::move(host)));
  EXPECT_EQ(app.Platform().ScreenSize(), (TSize{80, 60}));

  TForm form;
  form.SetBounds(0, 0, 80, 60);
  form.SetColor(0x0000FF);
  bool closed = false;
  form.OnClose = [&](void*, TCloseAction&) { closed = true; };
  form.Show();
  app.ProcessMessages();
  // ScreenSize asks the server, after what the backend's connection has drawn.
  app.Platform().ScreenSize();
  Bitmap red(80, 60);
  red.Fill(0x0000FF);
  EXPECT_EQ(Grab(w), red);

  {
    TForm second;  // while it lives, it owns the host window
    second.SetBounds(0, 0, 80, 60);
    second.SetColor(0x00FF00);
    second.Show();
    form.Invalidate();
    app.ProcessMessages();
    app.Platform().ScreenSize();
    Bitmap green(80, 60);
    green.Fill(0x00FF00);
    EXPECT_EQ(Grab(w), green);
  }

  // The host wipes its window: the first form owns it again and repaints on the expose.
  XClearArea(display_, w, 0, 0, 0, 0, True);
  XSync(display_, False);
  EXPECT_EQ(Grab(w), Bitmap(80, 60));
  app.WaitForMessages(10000);  // the expose is on its way: this returns at once
  app.ProcessMessages();
  app.Platform().ScreenSize();
  EXPECT_EQ(Grab(w), red);

  Destroy(w);
  for (int round = 0; round < 5 && !closed; ++round) {
    app.WaitForMessages(10000);
    app.ProcessMessages();
  }
  EXPECT_TRUE(closed);
}

class PreviewTest : public X11HostTest {
 protected:
  void SetUp() override {
    X11HostTest::SetUp();
    if (IsSkipped()) return;
    TSSFileLocations config;
    const auto payload = BuildPayload(
        5, {{"one.jpg", jpeg_}, {"two.jpg", EncodeJpeg(MakeTestPattern(48, 32, 4))}}, {}, config);
    std::string file = "PLAYR";
    file.append(payload.begin(), payload.end());
    saver_ = folder_.Write("saver.scr", file);
  }

  // The first picture stretched to the window by the one copy rule.
  Bitmap Expected(int width, int height) {
    TJPEGImage decoded(jpeg_);
    Bitmap expected(width, height);
    StretchCopy(expected, Rect(0, 0, width, height), decoded.Pixels(), Rect(0, 0, 48, 32));
    return expected;
  }

  // Runs the preview on a thread of its own, left behind if it never ends, so that a
  // preview that hangs fails the test instead of blocking it.
  static std::future<void> Start(Window w, const std::string& file) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> ended = done->get_future();
    std::thread([done, w, file] {
      try {
        RunPreview(static_cast<std::int32_t>(w), file);
        done->set_value();
      } catch (...) {
        done->set_exception(std::current_exception());
      }
    }).detach();
    return ended;
  }
  // True once the preview has returned (a generous bound against hanging); a failure
  // it raised is raised here.
  static bool Ends(std::future<void>& preview) {
    if (preview.wait_for(30s) != std::future_status::ready) return false;
    preview.get();
    return true;
  }

  std::vector<std::uint8_t> jpeg_ = EncodeJpeg(MakeTestPattern(48, 32, 3));
  test::ScratchFolder folder_{"x11-preview"};
  std::string saver_;
};

TEST_F(PreviewTest, DrawsTheFirstPictureStretchedAndRedrawsUntilHidden) {
  const Window w = MakeWindow(90, 70);
  const Bitmap expected = Expected(90, 70);
  auto preview = Start(w, saver_);
  EXPECT_TRUE(ShowsSoon(w, expected));

  XClearArea(display_, w, 10, 10, 30, 20, True);
  XSync(display_, False);
  EXPECT_TRUE(ShowsSoon(w, expected));

  Do(XUnmapWindow, w);
  EXPECT_TRUE(Ends(preview));
}

TEST_F(PreviewTest, EndsWhenTheWindowIsDestroyedOrMissingOrThePayloadUnreadable) {
  const Window drawn = MakeWindow(33, 21);
  auto preview = Start(drawn, saver_);
  EXPECT_TRUE(ShowsSoon(drawn, Expected(33, 21)));
  Destroy(drawn);
  EXPECT_TRUE(Ends(preview));

  // Destroyed while the preview still waits for it to be shown.
  const Window neverShown = MakeWindow(20, 20);
  Do(XUnmapWindow, neverShown);
  preview = Start(neverShown, saver_);
  EXPECT_TRUE(WatchedSoon(neverShown));
  Destroy(neverShown);
  EXPECT_TRUE(Ends(preview));

  // Ends at once, saying why.
  preview = Start(neverShown, saver_);  // names no window any more
  EXPECT_THROW(Ends(preview), Error);

  const Window untouched = MakeWindow(20, 20);
  preview = Start(untouched, folder_.Write("short.scr", std::string(39, '7')));
  EXPECT_THROW(Ends(preview), Error);
  EXPECT_EQ(Grab(untouched), Bitmap(20, 20));
}

}  // namespace
}  // namespace slidesaver
